// The audio frame walk of the program stream scan, on streams built byte by byte: where each
// kind of audio (MP2, AC-3, DTS, LPCM) ends with its last whole frame, fed in packets that cut
// frames anywhere.
#include <gtest/gtest.h>

#include "engines/conversion/mpeg_ps_audio_frames.h"

namespace {

struct FrameCase {
    const char* name;
    uint16_t key;
    std::vector<uint8_t> header;  // of every frame (LPCM: none)
    size_t frameBytes;            // LPCM: the sample group
};

// `frames` whole frames, then `part` bytes of one more.
std::vector<uint8_t> Stream(const FrameCase& c, size_t frames, size_t part) {
    std::vector<uint8_t> es;
    for (size_t f = 0; f <= frames; ++f) {
        std::vector<uint8_t> frame(c.frameBytes, 0x11);
        std::copy(c.header.begin(), c.header.end(), frame.begin());
        es.insert(es.end(), frame.begin(), frame.begin() + (f < frames ? frame.size() : part));
    }
    return es;
}

class AudioFrames : public testing::TestWithParam<FrameCase> {};

TEST_P(AudioFrames, TheLastWholeFrameIsFoundWhereverPacketsCutTheStream) {
    const FrameCase& c = GetParam();
    const AudioFraming framing = FramingOfStream(c.key);
    ASSERT_NE(framing, AudioFraming::kNone);
    if (!c.header.empty()) {
        AudioFrameHeader header;
        ASSERT_TRUE(ReadAudioFrameHeader(framing, c.header.data(), c.header.size(), &header));
        EXPECT_EQ(header.frameBytes, c.frameBytes);
        EXPECT_GT(header.sampleRate, 0);
    }
    const uint32_t group = framing == AudioFraming::kLpcm ? static_cast<uint32_t>(c.frameBytes) : 0;
    for (size_t packetBytes : {size_t{500}, size_t{2000}, c.frameBytes}) {
        for (size_t part : {size_t{0}, size_t{1}, c.frameBytes / 2}) {
            SCOPED_TRACE(std::to_string(packetBytes) + " bytes a packet, part " +
                         std::to_string(part));
            const std::vector<uint8_t> es = Stream(c, 7, part);
            AudioFrameWalker walker(framing, group);
            std::vector<uint64_t> packetAt;
            for (size_t at = 0; at < es.size(); at += packetBytes) {
                packetAt.push_back(10000 + at * 2);  // PES packets lie among others
                walker.Feed(packetAt.back(), 9000 + at * 2, es.data() + at,
                            std::min(packetBytes, es.size() - at));
            }
            PsAudioCut cut;
            if (part == 0) {
                EXPECT_FALSE(walker.TrailingPart(&cut));
                continue;
            }
            ASSERT_TRUE(walker.TrailingPart(&cut));
            // The packet in which the seven whole frames end, and how much of it they take.
            const size_t whole = 7 * c.frameBytes;
            const size_t packet = (whole - 1) / packetBytes;
            EXPECT_EQ(cut.pesAt, packetAt[packet]);
            EXPECT_EQ(cut.packAt, packetAt[packet] - 1000);
            EXPECT_EQ(cut.keepBytes, whole - packet * packetBytes);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, AudioFrames,
    testing::Values(
        // MPEG-1 layer II, 224 kbit/s at 48 kHz, stereo: 672-byte frames.
        FrameCase{"mp2", 0xC000, {0xFF, 0xFD, 0xB4, 0x04}, 672},
        // AC-3, 192 kbit/s at 48 kHz: 768-byte frames.
        FrameCase{"ac3", 0xBD80, {0x0B, 0x77, 0, 0, 0x14, 0x40, 0x40}, 768},
        // DTS core, 16 blocks of 32 samples, 5 channels at 48 kHz: 1007-byte frames.
        FrameCase{"dts", 0xBD88, {0x7F, 0xFE, 0x80, 0x01, 0xFC, 0x3C, 0x3E, 0xE2, 0x74}, 1007},
        // LPCM, 16-bit stereo: 4-byte sample groups.
        FrameCase{"lpcm", 0xBDA0, {}, 4}),
    [](const testing::TestParamInfo<FrameCase>& info) { return std::string(info.param.name); });

TEST(AudioFrames, LpcmGroupsFollowQuantizationAndChannels) {
    const uint8_t stereo16[3] = {0x00, 0x01, 0x80};
    const uint8_t six20[3] = {0x00, 0x45, 0x80};
    const uint8_t mono24[3] = {0x00, 0x80, 0x80};
    const uint8_t unknown[3] = {0x00, 0xC1, 0x80};
    EXPECT_EQ(LpcmGroupBytes(stereo16), 4u);
    EXPECT_EQ(LpcmGroupBytes(six20), 30u);
    EXPECT_EQ(LpcmGroupBytes(mono24), 6u);
    EXPECT_EQ(LpcmGroupBytes(unknown), 0u);
}

}  // namespace
