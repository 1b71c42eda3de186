// The copy join of MPEG program streams inside MclConvert: when every input is a program stream
// that matches the first and the settings ask for what the inputs already are, the pack copier
// joins them and FFmpeg is not needed (nor loaded).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engines/conversion/conversion.h"
#include "engines/conversion/mpeg_ps_copier.h"

// Whether the pack copier can join these inputs with these settings; when not, `why` says what
// differs (for tests).
bool ProgramStreamCopyApplies(const ConversionSettings& settings,
                              const std::vector<PsCopyInput>& inputs, std::string* why);

// Runs the copy join when it applies: true with its result in *result (0, or an error code with
// a reason in *error; AVERROR_EXIT-like 1 is not returned: a stop gives `stoppedCode`). False
// when the conversion must go through FFmpeg.
bool RunProgramStreamCopy(Conversion& conversion, const ConversionSettings& settings,
                          int stoppedCode, int* result, std::string* error);

// What the copy join knows of each input of the last conversion with this handle that it ran.
struct CopiedInputReport {
    double startSeconds = -1;
    double durationSeconds = -1;
    std::string warning;
};
std::vector<CopiedInputReport> CopiedInputReports(int32_t conversion);
void ForgetCopiedInputReports(int32_t conversion);
