#include "platform/unicode.h"

#include <cstdint>

namespace {
constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        c = kReplacement;
    }
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string Utf8FromUtf16Le(const uint8_t* data, size_t chars) {
    std::string out;
    auto unit = [data](size_t i) -> char32_t {
        return static_cast<char32_t>(data[2 * i] | (data[2 * i + 1] << 8));
    };
    for (size_t i = 0; i < chars; ++i) {
        char32_t u = unit(i);
        if (u == 0) {
            break;
        }
        if (IsHighSurrogate(u) && i + 1 < chars && IsLowSurrogate(unit(i + 1))) {
            char32_t low = unit(++i);
            AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

std::u32string CodePointsFromUtf8(const std::string& text) {
    std::u32string out;
    size_t i = 0;
    while (i < text.size()) {
        auto lead = static_cast<uint8_t>(text[i]);
        int extra = lead < 0x80           ? 0
                    : (lead >> 5) == 0x6  ? 1
                    : (lead >> 4) == 0xE  ? 2
                    : (lead >> 3) == 0x1E ? 3
                                          : -1;
        // A lead byte that is not one, or a sequence cut by the end of the text.
        if (extra < 0 || text.size() - i <= static_cast<size_t>(extra)) {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
        bool valid = true;
        for (int k = 1; k <= extra; ++k) {
            auto next = static_cast<uint8_t>(text[i + static_cast<size_t>(k)]);
            if ((next & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            c = (c << 6) | (next & 0x3F);
        }
        if (!valid) {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        out.push_back(c);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

std::wstring WideFromUtf8(const std::string& text) {
    std::wstring out;
    for (char32_t c : CodePointsFromUtf8(text)) {
        out.push_back(static_cast<wchar_t>(c));
    }
    return out;
}

std::string Utf8FromWide(const std::wstring& text) {
    std::string out;
    for (wchar_t w : text) {
        AppendUtf8(out, static_cast<char32_t>(w));
    }
    return out;
}
