// The Real Media join through the engine module, as the join job runs it: progress and texts,
// refusals and stops reported as failures with the engine's account, and the module missing
// or incomplete.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>

#include "job/job_state.h"
#include "job/join_host.h"
#include "platform/module.h"
#include "rmjoin/rm_join.h"
#include "rmjoin/rm_progress_sink.h"
#include "rmjoin/rm_sdk.h"
#include "tests/support/media_fixtures.h"

namespace {

class RecordingHost : public JoinHost {
public:
    RecordingHost(const std::vector<std::string>& paths, const Module* module) : m_module(module) {
        for (const std::string& p : paths) {
            JoinInput in;
            in.path = p;
            m_inputs.push_back(in);
        }
    }
    const std::vector<JoinInput>& Inputs() const override { return m_inputs; }
    bool WmEntryPointsLoaded() const override { return false; }
    const Module* RealMediaModule() const override { return m_module; }
    void PostJoinPercent(int) override {}
    void PostJoinProgress(int) override {}
    void SetStatusText(const std::string& text) override { texts.push_back(text); }
    void SetProgress(int percent) override {
        progress.push_back(percent);
        if (stopAt >= 0 && percent >= stopAt) {
            g_stopRequested = 1;
        }
    }
    void PumpMessages() override { ++pumps; }
    void MessageBox(const std::string& text) override { boxes.push_back(text); }
    std::string ResourceString(int) const override { return {}; }

    std::vector<std::string> texts;
    std::vector<int> progress;
    std::vector<std::string> boxes;
    int pumps = 0;
    int stopAt = -1;

private:
    const Module* m_module;
    std::vector<JoinInput> m_inputs;
};

class RmJoin : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new kjtest::TempDir();
        const std::string src = "-f lavfi -i testsrc=size=176x144:rate=15 -f lavfi -i sine -t 1.4 ";
        ASSERT_TRUE(kjtest::MakeWithFfmpeg(src + "-c:v rv10 -c:a ac3", s_dir->File("a.rm")));
        ASSERT_TRUE(kjtest::MakeWithFfmpeg(src + "-c:v rv10 -c:a ac3", s_dir->File("b.rm")));
        ASSERT_TRUE(
            kjtest::MakeWithFfmpeg(src + "-c:v rv10 -s 352x288 -c:a ac3", s_dir->File("big.rm")));
        SetModuleFolder(kjtest::BinDir());
        s_module = LoadRealMediaSdk().release();
    }
    static void TearDownTestSuite() {
        delete s_module;
        delete s_dir;
    }
    void SetUp() override {
        g_stopRequested = 0;
        g_errorText.clear();
        ASSERT_NE(s_module, nullptr) << "the rmto3260 module was not built";
    }
    static std::string File(const char* name) { return s_dir->File(name); }
    static kjtest::TempDir* s_dir;
    static Module* s_module;
};
kjtest::TempDir* RmJoin::s_dir = nullptr;
Module* RmJoin::s_module = nullptr;

TEST_F(RmJoin, JoinsThroughTheModuleWithProgressAndTexts) {
    EXPECT_EQ(s_module->path(), kjtest::BinDir() + "/producer/tools/librmto3260.so");
    RecordingHost host({File("a.rm"), File("b.rm")}, s_module);
    const std::string out = File("ab.rm");
    ASSERT_EQ(JoinRealMediaFiles(host, out), 1) << g_errorText;
    EXPECT_EQ(kjtest::CountPackets(out, "v:0"), kjtest::CountPackets(File("a.rm"), "v:0") +
                                                    kjtest::CountPackets(File("b.rm"), "v:0"));
    EXPECT_EQ(kjtest::DecodeErrors(out), "");
    ASSERT_FALSE(host.texts.empty());
    EXPECT_EQ(host.texts.front(), "Starting...");
    EXPECT_EQ(host.texts.back(), "Mission Completed...");
    EXPECT_NE(std::find(host.texts.begin(), host.texts.end(), "51 of the video has been joined..."),
              host.texts.end());
    // 0 at the start, every third percent, 100 at the end.
    std::vector<int> want = {0};
    for (int p = 0; p <= 100; p += 3) {
        want.push_back(p);
    }
    want.push_back(100);
    EXPECT_EQ(host.progress, want);
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(RmJoin, AFailedRunIsAFailureWithTheEnginesAccount) {
    RecordingHost host({File("a.rm"), File("big.rm")}, s_module);
    const std::string out = File("never.rm");
    EXPECT_EQ(JoinRealMediaFiles(host, out), 0);
    EXPECT_EQ(g_errorText,
              "The video stream of the source files are mismatch: in big.rm the picture is "
              "352x288, not 176x144 as in a.rm.");
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(RmJoin, AStopEndsTheRunAndLeavesNoOutput) {
    RecordingHost host({File("a.rm"), File("b.rm")}, s_module);
    host.stopAt = 30;
    const std::string out = File("stopped.rm");
    EXPECT_EQ(JoinRealMediaFiles(host, out), 0);
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(host.progress.back(), 30);
    EXPECT_EQ(std::count(host.texts.begin(), host.texts.end(), "Mission Completed..."), 0);
}

TEST_F(RmJoin, AMissingOrIncompleteModuleIsReported) {
    RecordingHost none({File("a.rm"), File("b.rm")}, nullptr);
    EXPECT_EQ(JoinRealMediaFiles(none, File("x.rm")), 0);
    EXPECT_EQ(g_errorText, "Failed to load rm related dll.");
    EXPECT_EQ(none.boxes, std::vector<std::string>{"Failed to load rm related dll."});

    // The start-up tests' stand-in exports "SetDLLAccessPath" only.
    auto partial = Module::LoadFile(kjtest::BinDir() + "/../tests/modules/rm/librmto3260.so");
    ASSERT_NE(partial, nullptr);
    RecordingHost host({File("a.rm"), File("b.rm")}, partial.get());
    EXPECT_EQ(JoinRealMediaFiles(host, File("x.rm")), 0);
    EXPECT_EQ(g_errorText.rfind("The Real Media engine could not be started", 0), 0u)
        << g_errorText;
    EXPECT_FALSE(std::filesystem::exists(File("x.rm")));
}

TEST(RmErrorText, FormatsTheCodeAndItsDescription) {
    EXPECT_EQ(RmErrorText(MakeHresult(0x800403C8u)),
              "error code:->800403C8; The video stream of the source files are mismatch");
    EXPECT_EQ(RmErrorText(MakeHresult(0x800403C7u)),
              "error code:->800403C7; The audio stream of the source files are mismatch");
    EXPECT_EQ(RmErrorText(MakeHresult(0x800403D4u)),
              "error code:->800403D4; There is no data in the input file.");
    EXPECT_EQ(RmErrorText(MakeHresult(0x8004000Fu)),
              "error code:->8004000F; Unsupport audio format");
    EXPECT_EQ(RmErrorText(MakeHresult(0x80001234u)), "error code:->80001234; Unknown error");
    EXPECT_EQ(RmErrorText(MakeHresult(0x800403DBu)), "error code:->800403DB; Unknown error");
}

TEST(RmProgressSink, AnswersItsIdentityAndIsNeverDestroyedByRelease) {
    RecordingHost host({}, nullptr);
    RmProgressSink sink(host);
    EXPECT_EQ(sink.ReferencesForTest(), 1u);
    void* p = nullptr;
    EXPECT_EQ(sink.QueryInterface(IID_IRMAEditProgressSink, &p), S_OK);
    EXPECT_EQ(p, static_cast<IRMAEditProgressSink*>(&sink));
    EXPECT_EQ(sink.QueryInterface(IID_IUnknown, &p), S_OK);
    EXPECT_EQ(sink.QueryInterface(IID_IRMAEdit, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(sink.ReferencesForTest(), 3u);
    EXPECT_EQ(sink.Release(), 2u);
    EXPECT_EQ(sink.Release(), 1u);
    EXPECT_EQ(sink.Release(), 0u);  // still there
    g_stopRequested = 0;
    EXPECT_EQ(sink.OnStarted(), S_OK);
    EXPECT_EQ(sink.OnProgress(4), S_OK);
    EXPECT_EQ(sink.OnProgress(6), S_OK);
    g_stopRequested = 1;
    EXPECT_EQ(sink.OnProgress(7), E_ABORT);
    g_stopRequested = 0;
    EXPECT_EQ(host.progress, (std::vector<int>{0, 6}));
    EXPECT_EQ(host.texts,
              (std::vector<std::string>{"Starting...", "6 of the video has been joined..."}));
}

}  // namespace
