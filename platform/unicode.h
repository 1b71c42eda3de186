// Conversions between the program's text (UTF-8) and the other forms it meets: UTF-16LE in
// files, and wide strings at the interfaces that take WCHAR text. Anything that is not valid
// becomes U+FFFD, so the results are always valid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The UTF-8 bytes of one code point (U+FFFD for a surrogate or a value past U+10FFFF).
void AppendUtf8(std::string& out, char32_t c);
// The code points of UTF-8 text; each byte that does not start a valid sequence is U+FFFD.
std::u32string CodePointsFromUtf8(const std::string& text);

// `chars` UTF-16LE code units at `data` as UTF-8, ending early at a zero unit.
std::string Utf8FromUtf16Le(const uint8_t* data, size_t chars);

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
