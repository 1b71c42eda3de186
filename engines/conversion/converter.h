// MclConvert's work: the inputs asked for through the source callbacks, each one decoded (or its
// packets copied) in turn into one output file.
#pragma once

#include <string>

#include "engines/conversion/conversion.h"

// Runs `conversion` to its end. 0 on success; otherwise an FFmpeg error code and a readable
// reason in *error (AVERROR_EXIT when it was stopped by MclAbort).
int RunConversion(Conversion& conversion, std::string* error);
