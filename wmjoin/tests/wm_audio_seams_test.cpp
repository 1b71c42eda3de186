// The reading of sound at seams against frames and packets built byte by byte.
#include <gtest/gtest.h>

#include <vector>

#include "wmjoin/wm_audio_seams.h"

namespace {

struct FrameCase {
    uint8_t header[4];
    size_t length;
    const char* what;
};

// Frame lengths from the layer's own formula for each kind of header.
TEST(MpegAudioFrames, LengthsOfEveryVersionAndLayer) {
    const FrameCase cases[] = {
        {{0xFF, 0xFB, 0x90, 0x00}, 417, "MPEG-1 layer III, 128 kbit/s, 44.1 kHz"},
        {{0xFF, 0xFB, 0x92, 0x00}, 418, "the same with its padding byte"},
        {{0xFF, 0xF3, 0x80, 0x00}, 208, "MPEG-2 layer III, 64 kbit/s, 22.05 kHz"},
        {{0xFF, 0xE3, 0x80, 0x00}, 417, "MPEG-2.5 layer III, 64 kbit/s, 11.025 kHz"},
        {{0xFF, 0xFD, 0xA4, 0x00}, 576, "MPEG-1 layer II, 192 kbit/s, 48 kHz"},
        {{0xFF, 0xFF, 0xC0, 0x00}, 416, "MPEG-1 layer I, 384 kbit/s, 44.1 kHz"},
        {{0xFF, 0xFB, 0x00, 0x00}, 0, "a free-format bit rate"},
        {{0xFF, 0xFB, 0xF0, 0x00}, 0, "a bad bit rate"},
        {{0xFF, 0xFB, 0x9C, 0x00}, 0, "a reserved sample rate"},
        {{0xFF, 0xEB, 0x90, 0x00}, 0, "a reserved version"},
        {{0xFF, 0xF9, 0x90, 0x00}, 0, "a reserved layer"},
        {{0x00, 0xFB, 0x90, 0x00}, 0, "no sync"},
    };
    for (const FrameCase& c : cases) {
        EXPECT_EQ(MpegFrameLength(c.header), c.length) << c.what;
    }
}

// Frames of 417 bytes back to back, the stream cut into objects anywhere.
std::vector<uint8_t> Frames(int count) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t> frame(417, static_cast<uint8_t>(i));
        frame[0] = 0xFF;
        frame[1] = 0xFB;
        frame[2] = 0x90;
        frame[3] = 0x00;
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
    return bytes;
}

TEST(MpegAudioFrames, ObjectsCutAnywhereAreWalkedFromFrameToFrame) {
    std::vector<uint8_t> stream = Frames(6);  // 2502 bytes
    // Objects of 1000 bytes: the walk carries the frame that crosses each cut.
    MpegFrameWalk first = WalkMpegFrames(stream.data(), 1000, 0);
    EXPECT_EQ(first.wholeEnd, 834u);
    EXPECT_EQ(first.carry, 251u);
    MpegFrameWalk second = WalkMpegFrames(stream.data() + 1000, 1000, first.carry);
    EXPECT_EQ(second.wholeEnd, 251u + 417u);
    EXPECT_EQ(second.carry, 2085u - 2000u);
    MpegFrameWalk last = WalkMpegFrames(stream.data() + 2000, 502, second.carry);
    EXPECT_EQ(last.wholeEnd, 502u);
    EXPECT_EQ(last.carry, 0u);
    // An object wholly inside a frame, and one whose frame header is cut.
    MpegFrameWalk inside = WalkMpegFrames(stream.data() + 420, 100, 414);
    EXPECT_EQ(inside.wholeEnd, 0u);
    EXPECT_EQ(inside.carry, 314u);
    MpegFrameWalk cutHeader = WalkMpegFrames(stream.data(), 419, 0);
    EXPECT_EQ(cutHeader.wholeEnd, 417u);
    EXPECT_EQ(cutHeader.carry, kUnknownCarry);
    // A stream that begins inside a frame: its first whole frame is found.
    EXPECT_EQ(FirstWholeMpegFrame(stream.data() + 300, 1000), 117u);
    EXPECT_EQ(FirstWholeMpegFrame(stream.data() + 300, 100), 100u);  // none
}

TEST(SequencedPackets, NumbersMoveByTheSameStepInEveryBlockAndWrapAtSixteen) {
    // Three packets of 8 bytes numbered 13, 14, 15 with other bits in the low nibble.
    std::vector<uint8_t> object = {0xD5, 1, 2, 3, 4,    5, 6, 7, 0xE5, 1, 2, 3,
                                   4,    5, 6, 7, 0xFA, 1, 2, 3, 4,    5, 6, 7};
    EXPECT_EQ(LastSequenceNumber(object.data(), object.size(), 8), 15u);
    EXPECT_EQ(RenumberPackets(object.data(), object.size(), 8, 4), 3u);
    EXPECT_EQ(object[0], 0x15);
    EXPECT_EQ(object[8], 0x25);
    EXPECT_EQ(object[16], 0x3A);
    EXPECT_EQ(object[1], 1);  // the rest untouched
    // A size that is no multiple of the block: one packet.
    std::vector<uint8_t> odd = {0x70, 0x80, 0x90};
    EXPECT_EQ(RenumberPackets(odd.data(), odd.size(), 2, 1), 8u);
    EXPECT_EQ(odd, (std::vector<uint8_t>{0x80, 0x80, 0x90}));
    EXPECT_EQ(SeamAudioKindOf(0x0163), SeamAudioKind::kSequenced);
    EXPECT_EQ(SeamAudioKindOf(0x0055), SeamAudioKind::kMpegAudio);
    EXPECT_EQ(SeamAudioKindOf(0x0161), SeamAudioKind::kWhole);
}

}  // namespace
