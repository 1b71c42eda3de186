// Text in files to the program's text (UTF-8).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// `chars` UTF-16LE code units at `data` as UTF-8, ending early at a zero unit. Unpaired
// surrogates become U+FFFD so the result is always valid UTF-8.
std::string Utf16LeToUtf8(const uint8_t* data, size_t chars);
