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

bool ShiftPackedFrameTimes(const uint8_t* p, size_t size, int64_t shift,
                           std::vector<uint8_t>& out) {
    if (shift == 0 || size == 0) {
        return false;
    }
    std::vector<uint8_t> result;
    size_t at = 0;
    bool changed = false;
    // Packed frames may also follow a last fragment in the same packet (Real's 1997-98
    // encoders), and readers take them as frames with their own times; so walk on past last
    // fragments. A fragment or a whole frame takes the rest of the packet.
    while (at < size) {
        const uint8_t type = p[at] >> 6;
        if (type != kVideoPackedFrames && type != kVideoLastFragment) {
            break;
        }
        const size_t frameStart = at;
        size_t cursor = at + (type == kVideoPackedFrames ? 1 : 2);
        uint32_t length = 0;
        uint32_t second = 0;
        size_t lengthWidth = 0;
        size_t secondWidth = 0;
        if (!ReadVideoNumber(p, size, cursor, length, lengthWidth)) {
            break;
        }
        const size_t secondAt = cursor;
        if (!ReadVideoNumber(p, size, cursor, second, secondWidth)) {
            break;
        }
        // The picture number, then the frame's bytes (a last fragment: `second` of them).
        const uint32_t dataBytes = type == kVideoPackedFrames ? length : second;
        if (cursor >= size || size - cursor - 1 < dataBytes) {
            break;
        }
        const size_t frameEnd = cursor + 1 + dataBytes;
        const int64_t shifted = static_cast<int64_t>(second) + shift;
        if (type == kVideoLastFragment) {
            result.insert(result.end(), p + frameStart, p + frameEnd);
        } else {
            if (shifted < 0 || shifted > static_cast<int64_t>(kLongNumberMax)) {
                break;
            }
            result.insert(result.end(), p + frameStart, p + secondAt);
            const uint32_t keptHighBit = (static_cast<uint32_t>(p[secondAt]) << 8) & 0x8000;
            if (secondWidth == 2 && shifted <= kShortNumberMax) {
                Put16(result, keptHighBit | kShortNumberFlag | static_cast<uint32_t>(shifted));
            } else {
                Put16(result, keptHighBit | static_cast<uint32_t>(shifted >> 16));
                Put16(result, static_cast<uint32_t>(shifted & 0xFFFF));
            }
            result.insert(result.end(), p + cursor, p + frameEnd);
            changed = true;
        }
        at = frameEnd;
    }
    if (!changed) {
        return false;
    }
    result.insert(result.end(), p + at, p + size);
    out = std::move(result);
    return true;
}

}  // namespace rm
