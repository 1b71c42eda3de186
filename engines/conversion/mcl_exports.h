// The entry points the zivuvore module exports: one declaration per entry of the conversion
// library's table, made from the table itself, so a definition with another signature does not
// compile.
#pragma once

#include <cstdint>
#include <type_traits>

#include "engines/conversion/mcl.h"

#define KJ_MCL_EXPORT __attribute__((visibility("default")))

extern "C" {
#define KJ_MCL_DECLARE(name, type) \
    KJ_MCL_EXPORT std::remove_pointer_t<std::type_identity_t<type>> name;
KJ_MCL_ENTRY_POINTS(KJ_MCL_DECLARE)
#undef KJ_MCL_DECLARE

// For the Video for Windows layer's compressor manager: 1 when the module can encode video of
// this FourCC (lowest byte first character, compared without regard to case), else 0.
KJ_MCL_EXPORT int32_t MclHasVideoEncoder(uint32_t fourcc);

// The readable text of the library's last error (what MclCheckError gives the code of), copied
// into `buffer` of `size` bytes and cut to fit; returns the text's full length in bytes.
KJ_MCL_EXPORT int32_t MclGetErrorText(char* buffer, int32_t size);

// A configured conversion's plan without running it (mcl_plan.h).
KJ_MCL_EXPORT std::remove_pointer_t<MclPlanJoinFn> MclPlanJoin;
// What the last MclConvert of `conversion` knows of its input `input` (0 first): where it starts
// in the output and how long it lasts there (seconds; negative when not known), and what of it
// was left out (whole sentences, each ended by a line feed) copied into `warning` of
// `warningBytes` bytes and cut to fit, empty when nothing was. 1 when it knows the input, 0
// otherwise (past the end, or a join that does not tell). Resolved by the driver when present.
KJ_MCL_EXPORT int32_t MclGetInputReport(MclHandle conversion, int32_t input, double* startSeconds,
                                        double* durationSeconds, char* warning,
                                        int32_t warningBytes);
// Whether the last MclConvert encoded input `input` to match the first (mcl.h).
KJ_MCL_EXPORT std::remove_pointer_t<MclWasInputEncodedFn> MclWasInputEncoded;
// An odd file of a packet-copied list encoded to match its first file (mcl.h).
KJ_MCL_EXPORT std::remove_pointer_t<MclPlanMatchFn> MclPlanMatch;
KJ_MCL_EXPORT std::remove_pointer_t<MclEncodeToMatchFn> MclEncodeToMatch;
}
