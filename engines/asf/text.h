// Conversions between the string forms the engine meets: UTF-16LE in files, WCHAR at the
// interface, UTF-8 for file names handed to the system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engines/asf/wmsdk.h"
#include "platform/bytes.h"

namespace asf {

// Code units from UTF-16LE bytes; stops at the first NUL, ignores an odd last byte.
std::u16string U16FromLe(ByteReader bytes);
// UTF-16LE bytes, optionally with a terminating NUL.
void AppendLe(ByteWriter& out, const std::u16string& text, bool withNul);
// Bytes a string takes with its NUL, as a length field counts it.
inline size_t LeSizeWithNul(const std::u16string& text) {
    return 2 * (text.size() + 1);
}

std::u16string U16FromWide(const WCHAR* text);
std::wstring WideFromU16(const std::u16string& text);
std::u16string U16FromUtf8(const std::string& text);
std::string Utf8FromU16(const std::u16string& text);
std::string Utf8FromWide(const WCHAR* text);

// Case-sensitive name compare used for attribute names.
inline bool SameName(const std::u16string& a, const std::u16string& b) {
    return a == b;
}

}  // namespace asf
