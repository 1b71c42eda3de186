// The join driver on the real conversion module, through the job core's output handling: a
// codec fallback, a stop in each kind of job, and a file that cannot be decoded.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "job/job_state.h"
#include "job/join_job.h"
#include "mcljoin/mcl_api.h"
#include "mcljoin/mcl_callbacks.h"
#include "mcljoin/mcl_join.h"
#include "mcljoin/tests/test_host.h"
#include "mcljoin/video_codec.h"
#include "platform/module.h"
#include "platform/vfw.h"
#include "tests/support/media_fixtures.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
using kjtest::Row;
using kjtest::TestHost;

constexpr auto kStopWithin = std::chrono::seconds(1);
const std::string kOldOutput = "an earlier file at the output path";

class DriverJoin : public ::testing::Test {
protected:
    void SetUp() override {
        m_module = Module::LoadFile(kjtest::BinDir() + "/" + ModuleFileName("zivuvore"));
        if (m_module == nullptr) {
            GTEST_SKIP() << "libzivuvore.so was not built next to the tests";
        }
        LoadMclApi(m_module.get());
        g_stopRequested = 0;
        g_errorText.clear();
        // Stands in for the compressor manager: only "divx" opens.
        SetCompressorOpen([](uint32_t f) { return f == mmioFOURCC('d', 'i', 'v', 'x'); });
    }
    void TearDown() override {
        SetCompressorOpen(nullptr);
        LoadMclApi(nullptr);
        g_stopRequested = 0;
    }

    std::string Make(const std::string& name, const std::string& args) {
        std::string path = m_dir.File(name);
        std::string error;
        EXPECT_TRUE(kjtest::MakeWithFfmpeg(args, path, &error)) << error;
        return path;
    }
    static std::string Clip(const std::string& size, int rate, const std::string& codec) {
        return "-f lavfi -i testsrc=size=" + size + ":rate=" + std::to_string(rate) +
               ":duration=3 -f lavfi -i sine=frequency=440:sample_rate=44100:duration=3 " + codec;
    }
    std::string OldOutput(const std::string& name) {
        std::string path = m_dir.File(name);
        kjtest::WriteFileBytes(path, std::vector<uint8_t>(kOldOutput.begin(), kOldOutput.end()));
        return path;
    }
    // Nothing but the inputs and the earlier output is left in the folder.
    void ExpectNoLeftovers(size_t files) {
        size_t count = 0;
        for (const auto& entry : fs::directory_iterator(m_dir.path())) {
            (void)entry;
            ++count;
        }
        EXPECT_EQ(count, files) << "a partial output was left behind";
    }
    static void ExpectOldOutput(const std::string& path) {
        std::vector<uint8_t> bytes = kjtest::ReadFileBytes(path);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), kOldOutput);
    }
    int Run(const std::string& output) {
        return JoinOntoOutput(output, [this](const std::string& temp) {
            return JoinWithConversionLibrary(host, temp);
        });
    }

    std::unique_ptr<Module> m_module;
    kjtest::TempDir m_dir;
    TestHost host;
};

TEST_F(DriverJoin, AviWhoseCompressorIsMissingJoinsWithDivx) {
    std::string a = Make("a.avi", Clip("320x240", 25, "-c:v mpeg4 -vtag DX50 -c:a mp3 -f avi"));
    std::string b = Make("b.avi", Clip("320x240", 25, "-c:v mpeg4 -vtag DX50 -c:a mp3 -f avi"));
    host.inputs = {Row(a, kKindAvi, 320, 240, 25.0f, mmioFOURCC('D', 'X', '5', '0')),
                   Row(b, kKindAvi, 320, 240, 25.0f, mmioFOURCC('D', 'X', '5', '0'))};
    g_firstRowKind = kKindAvi;
    std::string out = m_dir.File("out.avi");
    ASSERT_EQ(Run(out), 1) << g_errorText;
    EXPECT_EQ(kjtest::Ffprobe(out, "stream=codec_tag_string", "v:0"), "divx");
    EXPECT_EQ(kjtest::Ffprobe(out, "stream=codec_name", "a:0"), "mp3");
    EXPECT_EQ(kjtest::DecodeErrors(out), "");
    EXPECT_EQ(kjtest::CountPackets(out, "v:0"),
              kjtest::CountPackets(a, "v:0") + kjtest::CountPackets(b, "v:0"));
    // The percentage reached the end of the list, as far as publishing on every fifth frame
    // lets it (an empty index entry that ffmpeg writes makes a total of other than 100).
    ASSERT_FALSE(host.published().empty());
    int32_t total = g_mclJoin.totalFrames;
    ASSERT_GT(total, 0);
    EXPECT_EQ(host.published().back().percent, total / 5 * 5 * 100 / total);
}

TEST_F(DriverJoin, AStopDuringAnAviJobEndsWithinASecondAndLeavesNoOutput) {
    std::string a = Make("a.avi", Clip("320x240", 25, "-c:v mpeg4 -vtag DX50 -c:a mp3 -f avi"));
    std::string b = Make("b.avi", Clip("352x288", 30, "-c:v msmpeg4v2 -c:a mp3 -f avi"));
    std::string out = OldOutput("out.avi");
    host.inputs = {Row(a, kKindAvi, 320, 240, 25.0f, mmioFOURCC('D', 'X', '5', '0')),
                   Row(b, kKindAvi, 352, 288, 30.0f)};
    g_firstRowKind = kKindAvi;
    Clock::time_point stopped{};
    host.onPump = [&] {
        // The user presses stop while the window pumps, a little into the job.
        if (host.pumps == 30) {
            g_stopRequested = 1;
            stopped = Clock::now();
        }
    };
    EXPECT_EQ(Run(out), 0);
    EXPECT_LT(Clock::now() - stopped, kStopWithin);
    EXPECT_EQ(g_errorText, "Abort by user request");
    ExpectOldOutput(out);
    ExpectNoLeftovers(3);
}

TEST_F(DriverJoin, AStopDuringAnMpegJobOnItsWorkerEndsWithinASecondAndLeavesNoOutput) {
    std::string a = Make("a.mpg", Clip("352x288", 25, "-target pal-vcd"));
    std::string b = Make("b.mpg", Clip("320x240", 30, "-c:v mpeg1video -c:a mp2 -f mpeg"));
    std::string out = OldOutput("out.mpg");
    host.inputs = {Row(a, kKindMpeg, 352, 288, 25.0f), Row(b, kKindMpeg, 320, 240, 30.0f)};
    g_firstRowKind = kKindMpeg;
    int result = -1;
    std::thread worker([&] { result = Run(out); });
    Clock::time_point waitUntil = Clock::now() + std::chrono::seconds(30);
    while (host.published().size() < 3 && Clock::now() < waitUntil) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_GE(host.published().size(), 3u) << "the job did not get going";
    Clock::time_point stopped = Clock::now();
    g_stopRequested = 1;
    worker.join();
    EXPECT_LT(Clock::now() - stopped, kStopWithin);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(host.pumps.load(), 0);
    ExpectOldOutput(out);
    ExpectNoLeftovers(3);
}

TEST_F(DriverJoin, AFileThatCannotBeReadIsNamedAndTheOldOutputKept) {
    std::string a = Make("a.mpg", Clip("352x288", 25, "-target pal-vcd"));
    std::string b = m_dir.File("b.mpg");
    std::vector<uint8_t> header = kjtest::ReadFileBytes(a);
    header.resize(2048);  // a pack header, then nothing a demuxer can use
    std::fill(header.begin() + 64, header.end(), 0xFF);
    kjtest::WriteFileBytes(b, header);
    std::string out = OldOutput("out.mpg");
    host.inputs = {Row(a, kKindMpeg, 352, 288, 25.0f), Row(b, kKindMpeg, 352, 288, 25.0f)};
    g_firstRowKind = kKindMpeg;
    EXPECT_EQ(Run(out), 0);
    EXPECT_NE(g_errorText.find(b), std::string::npos) << g_errorText;
    ExpectOldOutput(out);
    ExpectNoLeftovers(3);
}

}  // namespace
