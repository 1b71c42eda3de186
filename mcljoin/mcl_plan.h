// Two exports of our conversion library beyond the designed table, shared by the library and
// the join driver: what a configured conversion would do with its inputs (asked before a join,
// by the check of a list), and where each input landed in the output of a finished one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mcljoin/mcl_api.h"

inline constexpr size_t kMclPlanCodecBytes = 32;

#pragma pack(push, 4)

// One input as the conversion sees it.
struct MclPlanInput {
    char videoCodec[kMclPlanCodecBytes];  // FFmpeg's codec name, "" without video
    int32_t width;
    int32_t height;
    int32_t rateNum;  // the frame rate as the container gives it, reduced; 0/0 when unknown
    int32_t rateDen;
    char audioCodec[kMclPlanCodecBytes];  // "" without audio
    int32_t sampleRate;
    int32_t channels;
};

// What the conversion does with each stream of the output.
struct MclPlanResult {
    int32_t copyVideo;  // 1: every input's packets are copied; 0: decoded and encoded again
    int32_t copyAudio;
    char videoCodec[kMclPlanCodecBytes];  // the output's codecs
    char audioCodec[kMclPlanCodecBytes];
};

#pragma pack(pop)

extern "C" {
// "MclPlanJoin": the conversion's settings and video source, read as MclConvert would read
// them, without writing anything. Fills up to `capacity` inputs and *result; returns the number
// of inputs, or a negative error code (its text through MclGetErrorText).
using MclPlanJoinFn = int32_t (*)(MclHandle conversion, MclPlanInput* inputs, int32_t capacity,
                                  MclPlanResult* result);
}
