// UTF-8 (the system's narrow text) to and from wide strings, for the interfaces that take
// WCHAR text.
#pragma once

#include <string>

// Invalid UTF-8 bytes become U+FFFD.
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
