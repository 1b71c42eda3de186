// RealVideo packet payloads: each starts with a small header telling how the packet holds
// frames (a fragment, a whole frame, a last fragment, or several whole frames). Packets that
// hold several whole frames carry each frame's own timestamp, which a join must shift like the
// packet's; a timestamp that outgrows its 2-byte form takes the 4-byte form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rm {

// Frame types in bits 7-6 of the first payload byte.
inline constexpr uint8_t kVideoFragment = 0;
inline constexpr uint8_t kVideoWholeFrame = 1;
inline constexpr uint8_t kVideoLastFragment = 2;
inline constexpr uint8_t kVideoPackedFrames = 3;

// A number of the payload header: 2 bytes with bit 14 set hold 14 bits, else 4 bytes hold 30.
// False when it runs past `size`.
bool ReadVideoNumber(const uint8_t* p, size_t size, size_t& at, uint32_t& value, size_t& width);

// When `payload` holds packed frames (first, or after a last fragment), writes the payload with
// their timestamps moved on by `shift` to `out` and returns true; false (out untouched) when there
// is nothing to change. A malformed header, or a time the shift would take below 0, ends the
// rewriting; the bytes from there on are kept as they are.
bool ShiftPackedFrameTimes(const uint8_t* payload, size_t size, int64_t shift,
                           std::vector<uint8_t>& out);

}  // namespace rm
