// kjoin joining AVI and MPEG files as people have them: cut short by a stopped download, a capture
// AVI with empty index entries, a damaged picture, a bare MPEG-1 stream with the "variable" bit
// rate. The join succeeds, the output decodes cleanly and lasts what was joined, kjoin says what
// was left out, and nothing of FFmpeg's own log reaches the terminal.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "tests/support/media_fixtures.h"

namespace {

std::string Kjoin() {
    return kjtest::ShellQuote(kjtest::BinDir() + "/kjoin");
}

double Duration(const std::string& path) {
    return std::atof(kjtest::Ffprobe(path, "format=duration").c_str());
}

bool CutAt(const std::string& from, const std::string& to, int percent) {
    std::vector<uint8_t> bytes = kjtest::ReadFileBytes(from);
    bytes.resize(bytes.size() * static_cast<size_t>(percent) / 100);
    return !bytes.empty() && kjtest::WriteFileBytes(to, bytes);
}

// A line FFmpeg prints itself: "[mpeg4 @ 0x55...] ac-tex damaged".
bool HasRawFfmpegLine(const std::string& output) {
    return std::regex_search(output, std::regex(R"(\[[A-Za-z0-9_]+ @ 0x[0-9a-f]+\])"));
}

class KjoinDamagedAviMpeg : public ::testing::Test {
protected:
    std::string Make(const std::string& name, const std::string& args) {
        std::string path = m_dir.File(name);
        std::string error;
        EXPECT_TRUE(kjtest::MakeWithFfmpeg(args, path, &error)) << error;
        return path;
    }

    // A 6-second test card with a tone in `codecArgs`, cut at 70 %.
    std::string MakeCut(const std::string& name, const std::string& codecArgs) {
        std::string whole = Make("whole-" + name,
                                 "-f lavfi -i testsrc=size=352x288:rate=25:duration=6 -f lavfi "
                                 "-i sine=duration=6 " +
                                     codecArgs);
        std::string cut = m_dir.File(name);
        EXPECT_TRUE(CutAt(whole, cut, 70));
        return cut;
    }

    kjtest::CommandResult Join(const std::string& out, const std::vector<std::string>& inputs) {
        std::string line = "timeout 120 " + Kjoin() + " join -y -o " + kjtest::ShellQuote(out);
        for (const std::string& input : inputs) {
            line += " " + kjtest::ShellQuote(input);
        }
        kjtest::CommandResult run = kjtest::RunCommand(line);
        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_FALSE(HasRawFfmpegLine(run.output)) << run.output;
        EXPECT_EQ(kjtest::DecodeErrors(out), "");
        return run;
    }

    // The joined seconds of every "kjoin: warning: NAME is cut short: its first X s" line.
    static std::vector<double> CutShortLines(const std::string& output, const std::string& name) {
        std::vector<double> seconds;
        std::regex line("kjoin: warning: " + name +
                        R"( is cut short: its first ([0-9]+\.[0-9]) s[^\n]* were joined\.)");
        for (std::sregex_iterator it(output.begin(), output.end(), line), end; it != end; ++it) {
            seconds.push_back(std::atof((*it)[1].str().c_str()));
        }
        return seconds;
    }

    kjtest::TempDir m_dir;
};

TEST_F(KjoinDamagedAviMpeg, ACutShortAviJoinsUpToItsLastWholePacketAndIsNamed) {
    std::string cut = MakeCut("cut.avi", "-c:v mpeg4 -vtag DX50 -c:a libmp3lame -f avi");
    std::string out = m_dir.File("out.avi");
    kjtest::CommandResult run = Join(out, {cut, cut});
    std::vector<double> joined = CutShortLines(run.output, "cut\\.avi");
    ASSERT_EQ(joined.size(), 2u) << run.output;
    EXPECT_NE(run.output.find(" of 6.0 s were joined."), std::string::npos) << run.output;
    EXPECT_NEAR(Duration(out), joined[0] + joined[1], 0.1);
}

TEST_F(KjoinDamagedAviMpeg, ACutShortMpegIsReencodedWithoutItsPartialPicture) {
    std::string cut = MakeCut("cut.mpg", "-target pal-vcd");
    std::string other = Make("other.mpg",
                             "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -c:v mpeg1video "
                             "-f mpeg");
    std::string out = m_dir.File("out.mpg");
    kjtest::CommandResult run = Join(out, {cut, other});
    std::vector<double> joined = CutShortLines(run.output, "cut\\.mpg");
    ASSERT_EQ(joined.size(), 1u) << run.output;
    EXPECT_NEAR(Duration(out), joined[0] + 2.0, 0.12);
}

TEST_F(KjoinDamagedAviMpeg, ASparseCaptureAviKeepsItsWholeLengthEveryTime) {
    std::string sparse = Make("capture.avi",
                              "-f lavfi -i testsrc=size=320x240:rate=15:duration=8 -vf "
                              "\"select=not(mod(n\\,7))\" -fps_mode passthrough -c:v mpeg4 "
                              "-vtag XVID -f avi");
    double entries = std::atof(kjtest::Ffprobe(sparse, "stream=nb_frames", "v:0").c_str());
    ASSERT_GT(entries, 5.0 * static_cast<double>(kjtest::CountPackets(sparse, "v:0")));
    std::string out = m_dir.File("out.avi");
    kjtest::CommandResult run = Join(out, {sparse, sparse});
    EXPECT_EQ(run.output.find("warning"), std::string::npos) << run.output;
    EXPECT_NEAR(Duration(out), 2 * entries / 15.0, 2.0 / 15.0);
    // A capture without sound is joined without.
    EXPECT_EQ(kjtest::Ffprobe(out, "stream=codec_type", "a:0"), "");
}

TEST_F(KjoinDamagedAviMpeg, ADamagedPictureIsSkippedQuietlyAndCounted) {
    std::string clean = Make("clean.avi",
                             "-f lavfi -i testsrc=size=352x288:rate=25:duration=4 -c:v mpeg4 "
                             "-vtag DX50 -g 300 -f avi");
    std::vector<uint8_t> bytes = kjtest::ReadFileBytes(clean);
    ASSERT_GT(bytes.size(), 20000u);
    kjtest::Scramble(bytes, bytes.size() / 2, bytes.size() / 2 + 4096, 99);
    std::string noisy = m_dir.File("noisy.avi");
    ASSERT_TRUE(kjtest::WriteFileBytes(noisy, bytes));
    std::string other = Make("other.avi",
                             "-f lavfi -i testsrc=size=320x240:rate=25:duration=1 -c:v msmpeg4v2 "
                             "-f avi");
    std::string out = m_dir.File("out.avi");
    // The other file first: the whole list is encoded (a copied file's damage stays its own).
    kjtest::CommandResult run = Join(out, {other, noisy});
    // What the decoder said about the damage is not printed; the user is told it in one line.
    EXPECT_TRUE(std::regex_search(
        run.output, std::regex(R"(kjoin: warning: noisy\.avi: [0-9]+ damaged frames? (was|were) )"
                               R"(skipped\.)")))
        << run.output;
}

TEST_F(KjoinDamagedAviMpeg, ABareMpeg1StreamWithTheVariableBitRateJoins) {
    // With and without B pictures: such a stream times only some of its pictures.
    for (const char* pictures : {"-bf 0", "-bf 2"}) {
        SCOPED_TRACE(pictures);
        std::string raw =
            Make("clip.m1v", std::string("-f lavfi -i testsrc=size=352x288:rate=25:duration=3 "
                                         "-c:v mpeg1video -q:v 3 -f mpeg1video ") +
                                 pictures);
        // The sequence header's bit rate is 0x3FFFF, "variable".
        std::vector<uint8_t> head = kjtest::ReadFileBytes(raw);
        ASSERT_GT(head.size(), 12u);
        uint32_t bitRate = (static_cast<uint32_t>(head[8]) << 10) |
                           (static_cast<uint32_t>(head[9]) << 2) | (head[10] >> 6);
        ASSERT_EQ(bitRate, 0x3FFFFu);
        std::string out = m_dir.File("out.mpg");
        Join(out, {raw, raw});
        EXPECT_NEAR(Duration(out), 6.0, 0.12);
        EXPECT_NEAR(std::atof(kjtest::Ffprobe(out, "stream=duration", "v:0").c_str()), 6.0, 0.12);
    }
}

}  // namespace
