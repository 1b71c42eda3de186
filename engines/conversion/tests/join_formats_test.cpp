// Joins through the module's entry points, with the settings the join driver uses, judged by
// ffmpeg's own tools: streams, sizes, codecs, packets, a clean decode, durations, and audio and
// video starting together at the seam.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "engines/conversion/tests/join_judge.h"
#include "engines/conversion/tests/mcl_module.h"
#include "tests/support/media_fixtures.h"

namespace {

using kjtest::ConvertOutput;
using kjtest::ConvertRun;
using kjtest::CountPackets;
using kjtest::DecodeErrors;
using kjtest::FindOnsets;
using kjtest::MakeClip;
using kjtest::StreamEntry;
using kjtest::TempDir;

constexpr double kSeamTolerance = 0.040;
constexpr double kClipSeconds = 2.0;

constexpr int32_t FourCC(const char (&t)[5]) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint8_t>(t[0])) |
                                (static_cast<uint32_t>(static_cast<uint8_t>(t[1])) << 8) |
                                (static_cast<uint32_t>(static_cast<uint8_t>(t[2])) << 16) |
                                (static_cast<uint32_t>(static_cast<uint8_t>(t[3])) << 24));
}

class JoinFormats : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_module.Loaded()) {
            GTEST_SKIP() << "libzivuvore.so was not built next to the tests";
        }
    }

    std::string Clip(const std::string& name, bool lit, bool audio, const std::string& size,
                     int rate, const std::string& args) {
        std::string path = m_dir.File(name);
        std::string error;
        EXPECT_TRUE(MakeClip(path, lit, audio, size, rate, kClipSeconds, args, &error)) << error;
        return path;
    }

    ConvertRun Join(const std::vector<std::string>& inputs, const std::string& output,
                    const ConvertOutput& settings) {
        ConvertRun run = kjtest::Convert(m_module, inputs, output, settings);
        EXPECT_EQ(run.result, 0) << run.errorText;
        return run;
    }

    // The seam after `firstFrames` frames at `rate`: the white picture and the tone of the
    // second input start there, together.
    static void ExpectSeam(const std::string& output, int64_t firstFrames, double rate) {
        kjtest::Onsets onsets = FindOnsets(output);
        ASSERT_GE(onsets.video, 0.0) << "no picture of the second input in " << output;
        ASSERT_GE(onsets.audio, 0.0) << "no sound of the second input in " << output;
        EXPECT_NEAR(onsets.video - onsets.videoStart, static_cast<double>(firstFrames) / rate,
                    1.0 / rate);
        EXPECT_NEAR(onsets.audio, onsets.pictureTime, kSeamTolerance);
    }

    // Progress: 1 first, 0 last, frame numbers rising to the list's totals.
    kjtest::MclModule m_module;
    TempDir m_dir;
};

TEST_F(JoinFormats, TwoVideoCdFilesAreCopiedPacketForPacket) {
    std::string a = Clip("a.mpg", false, true, "352x288", 25, "-target pal-vcd");
    std::string b = Clip("b.mpg", true, true, "352x288", 25, "-target pal-vcd");
    std::string out = m_dir.File("out.mpg");
    ConvertRun run = Join({a, b}, out, ConvertOutput{});
    EXPECT_EQ(DecodeErrors(out), "");
    EXPECT_EQ(StreamEntry(out, "v:0", "codec_name"), "mpeg1video");
    EXPECT_EQ(StreamEntry(out, "a:0", "codec_name"), "mp2");
    EXPECT_EQ(kjtest::Ffprobe(out, "format=format_name"), "mpeg");
    std::vector<std::string> want = kjtest::PacketHashes(a, "v:0");
    std::vector<std::string> second = kjtest::PacketHashes(b, "v:0");
    want.insert(want.end(), second.begin(), second.end());
    EXPECT_EQ(kjtest::PacketHashes(out, "v:0"), want) << "video packets changed by the copy";
    int64_t firstFrames = CountPackets(a, "v:0");
    EXPECT_EQ(run.totalFrames, firstFrames + CountPackets(b, "v:0"));
    kjtest::ExpectProgressToTotals(run);
    ExpectSeam(out, firstFrames, 25.0);
}

TEST_F(JoinFormats, TwoDvdFilesJoinIntoAnMpeg2ProgramStream) {
    std::string a = Clip("a.vob", false, true, "720x576", 25, "-target pal-dvd -f vob");
    std::string b = Clip("b.vob", true, true, "720x576", 25, "-target pal-dvd -f vob");
    std::string out = m_dir.File("out.mpg");
    ConvertOutput settings;
    settings.codec = 2;
    settings.videoKbps = 6000;
    settings.width = 720;
    settings.height = 576;
    settings.enableMpeg2 = true;
    ConvertRun run = Join({a, b}, out, settings);
    EXPECT_EQ(DecodeErrors(out), "");
    EXPECT_EQ(StreamEntry(out, "v:0", "codec_name"), "mpeg2video");
    EXPECT_EQ(StreamEntry(out, "v:0", "width"), "720");
    EXPECT_EQ(StreamEntry(out, "v:0", "height"), "576");
    // A DVD's audio is at 48 kHz, copied or encoded.
    EXPECT_EQ(StreamEntry(out, "a:0", "sample_rate"), "48000");
    int64_t firstFrames = CountPackets(a, "v:0");
    EXPECT_EQ(CountPackets(out, "v:0"), firstFrames + CountPackets(b, "v:0"));
    kjtest::ExpectProgressToTotals(run);
    ExpectSeam(out, firstFrames, 25.0);
}

TEST_F(JoinFormats, AnMpeg1FileOfAnotherSizeAndRateIsReencodedToTheFirstOnes) {
    std::string a = Clip("a.mpg", false, true, "352x288", 25, "-target pal-vcd");
    std::string b = Clip("b.mpg", true, true, "320x240", 30,
                         "-c:v mpeg1video -b:v 800k -c:a mp2 -ar 44100 -f mpeg");
    std::string out = m_dir.File("out.mpg");
    ConvertRun run = Join({a, b}, out, ConvertOutput{});
    EXPECT_EQ(DecodeErrors(out), "");
    EXPECT_EQ(StreamEntry(out, "v:0", "codec_name"), "mpeg1video");
    EXPECT_EQ(StreamEntry(out, "v:0", "width"), "352");
    EXPECT_EQ(StreamEntry(out, "v:0", "height"), "288");
    EXPECT_EQ(StreamEntry(out, "v:0", "avg_frame_rate"), "25/1");
    int64_t firstFrames = CountPackets(a, "v:0");
    // The second input keeps its duration at the first one's rate.
    int64_t secondFrames = std::llround(static_cast<double>(CountPackets(b, "v:0")) * 25.0 / 30.0);
    EXPECT_NEAR(static_cast<double>(CountPackets(out, "v:0")),
                static_cast<double>(firstFrames + secondFrames), 1.0);
    kjtest::ExpectProgressToTotals(run);
    ExpectSeam(out, firstFrames, 25.0);
}

// The AVI settings the driver chooses for a 320x240 DX50 first row.
ConvertOutput AviDx50At320x240() {
    ConvertOutput settings;
    settings.selector = 6;
    settings.codec = FourCC("DX50");
    settings.width = 320;
    settings.height = 240;
    return settings;
}

TEST_F(JoinFormats, AviMpeg4PairCopiesTheVideoAndEncodesTheOddAudioToTheFirsts) {
    const char* args = "-c:v mpeg4 -vtag DX50 -b:v 400k -c:a pcm_s16le -f avi";
    // The first's PCM is stereo, the second's mono: only the second's sound is encoded.
    std::string a = Clip("a.avi", false, true, "320x240", 25, args);
    std::string b = Clip("b.avi", true, true, "320x240", 25, args);
    std::string out = m_dir.File("out.avi");
    ConvertRun run = Join({a, b}, out, AviDx50At320x240());
    EXPECT_EQ(DecodeErrors(out), "");
    EXPECT_EQ(StreamEntry(out, "v:0", "codec_name"), "mpeg4");
    EXPECT_EQ(StreamEntry(out, "v:0", "codec_tag_string"), "DX50");
    EXPECT_EQ(StreamEntry(out, "a:0", "codec_name"), "pcm_s16le");
    EXPECT_EQ(StreamEntry(out, "a:0", "sample_rate"), "44100");
    EXPECT_EQ(StreamEntry(out, "a:0", "channels"), "2");
    std::vector<std::string> want = kjtest::PacketHashes(a, "v:0");
    std::vector<std::string> second = kjtest::PacketHashes(b, "v:0");
    want.insert(want.end(), second.begin(), second.end());
    EXPECT_EQ(kjtest::PacketHashes(out, "v:0"), want) << "the video was not copied";
    kjtest::ExpectProgressToTotals(run);
    ExpectSeam(out, CountPackets(a, "v:0"), 25.0);
}

TEST_F(JoinFormats, AviMpeg4ThenMsmpeg4v2WithoutAudioReencodesWithSilenceForTheFirst) {
    std::string a = Clip("a.avi", false, false, "320x240", 25, "-c:v mpeg4 -vtag DX50 -f avi");
    std::string b =
        Clip("b.avi", true, true, "320x240", 25, "-c:v msmpeg4v2 -c:a mp3 -ar 44100 -f avi");
    std::string out = m_dir.File("out.avi");
    ConvertRun run = Join({a, b}, out, AviDx50At320x240());
    EXPECT_EQ(DecodeErrors(out), "");
    EXPECT_EQ(StreamEntry(out, "v:0", "codec_name"), "mpeg4");
    EXPECT_EQ(StreamEntry(out, "v:0", "codec_tag_string"), "DX50");
    EXPECT_EQ(StreamEntry(out, "a:0", "codec_name"), "mp3");
    // Each input lasts as many frames as its index has entries (ffmpeg writes an empty one
    // where its timing skips a frame); re-encoded, each becomes a picture.
    int64_t firstFrames = std::atoll(StreamEntry(a, "v:0", "nb_frames").c_str());
    int64_t secondFrames = std::atoll(StreamEntry(b, "v:0", "nb_frames").c_str());
    EXPECT_EQ(CountPackets(out, "v:0"), firstFrames + secondFrames);
    kjtest::ExpectProgressToTotals(run);
    ExpectSeam(out, firstFrames, 25.0);
}

}  // namespace
