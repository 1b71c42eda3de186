// The probe's reading of an AVI file's header chunks for the video FourCC, over the one walk
// of the header list (platform/riff_walk.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/bytes.h"
#include "platform/riff_walk.h"

// Results of the walk.
inline constexpr int kAviWalkOk = 0;
inline constexpr int kAviWalkCannotOpen = -1;
inline constexpr int kAviWalkTooShort = -2;  // fewer than 512 bytes
inline constexpr int kAviWalkNotVideo = -3;  // first stream header is not video, or none
inline constexpr int kAviWalkNotAvi = -4;    // bytes 8 to 11 are not "AVI "

using AviReadAt = riff::ReadAt;

// What one reading of the headers tells the probe.
struct AviHeaderFourccs {
    int code = kAviWalkCannotOpen;  // the walk's result
    uint32_t fourcc = 0;            // on kAviWalkOk: the first stream's video FourCC
    // The handler code of the first video stream, wherever it lies among the streams.
    bool haveVideoHandler = false;
    uint32_t videoHandler = 0;
};

AviHeaderFourccs ReadAviHeaderFourccs(const AviReadAt& readAt);

// Walks the file's header chunks; on 0, `fourcc` is the first video stream's FourCC.
int WalkAviHeaders(const std::string& path, uint32_t& fourcc);

// The same walk over any source of file bytes (a file in memory for tests and fuzzing).
int WalkAviSource(const AviReadAt& readAt, uint32_t& fourcc);
int WalkAviBytes(ByteReader file, uint32_t& fourcc);
