// Our own walk over the RIFF header chunks of an AVI file for the video FourCC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/bytes.h"

// Results of the walk.
inline constexpr int kAviWalkOk = 0;
inline constexpr int kAviWalkCannotOpen = -1;
inline constexpr int kAviWalkTooShort = -2;  // fewer than 512 bytes
inline constexpr int kAviWalkNotVideo = -3;  // first stream header is not video, or none
inline constexpr int kAviWalkNotAvi = -4;    // bytes 8 to 11 are not "AVI "

// Reads up to `count` bytes at file position `offset`; returns how many it read.
using AviReadAt = std::function<size_t(uint64_t offset, uint8_t* out, size_t count)>;

// Walks the file's header chunks; on 0, `fourcc` is the first video stream's FourCC.
int WalkAviHeaders(const std::string& path, uint32_t& fourcc);

// The same walk over any source of file bytes (a file in memory for tests and fuzzing).
int WalkAviSource(const AviReadAt& readAt, uint32_t& fourcc);
int WalkAviBytes(ByteReader file, uint32_t& fourcc);
