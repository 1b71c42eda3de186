#include "engines/realmedia/rm_video_payload.h"

namespace rm {

namespace {
constexpr uint32_t kShortNumberFlag = 0x4000;
constexpr uint32_t kShortNumberMax = 0x3FFF;
constexpr uint32_t kLongNumberMax = 0x3FFFFFFF;

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}
}  // namespace

bool ReadVideoNumber(const uint8_t* p, size_t size, size_t& at, uint32_t& value, size_t& width) {
    if (at > size || size - at < 2) {
        return false;
    }
    uint32_t high = (static_cast<uint32_t>(p[at]) << 8) | p[at + 1];
    if ((high & kShortNumberFlag) != 0) {
        value = high & kShortNumberMax;
        width = 2;
        at += 2;
        return true;
    }
    if (size - at < 4) {
        return false;
    }
    uint32_t low = (static_cast<uint32_t>(p[at + 2]) << 8) | p[at + 3];
    value = ((high << 16) | low) & kLongNumberMax;
    width = 4;
    at += 4;
    return true;
}

bool ShiftPackedFrameTimes(const uint8_t* p, size_t size, uint32_t shift,
                           std::vector<uint8_t>& out) {
    if (shift == 0 || size == 0 || (p[0] >> 6) != kVideoPackedFrames) {
        return false;
    }
    std::vector<uint8_t> result;
    result.reserve(size + 16);
    size_t at = 0;
    while (at < size && (p[at] >> 6) == kVideoPackedFrames) {
        const size_t frameStart = at;
        size_t cursor = at + 1;
        uint32_t length = 0;
        uint32_t time = 0;
        size_t lengthWidth = 0;
        size_t timeWidth = 0;
        if (!ReadVideoNumber(p, size, cursor, length, lengthWidth)) {
            break;
        }
        const size_t timeAt = cursor;
        if (!ReadVideoNumber(p, size, cursor, time, timeWidth)) {
            break;
        }
        // The picture number, then the frame.
        if (cursor >= size || size - cursor - 1 < length) {
            break;
        }
        uint64_t shifted = static_cast<uint64_t>(time) + shift;
        if (shifted > kLongNumberMax) {
            break;
        }
        result.insert(result.end(), p + frameStart, p + timeAt);
        const uint32_t keptHighBit = (static_cast<uint32_t>(p[timeAt]) << 8) & 0x8000;
        if (timeWidth == 2 && shifted <= kShortNumberMax) {
            Put16(result, keptHighBit | kShortNumberFlag | static_cast<uint32_t>(shifted));
        } else {
            Put16(result, keptHighBit | static_cast<uint32_t>(shifted >> 16));
            Put16(result, static_cast<uint32_t>(shifted & 0xFFFF));
        }
        const size_t frameEnd = cursor + 1 + length;
        result.insert(result.end(), p + cursor, p + frameEnd);
        at = frameEnd;
    }
    if (at == 0) {
        return false;
    }
    result.insert(result.end(), p + at, p + size);
    out = std::move(result);
    return true;
}

}  // namespace rm
