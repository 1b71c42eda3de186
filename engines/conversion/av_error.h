// FFmpeg's error codes as text for the library's error callback and its error result.
#pragma once

#include <string>

// "<what>: <FFmpeg's description of code>", e.g. "Cannot open a.avi: No such file or directory".
std::string AvErrorText(const std::string& what, int code);
