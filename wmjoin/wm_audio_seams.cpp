#include "wmjoin/wm_audio_seams.h"

namespace {

// Bit rates in kbit/s by index 1..14, for MPEG-1 layers I, II, III and MPEG-2/2.5 layer I and
// layers II/III.
constexpr uint16_t kMpeg1Rates[3][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
};
constexpr uint16_t kMpeg2Rates[2][15] = {
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
constexpr uint32_t kMpeg1SampleRates[3] = {44100, 48000, 32000};

constexpr unsigned kVersion2 = 2;
constexpr unsigned kVersion1 = 3;
constexpr unsigned kLayer3 = 1;
constexpr unsigned kLayer1 = 3;

}  // namespace

SeamAudioKind SeamAudioKindOf(uint16_t formatTag) {
    switch (formatTag) {
        case kFormatTagMpeg:
        case kFormatTagMp3:
            return SeamAudioKind::kMpegAudio;
        case kFormatTagWmaPro:
        case kFormatTagWmaLossless:
            return SeamAudioKind::kSequenced;
        default:
            return SeamAudioKind::kWhole;
    }
}

size_t MpegFrameLength(const uint8_t* h) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) {
        return 0;
    }
    const unsigned version = (h[1] >> 3) & 3;
    const unsigned layer = (h[1] >> 1) & 3;  // 3: layer I, 2: II, 1: III
    const unsigned rateIndex = h[2] >> 4;
    const unsigned sampleIndex = (h[2] >> 2) & 3;
    const unsigned padding = (h[2] >> 1) & 1;
    if (version == 1 || layer == 0 || rateIndex == 0 || rateIndex == 15 || sampleIndex == 3) {
        return 0;
    }
    uint32_t sampleRate = kMpeg1SampleRates[sampleIndex];
    uint32_t kbps = 0;
    if (version == kVersion1) {
        kbps = kMpeg1Rates[kLayer1 - layer][rateIndex];
    } else {
        kbps = kMpeg2Rates[layer == kLayer1 ? 0 : 1][rateIndex];
        sampleRate /= version == kVersion2 ? 2 : 4;
    }
    const uint32_t bitrate = kbps * 1000;
    if (layer == kLayer1) {
        return (12 * bitrate / sampleRate + padding) * 4;
    }
    // Layer III of MPEG-2 and 2.5 has half as many samples a frame.
    const uint32_t factor = layer == kLayer3 && version != kVersion1 ? 72 : 144;
    return factor * bitrate / sampleRate + padding;
}

size_t FirstWholeMpegFrame(const uint8_t* data, size_t size) {
    for (size_t at = 0; at + kMpegHeaderBytes <= size; ++at) {
        size_t length = MpegFrameLength(data + at);
        if (length == 0 || at + length > size) {
            continue;
        }
        if (at + length == size ||
            (at + length + kMpegHeaderBytes <= size && MpegFrameLength(data + at + length) != 0)) {
            return at;
        }
    }
    return size;
}

MpegFrameWalk WalkMpegFrames(const uint8_t* data, size_t size, size_t start) {
    MpegFrameWalk walk;
    if (start == kUnknownCarry) {
        start = FirstWholeMpegFrame(data, size);
    }
    if (start >= size) {
        // The whole object finishes (or still continues) a frame begun before it.
        walk.wholeEnd = start == size ? size : 0;
        walk.carry = start == size ? 0 : start - size;
        return walk;
    }
    size_t at = start;
    while (at < size) {
        if (at + kMpegHeaderBytes > size) {
            walk.wholeEnd = at;
            walk.carry = kUnknownCarry;
            return walk;
        }
        size_t length = MpegFrameLength(data + at);
        if (length == 0) {
            // Not frames this can follow: nothing is cut.
            walk.wholeEnd = size;
            walk.carry = kUnknownCarry;
            return walk;
        }
        if (at + length > size) {
            walk.wholeEnd = at;
            walk.carry = at + length - size;
            return walk;
        }
        at += length;
    }
    walk.wholeEnd = size;
    return walk;
}

unsigned LastSequenceNumber(const uint8_t* data, size_t size, uint32_t blockAlign) {
    const size_t step = blockAlign != 0 && size % blockAlign == 0 ? blockAlign : size;
    return step == 0 ? 0 : SequenceNumberAt(data, size - step);
}

unsigned RenumberPackets(uint8_t* data, size_t size, uint32_t blockAlign, unsigned delta) {
    const size_t step = blockAlign != 0 && size % blockAlign == 0 ? blockAlign : size;
    unsigned last = 0;
    for (size_t at = 0; step != 0 && at < size; at += step) {
        last = (SequenceNumberAt(data, at) + delta) & 0xF;
        data[at] = static_cast<uint8_t>((last << 4) | (data[at] & 0x0F));
    }
    return last;
}
