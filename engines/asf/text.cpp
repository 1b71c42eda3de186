#include "engines/asf/text.h"

#include <type_traits>

#include "platform/unicode.h"

namespace asf {

std::u16string U16FromLe(ByteReader bytes) {
    std::u16string text;
    for (size_t i = 0; bytes.Has(i, 2); i += 2) {
        char16_t c = static_cast<char16_t>(bytes.LE16(i));
        if (c == 0) {
            break;
        }
        text.push_back(c);
    }
    return text;
}

void AppendLe(ByteWriter& out, const std::u16string& text, bool withNul) {
    for (char16_t c : text) {
        out.LE16(static_cast<uint16_t>(c));
    }
    if (withNul) {
        out.LE16(0);
    }
}

namespace {

void AppendUtf16(std::u16string& out, uint32_t cp) {
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        out.push_back(u'\uFFFD');
    }
}

// Code points of a UTF-16 string; lone surrogates become U+FFFD.
template <typename Fn>
void ForEachCodePoint(const std::u16string& text, Fn fn) {
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        fn(c);
    }
}

}  // namespace

std::u16string U16FromWide(const WCHAR* text) {
    std::u16string out;
    if (text == nullptr) {
        return out;
    }
    for (; *text != 0; ++text) {
        AppendUtf16(out, static_cast<uint32_t>(*text));
    }
    return out;
}

std::wstring WideFromU16(const std::u16string& text) {
    std::wstring out;
    ForEachCodePoint(text, [&](uint32_t c) { out.push_back(static_cast<WCHAR>(c)); });
    return out;
}

std::u16string U16FromUtf8(const std::string& text) {
    std::u16string out;
    for (char32_t c : CodePointsFromUtf8(text)) {
        AppendUtf16(out, c);
    }
    return out;
}

std::string Utf8FromU16(const std::u16string& text) {
    std::string out;
    ForEachCodePoint(text, [&](uint32_t c) { AppendUtf8(out, c); });
    return out;
}

std::string Utf8FromWide(const WCHAR* text) {
    return text == nullptr ? std::string() : ::Utf8FromWide(std::wstring(text));
}

}  // namespace asf
