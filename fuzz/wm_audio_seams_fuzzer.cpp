// The seam reading of sound in ASF objects over any bytes: MPEG audio frames found and walked
// from any carried position, WMA Pro / Lossless packets renumbered at any block size.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "wmjoin/wm_audio_seams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    const size_t carry = data[0] == 0xFF ? kUnknownCarry : data[0] * 7u;
    const uint32_t blockAlign = data[1] | (data[2] << 8);
    std::vector<uint8_t> object(data + 3, data + size);
    FirstWholeMpegFrame(object.data(), object.size());
    MpegFrameWalk walk = WalkMpegFrames(object.data(), object.size(), carry);
    if (walk.wholeEnd > object.size()) {
        __builtin_trap();  // an end the object does not have
    }
    if (!object.empty()) {
        LastSequenceNumber(object.data(), object.size(), blockAlign);
        RenumberPackets(object.data(), object.size(), blockAlign, data[0]);
    }
    return 0;
}
