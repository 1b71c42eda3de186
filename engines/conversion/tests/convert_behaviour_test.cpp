// The module's conversion entry points beyond the formats: copying across an open GOP, the stop,
// failures that name the file and keep the old output, long paths, the time text.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <vector>

#include "engines/conversion/tests/join_judge.h"
#include "engines/conversion/tests/mcl_module.h"
#include "tests/support/media_fixtures.h"

namespace fs = std::filesystem;

namespace {

using kjtest::ConvertOutput;
using kjtest::ConvertRun;
using kjtest::CountPackets;
using kjtest::MakeWithFfmpeg;
using kjtest::TempDir;

const std::string kOld = "an earlier file";

class ConvertBehaviour : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_module.Loaded()) {
            GTEST_SKIP() << "libzivuvore.so was not built next to the tests";
        }
    }
    std::string Vcd(const std::string& path, double seconds, const std::string& extra = "") {
        std::string error;
        EXPECT_TRUE(MakeWithFfmpeg(
            "-f lavfi -i testsrc=size=352x288:rate=25:duration=" + std::to_string(seconds) +
                " -f lavfi -i sine=sample_rate=44100:duration=" + std::to_string(seconds) +
                " -target pal-vcd " + extra,
            path, &error))
            << error;
        return path;
    }
    size_t FilesIn(const std::string& folder) {
        size_t n = 0;
        for (const auto& e : fs::directory_iterator(folder)) {
            (void)e;
            ++n;
        }
        return n;
    }

    kjtest::MclModule m_module;
    TempDir m_dir;
};

TEST_F(ConvertBehaviour, CopyAcrossAnOpenGopDropsThePicturesThatLeanOnTheFormerInput) {
    std::string a = Vcd(m_dir.File("a.mpg"), 2, "-bf 2 -g 12");
    std::string longer = Vcd(m_dir.File("long.mpg"), 3, "-bf 2 -g 12");
    // Cut inside: the cut starts at an open GOP whose first B pictures refer to what was cut.
    std::string b = m_dir.File("b.mpg");
    std::string error;
    ASSERT_TRUE(MakeWithFfmpeg("-ss 1.2 -i " + kjtest::ShellQuote(longer) +
                                   " -f lavfi -i sine=sample_rate=44100:duration=1.8 -map 0:v "
                                   "-map 1:a -c:v copy -c:a mp2 -b:a 224k -f vcd",
                               b, &error))
        << error;
    // The cut in the middle: what follows it must start where its last kept picture ends.
    std::string out = m_dir.File("out.mpg");
    ConvertRun run = kjtest::Convert(m_module, {a, b, a}, out, ConvertOutput{});
    ASSERT_EQ(run.result, 0) << run.errorText;
    EXPECT_EQ(kjtest::DecodeErrors(out), "");
    int64_t copied = CountPackets(out, "v:0");
    int64_t inputs = 2 * CountPackets(a, "v:0") + CountPackets(b, "v:0");
    EXPECT_LT(copied, inputs);
    EXPECT_GE(copied, inputs - 2);  // at most the two leading B pictures go
    // The pictures left out still count towards the progress, which ends at the inputs' total.
    ASSERT_FALSE(run.progress.empty());
    EXPECT_EQ(run.progress.back().status, 0);
    EXPECT_EQ(run.progress.back().frame, inputs);

    // Every decoded picture's time (the program stream leaves some untimed), in display
    // order: one frame apart all through, so neither seam leaves a gap where the left-out
    // pictures were.
    std::istringstream times(kjtest::Ffprobe(out, "frame=best_effort_timestamp_time", "v:0"));
    std::vector<double> shown;
    for (std::string line; std::getline(times, line);) {
        if (!line.empty() && line != "N/A") {
            shown.push_back(std::stod(line));
        }
    }
    std::sort(shown.begin(), shown.end());
    ASSERT_GT(shown.size(), 100u);
    double widest = 0.0;
    for (size_t i = 1; i < shown.size(); ++i) {
        widest = std::max(widest, shown[i] - shown[i - 1]);
    }
    EXPECT_NEAR(widest, 0.04, 0.002) << "a gap between pictures";
    EXPECT_NEAR(shown.back() + 0.04 - shown.front(), static_cast<double>(copied) * 0.04, 0.002);
}

TEST_F(ConvertBehaviour, AbortEndsWithinAFrameAndLeavesTheOldOutput) {
    std::string a = Vcd(m_dir.File("a.mpg"), 2);
    std::string b = m_dir.File("b.mpg");
    std::string error;
    ASSERT_TRUE(
        MakeWithFfmpeg("-f lavfi -i testsrc=size=320x240:rate=30:duration=2 "
                       "-c:v mpeg1video -f mpeg",
                       b, &error))
        << error;
    std::string out = m_dir.File("out.mpg");
    kjtest::WriteFileBytes(out, std::vector<uint8_t>(kOld.begin(), kOld.end()));
    ConvertOutput settings;
    // Stopped while the odd second file is encoded (the first is copied after it).
    int abortedAfter = -1;
    int calls = 0;
    settings.onProgress = [&](MclHandle conversion, const kjtest::ProgressCall& call) {
        ++calls;
        if (call.status == 3 && call.frame >= 10 && abortedAfter < 0) {
            abortedAfter = calls;
            m_module.api.MclAbort(conversion);
        }
    };
    ConvertRun run = kjtest::Convert(m_module, {a, b}, out, settings);
    EXPECT_NE(run.result, 0);
    ASSERT_GT(abortedAfter, 0);
    for (const kjtest::ProgressCall& call : run.progress) {
        EXPECT_NE(call.status, 0) << "an aborted conversion reported its end";
    }
    // At most the frame in hand when the stop came is finished.
    EXPECT_LE(calls, abortedAfter + 1);
    std::vector<uint8_t> kept = kjtest::ReadFileBytes(out);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), kOld);
    EXPECT_EQ(FilesIn(m_dir.path()), 3u);
}

TEST_F(ConvertBehaviour, AnInputThatCannotBeDecodedIsNamedThroughTheErrorCallback) {
    std::string a = Vcd(m_dir.File("a.mpg"), 1);
    std::string b = m_dir.File("broken.mpg");
    kjtest::WriteFileBytes(b, std::vector<uint8_t>(4096, 0x47));
    std::string out = m_dir.File("out.mpg");
    kjtest::WriteFileBytes(out, std::vector<uint8_t>(kOld.begin(), kOld.end()));
    ConvertRun run = kjtest::Convert(m_module, {a, b}, out, ConvertOutput{});
    EXPECT_NE(run.result, 0);
    EXPECT_EQ(run.errorCalls, 1);
    EXPECT_NE(run.errorText.find(b), std::string::npos) << run.errorText;
    EXPECT_EQ(m_module.api.MclCheckError(), run.result);
    std::vector<uint8_t> kept = kjtest::ReadFileBytes(out);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), kOld);
}

TEST_F(ConvertBehaviour, APathTooLongForTheNameBufferStillReachesTheLibrary) {
    std::string folder = m_dir.path();
    while (folder.size() < 300) {
        folder += "/a-rather-long-folder-name";
    }
    fs::create_directories(folder);
    std::string a = Vcd(folder + "/first.mpg", 1);
    std::string b = Vcd(folder + "/second.mpg", 1);
    std::string out = m_dir.File("out.mpg");
    ConvertRun run = kjtest::Convert(m_module, {a, b}, out, ConvertOutput{});
    ASSERT_EQ(run.result, 0) << run.errorText;
    EXPECT_EQ(CountPackets(out, "v:0"), CountPackets(a, "v:0") + CountPackets(b, "v:0"));
}

TEST_F(ConvertBehaviour, TimeTextIsHoursMinutesSeconds) {
    char text[16] = {};
    m_module.api.MclMakeTimeStr(3725.4, text);
    EXPECT_STREQ(text, "01:02:05");
    m_module.api.MclMakeTimeStr(-5.0, text);
    EXPECT_STREQ(text, "00:00:00");
    m_module.api.MclMakeTimeStr(1e12, text);
    EXPECT_STREQ(text, "99:59:59");
}

TEST_F(ConvertBehaviour, ClockAndHandlesOutsideAConversion) {
    // Unknown handles are refused, not followed.
    EXPECT_EQ(m_module.api.MclListGetFrameCount(12345), 0);
    char name[264] = {};
    EXPECT_EQ(m_module.api.MclListGetName(12345, 0, name), 0);
    EXPECT_NE(m_module.api.MclConvert(12345), 0);
    MclHandle conversion = m_module.api.MclAlloc();
    EXPECT_EQ(m_module.api.MclGetElapsedTime(conversion), 0.0);
    EXPECT_EQ(m_module.api.MclGetRemainingTime(conversion, 100, 0), 0.0);
    // Without an output format there is nothing to write: a reason, not a crash.
    EXPECT_NE(m_module.api.MclConvert(conversion), 0);
    EXPECT_FALSE(m_module.ErrorText().empty());
    m_module.api.MclFree(conversion);
}

}  // namespace
