// Every audio track of AVI inputs in the joined AVI: copied where every input holds it alike,
// encoded otherwise (an input without a track gives silence there); an output that holds one
// track names in the join's warnings each track it leaves out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "engines/conversion/tests/join_judge.h"
#include "engines/conversion/tests/mcl_module.h"
#include "tests/support/media_fixtures.h"
#include "tests/support/output_judge.h"

namespace {

constexpr double kFrameSeconds = 1.0 / 25;
constexpr int32_t kAviSelector = 6;
constexpr int32_t kFmp4 = 'F' | ('M' << 8) | ('P' << 16) | ('4' << 24);

// Where a stream's last packet ends, by ffprobe.
double StreamEnd(const std::string& path, const std::string& stream) {
    double end = 0.0;
    for (const kjtest::ProbedPacket& packet : kjtest::ProbePackets(path, stream)) {
        if (!std::isnan(packet.pts)) {
            end = std::max(end, packet.pts + packet.duration);
        }
    }
    return end;
}

class AviAudioTracks : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(kjtest::MissingReaders(), "");
        ASSERT_TRUE(m_module.Loaded()) << "libzivuvore.so is missing";
    }

    // MPEG-4 pictures with an MP3 track at `firstRate` and, unless `secondRate` is 0, an AC-3
    // track at `secondRate` beside it.
    std::string Make(const char* name, const char* size, double seconds, int secondRate,
                     int firstRate = 44100) {
        const std::string path = m_dir.File(name);
        std::string args =
            std::string("-f lavfi -i testsrc2=size=") + size +
            ":rate=25 -f lavfi -i sine=frequency=440:sample_rate=" + std::to_string(firstRate);
        std::string maps = " -map 0 -map 1";
        if (secondRate > 0) {
            args += " -f lavfi -i sine=frequency=660:sample_rate=" + std::to_string(secondRate);
            maps += " -map 2 -c:a:1 ac3";
        }
        std::string error;
        EXPECT_TRUE(kjtest::MakeWithFfmpeg(
            args + " -t " + std::to_string(seconds) + maps + " -c:v mpeg4 -c:a:0 libmp3lame -f avi",
            path, &error))
            << error;
        return path;
    }

    kjtest::ConvertRun Join(const std::vector<std::string>& inputs, const std::string& out) {
        kjtest::ConvertOutput settings;
        settings.selector = kAviSelector;
        settings.codec = kFmp4;
        settings.width = 176;
        settings.height = 144;
        return kjtest::Convert(m_module, inputs, out, settings);
    }

    // Two audio tracks, the second in the first one's codec and rate, each as long as the
    // pictures within a frame, and readers that take the file whole.
    static void ExpectTwoEncodedTracks(const std::string& out) {
        EXPECT_EQ(kjtest::StreamEntry(out, "a:1", "codec_name"),
                  kjtest::StreamEntry(out, "a:0", "codec_name"));
        EXPECT_EQ(kjtest::StreamEntry(out, "a:1", "sample_rate"),
                  kjtest::StreamEntry(out, "a:0", "sample_rate"));
        EXPECT_EQ(kjtest::StreamEntry(out, "a:2", "codec_name"), "");
        const double pictures = StreamEnd(out, "v:0");
        EXPECT_GT(pictures, 2.0);
        EXPECT_NEAR(StreamEnd(out, "a:0"), pictures, kFrameSeconds);
        EXPECT_NEAR(StreamEnd(out, "a:1"), pictures, kFrameSeconds);
        EXPECT_EQ(kjtest::DecodeErrors(out), "");
        EXPECT_EQ(kjtest::GstPlaybackFailure(out), "");
    }

    kjtest::MclModule m_module;
    kjtest::TempDir m_dir;
};

// A dual-audio pair joined with a file of another picture size and another rate of its first
// track: the pictures and the sound are re-encoded, both tracks alike (the third file's AC-3 at
// another rate resampled into its track).
TEST_F(AviAudioTracks, AReencodedJoinEncodesEveryTrack) {
    const std::string a = Make("a.avi", "176x144", 1.3, 48000);
    const std::string b = Make("b.avi", "176x144", 0.9, 48000);
    const std::string c = Make("c.avi", "160x120", 1.0, 44100, 22050);
    const std::string out = m_dir.File("out.avi");
    const kjtest::ConvertRun run = Join({a, b, c}, out);
    ASSERT_EQ(run.result, 0) << run.errorText;
    ExpectTwoEncodedTracks(out);
    for (const std::string& warning : run.inputWarnings) {
        EXPECT_EQ(warning, "");
    }
}

// An input with one track, among inputs with two: its place in the second track is silence as
// long as its pictures, so the next input's second track keeps time.
TEST_F(AviAudioTracks, AnInputWithoutTheSecondTrackGivesSilenceThere) {
    const std::string a = Make("a.avi", "176x144", 1.3, 48000);
    const std::string b = Make("b.avi", "160x120", 0.9, 0, 22050);
    const std::string c = Make("c.avi", "176x144", 1.0, 48000);
    const std::string out = m_dir.File("out.avi");
    const kjtest::ConvertRun run = Join({a, b, c}, out);
    ASSERT_EQ(run.result, 0) << run.errorText;
    // Without the silence the second track would end b's 0.9 s before the pictures.
    ExpectTwoEncodedTracks(out);
}

// Copied sound whose second track differs in one input (AC-3 at 44.1 kHz among 48 kHz ones):
// the first track is copied packet for packet, the second encoded beside it, nothing left out.
TEST_F(AviAudioTracks, ASecondTrackThatDiffersIsEncodedBesideTheCopiedFirst) {
    const std::string a = Make("a.avi", "176x144", 1.3, 48000);
    const std::string b = Make("b.avi", "176x144", 0.9, 44100);
    const std::string out = m_dir.File("out.avi");
    const kjtest::ConvertRun run = Join({a, b}, out);
    ASSERT_EQ(run.result, 0) << run.errorText;
    // Copied: each input's first track whole and in order (silence may follow a track that
    // ends before its pictures).
    const std::vector<std::string> copied = kjtest::PacketHashes(out, "a:0");
    for (const std::string& input : {a, b}) {
        const std::vector<std::string> own = kjtest::PacketHashes(input, "a:0");
        ASSERT_FALSE(own.empty()) << input;
        EXPECT_TRUE(std::search(copied.begin(), copied.end(), own.begin(), own.end()) !=
                    copied.end())
            << "the first track of " << input << " is not copied whole";
    }
    ExpectTwoEncodedTracks(out);
    for (const std::string& warning : run.inputWarnings) {
        EXPECT_EQ(warning, "");
    }
}

// A program stream output holds one audio track: the join names each input's track it leaves
// out, with what it is.
TEST_F(AviAudioTracks, AnMpegOutputNamesTheTracksItLeavesOut) {
    const std::string a = Make("a.avi", "176x144", 1.3, 48000);
    const std::string b = Make("b.avi", "176x144", 0.9, 44100);
    const std::string out = m_dir.File("out.mpg");
    const kjtest::ConvertRun run = kjtest::Convert(m_module, {a, b}, out, kjtest::ConvertOutput{});
    ASSERT_EQ(run.result, 0) << run.errorText;
    EXPECT_EQ(kjtest::StreamEntry(out, "a:1", "codec_name"), "");
    ASSERT_EQ(run.inputWarnings.size(), 2u);
    EXPECT_EQ(run.inputWarnings[0],
              "a.avi: its audio track 2 (ac3, 48000 Hz, mono) was left out: this output holds one "
              "audio track.\n");
    EXPECT_EQ(run.inputWarnings[1],
              "b.avi: its audio track 2 (ac3, 44100 Hz, mono) was left out: this output holds one "
              "audio track.\n");
    EXPECT_EQ(kjtest::DecodeErrors(out), "");
}

// A further track in a codec FFmpeg has no decoder for (its format tag made unknown, byte by
// byte) costs that input's track, not the join: silence takes its place, and the warning says so.
TEST_F(AviAudioTracks, ATrackWithoutADecoderBecomesSilenceAndIsTold) {
    const std::string a = Make("a.avi", "176x144", 1.3, 48000);
    const std::string made = m_dir.File("made.avi");
    std::string error;
    // The unknown track's bit rate below the first's, so the first stays the input's main one.
    ASSERT_TRUE(kjtest::MakeWithFfmpeg(
        "-f lavfi -i testsrc2=size=176x144:rate=25 -f lavfi -i sine=sample_rate=44100 -f lavfi -i "
        "sine=frequency=660:sample_rate=44100 -t 0.9 -map 0 -map 1 -map 2 -c:v mpeg4 -c:a:0 "
        "libmp3lame -b:a:0 192k -c:a:1 ac3 -b:a:1 64k -f avi",
        made, &error))
        << error;
    std::vector<uint8_t> bytes = kjtest::ReadFileBytes(made);
    const std::string auds = "auds";
    const std::string strf = "strf";
    auto first = std::search(bytes.begin(), bytes.end(), auds.begin(), auds.end());
    ASSERT_NE(first, bytes.end());
    auto second = std::search(first + 4, bytes.end(), auds.begin(), auds.end());
    ASSERT_NE(second, bytes.end());
    auto format = std::search(second, bytes.end(), strf.begin(), strf.end());
    ASSERT_LT(format + 10, bytes.end());
    format[8] = 0x77;  // wFormatTag 0x7777: no codec
    format[9] = 0x77;
    const std::string b = m_dir.File("b.avi");
    ASSERT_TRUE(kjtest::WriteFileBytes(b, bytes));
    const std::string out = m_dir.File("out.avi");
    const kjtest::ConvertRun run = Join({a, b}, out);
    ASSERT_EQ(run.result, 0) << run.errorText;
    ExpectTwoEncodedTracks(out);
    ASSERT_EQ(run.inputWarnings.size(), 2u);
    EXPECT_EQ(run.inputWarnings[0], "");
    EXPECT_NE(run.inputWarnings[1].find("b.avi"), std::string::npos) << run.inputWarnings[1];
    EXPECT_NE(run.inputWarnings[1].find("silence takes its place in audio track 2"),
              std::string::npos)
        << run.inputWarnings[1];
}

}  // namespace
