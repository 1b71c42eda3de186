// Conversions between the program's text (UTF-8) and the other forms it meets: UTF-16LE in
// files, and wide strings at the interfaces that take WCHAR text. Anything that is not valid
// becomes U+FFFD, so the results are always valid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// `chars` UTF-16LE code units at `data` as UTF-8, ending early at a zero unit.
std::string Utf8FromUtf16Le(const uint8_t* data, size_t chars);

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
