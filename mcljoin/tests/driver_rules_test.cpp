// The join driver against a conversion library that records its calls and reports a scripted
// progress: the settings it is given, the texts and the every-fifth-frame rule, the stop.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "job/job_state.h"
#include "job/join_report.h"
#include "mcljoin/mcl_api.h"
#include "mcljoin/mcl_join.h"
#include "mcljoin/tests/test_host.h"
#include "mcljoin/video_codec.h"
#include "platform/vfw.h"

namespace {

using kjtest::Row;
using kjtest::TestHost;

struct ProgressStep {
    int32_t status;
    int32_t frame;
    int32_t sample;
};

// The recording library: every call as text, in order.
struct FakeLibrary {
    static inline std::vector<std::string> calls;
    static inline std::vector<ProgressStep> script;
    static inline int32_t totalFrames = 40;
    static inline int32_t convertResult = 0;
    static inline int aborts = 0;
    static inline MclProgressFn progress = nullptr;
    static inline std::vector<std::string> listed;
    static inline std::string errorText;

    static void Log(const std::string& call) { calls.push_back(call); }
    static std::string I(int32_t v) { return std::to_string(v); }

    static void Install() {
        calls.clear();
        listed.clear();
        aborts = 0;
        MclApi = MclApiTable{};
        MclApi.MclAlloc = [] {
            Log("MclAlloc");
            return MclHandle{7};
        };
        MclApi.MclAssignVideoSource = [](MclHandle, MclSourceFn) { Log("AssignVideoSource"); };
        MclApi.MclAssignAudioSource = [](MclHandle, MclSourceFn) { Log("AssignAudioSource"); };
        MclApi.MclAssignAudioFunc = [](MclHandle, MclAudioFuncFn) { Log("AssignAudioFunc"); };
        MclApi.MclAssignProgress = [](MclHandle, MclProgressFn fn) {
            Log("AssignProgress");
            progress = fn;
        };
        MclApi.MclAssignError = [](MclHandle, MclErrorFn fn) {
            Log("AssignError");
            int32_t answer = 0;
            fn(0, 0, &answer);
            Log("error answer " + I(answer));
        };
        MclApi.MclListAlloc = [] {
            Log("MclListAlloc");
            return MclHandle{static_cast<int32_t>(calls.size())};
        };
        MclApi.MclListAdd = [](MclHandle, const char* path, int32_t type, int32_t, int32_t) {
            Log("MclListAdd " + std::string(path) + " " + I(type));
            return int32_t{1};
        };
        MclApi.MclListGetFrameCount = [](MclHandle) { return totalFrames; };
        MclApi.MclListGetSampleCount = [](MclHandle) { return int32_t{88200}; };
        MclApi.MclListGetName = [](MclHandle, int32_t, char*) { return int32_t{0}; };
        MclApi.MclSrcSetFile = [](MclHandle, const char*) { return int32_t{1}; };
        MclApi.MclSrcFinished = [](MclHandle) { return int32_t{0}; };
        MclApi.MclEnableMPEG2 = [] { Log("MclEnableMPEG2"); };
        MclApi.MclSetOutputFile = [](MclHandle, const char* a, const char* b) {
            Log("MclSetOutputFile " + std::string(a) + " " + std::string(b));
        };
        MclApi.MclSetFrameRate = [](MclHandle, double rate) {
            Log("MclSetFrameRate " + std::to_string(rate));
        };
        MclApi.MclSetKeepDuration = [](MclHandle, int32_t v) { Log("MclSetKeepDuration " + I(v)); };
        MclApi.MclForceCompatibility = [](MclHandle, int32_t v) {
            Log("MclForceCompatibility " + I(v));
        };
        MclApi.MclSetResolution = [](MclHandle, int32_t w, int32_t h) {
            Log("MclSetResolution " + I(w) + " " + I(h));
        };
        MclApi.MclSetCodec = [](MclHandle, int32_t s, int32_t c) {
            Log("MclSetCodec " + I(s) + " " + I(c));
        };
        MclApi.MclSetBitRate = [](MclHandle, int32_t s, int32_t k, int32_t a, int32_t b,
                                  int32_t l) {
            Log("MclSetBitRate " + I(s) + " " + I(k) + " " + I(a) + " " + I(b) + " " + I(l));
        };
        MclApi.MclSetAudioFormat = [](MclHandle, int32_t r, int32_t c, int32_t b) {
            Log("MclSetAudioFormat " + I(r) + " " + I(c) + " " + I(b));
        };
        MclApi.MclConvert = [](MclHandle conversion) {
            Log("MclConvert");
            for (const ProgressStep& step : script) {
                progress(conversion, step.status, step.frame, step.sample);
            }
            return convertResult;
        };
        MclApi.MclCheckError = [] {
            Log("MclCheckError");
            return int32_t{0};
        };
        MclApi.MclAbort = [](MclHandle) { ++aborts; };
        MclApi.MclGetElapsedTime = [](MclHandle) { return 3725.0; };
        MclApi.MclGetRemainingTime = [](MclHandle, int32_t, int32_t) { return 65.0; };
        MclApi.MclMakeTimeStr = [](double seconds, char* buffer) {
            auto s = static_cast<int>(seconds);
            std::snprintf(buffer, 16, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
        };
        MclApi.MclListFree = [](MclHandle) { Log("MclListFree"); };
        MclApi.MclFree = [](MclHandle) { Log("MclFree"); };
        MclApi.MclGetErrorText = [](char* buffer, int32_t size) {
            std::snprintf(buffer, static_cast<size_t>(size), "%s", errorText.c_str());
            return static_cast<int32_t>(errorText.size());
        };
    }
};

class DriverRules : public ::testing::Test {
protected:
    void SetUp() override {
        FakeLibrary::Install();
        FakeLibrary::script.clear();
        FakeLibrary::totalFrames = 40;
        FakeLibrary::convertResult = 0;
        FakeLibrary::errorText.clear();
        g_stopRequested = 0;
        g_errorText.clear();
        g_statusText.clear();
        SetCompressorOpen([this](uint32_t fourcc) {
            asked.push_back(FourCCToText(fourcc));
            return available.find(FourCCToText(fourcc)) != std::string::npos;
        });
    }
    void TearDown() override {
        SetCompressorOpen(nullptr);
        MclApi = MclApiTable{};
        g_firstRowKind = kKindAvi;
    }

    int RunMpeg(MediaKind kind) {
        host.inputs = {Row("/m/a.mpg", kind, 352, 288, 25.0f),
                       Row("/m/b.mpg", kind, 352, 288, 25.0f)};
        g_firstRowKind = kind;
        return JoinWithConversionLibrary(host, "/m/out.mpg");
    }
    int RunAvi(uint32_t fourcc) {
        host.inputs = {Row("/v/a.avi", kKindAvi, 320, 240, 29.97f, fourcc),
                       Row("/v/b.avi", kKindAvi, 640, 480, 25.0f)};
        g_firstRowKind = kKindAvi;
        return JoinWithConversionLibrary(host, "/v/out.avi");
    }
    static size_t IndexOf(const std::string& call) {
        for (size_t i = 0; i < FakeLibrary::calls.size(); ++i) {
            if (FakeLibrary::calls[i] == call) {
                return i;
            }
        }
        return std::string::npos;
    }

    TestHost host;
    std::vector<std::string> asked;
    std::string available = "divx mp42";
};

TEST_F(DriverRules, OnlyFramesThatAreMultiplesOfFivePublish) {
    FakeLibrary::script = {{3, 3, 100}, {3, 7, 200}, {3, 10, 300}};
    ASSERT_EQ(RunMpeg(kKindMpeg), 1);
    std::vector<TestHost::Published> published = host.published();
    ASSERT_EQ(published.size(), 1u);
    EXPECT_EQ(published[0].percent, 25);
    EXPECT_EQ(published[0].status, "Video Frame: 10/40, Audio Sample: 300, Time Left: 00:01:05");
}

TEST_F(DriverRules, StatusTexts) {
    FakeLibrary::script = {{1, 0, 0}, {2, 5, 0}, {4, 10, 0}, {0, 40, 0}};
    ASSERT_EQ(RunMpeg(kKindMpeg), 1);
    std::vector<TestHost::Published> published = host.published();
    ASSERT_EQ(published.size(), 4u);
    EXPECT_EQ(published[0].status, "Preparing Joining...");
    EXPECT_EQ(published[1].status, "Reducing colors, done frames: 5");
    EXPECT_EQ(published[2].status, "Unrecognized status code");
    EXPECT_EQ(published[2].percent, 25);
    EXPECT_EQ(published[3].status, "Processing time: 01:02:05");
    EXPECT_EQ(published[3].percent, 100);
}

TEST_F(DriverRules, AZeroTotalPublishesNothing) {
    FakeLibrary::totalFrames = 0;
    FakeLibrary::script = {{1, 0, 0}, {3, 5, 0}, {3, 10, 0}, {0, 0, 0}};
    ASSERT_EQ(RunMpeg(kKindMpeg), 1);
    EXPECT_TRUE(host.published().empty());
}

TEST_F(DriverRules, Mpeg2FirstRowEnablesMpeg2BeforeAnyFileAndUsesCodec2At6000) {
    ASSERT_EQ(RunMpeg(kKindMpeg2), 1);
    size_t enable = IndexOf("MclEnableMPEG2");
    ASSERT_NE(enable, std::string::npos);
    EXPECT_LT(enable, IndexOf("MclListAdd /m/a.mpg 8"));
    EXPECT_NE(IndexOf("MclSetCodec 11 2"), std::string::npos);
    EXPECT_NE(IndexOf("MclSetBitRate 11 6000 -1357902468 -1357902468 1"), std::string::npos);
    EXPECT_NE(IndexOf("MclSetBitRate 18 224 -1357902468 -1357902468 1"), std::string::npos);
    EXPECT_NE(IndexOf("MclSetOutputFile /m/out.mpg /m/out.mpg"), std::string::npos);
}

TEST_F(DriverRules, Mpeg1FirstRowUsesCodec1At1150WithoutMpeg2) {
    ASSERT_EQ(RunMpeg(kKindMpeg), 1);
    EXPECT_EQ(IndexOf("MclEnableMPEG2"), std::string::npos);
    EXPECT_NE(IndexOf("MclSetCodec 11 1"), std::string::npos);
    EXPECT_NE(IndexOf("MclSetBitRate 11 1150 -1357902468 -1357902468 1"), std::string::npos);
}

TEST_F(DriverRules, MpegJoinNeverPumps) {
    FakeLibrary::script = {{1, 0, 0}, {3, 5, 0}, {0, 40, 0}};
    ASSERT_EQ(RunMpeg(kKindMpeg), 1);
    EXPECT_EQ(host.pumps.load(), 0);
}

TEST_F(DriverRules, AviJoinSetsTheFirstRowsSettingsAndPumpsOnEveryCallback) {
    FakeLibrary::script = {{1, 0, 0}, {3, 3, 0}, {3, 5, 0}, {0, 40, 0}};
    available = "XVID divx mp42";
    ASSERT_EQ(RunAvi(mmioFOURCC('X', 'V', 'I', 'D')), 1);
    EXPECT_EQ(host.pumps.load(), 4);
    std::vector<std::string> want = {
        "MclAlloc",
        "AssignVideoSource",
        "AssignAudioSource",
        "AssignAudioFunc",
        "AssignProgress",
        "AssignError",
        "error answer 2",
        "MclListAlloc",
        "MclListAlloc",
        "MclListAdd /v/a.avi 8",
        "MclListAdd /v/a.avi 16",
        "MclListAdd /v/b.avi 8",
        "MclListAdd /v/b.avi 16",
        "MclSetOutputFile /v/out.avi /v/out.avi",
        "MclSetFrameRate " + std::to_string(static_cast<double>(29.97f)),
        "MclSetKeepDuration 1",
        "MclSetResolution 320 240",
        "MclSetCodec 6 " + std::to_string(static_cast<int32_t>(mmioFOURCC('X', 'V', 'I', 'D'))),
        "MclSetBitRate 6 1150 -1357902468 -1357902468 1",
        "MclSetAudioFormat 44100 2 16",
        "MclSetBitRate 18 224 -1357902468 -1357902468 1",
        "MclForceCompatibility 1",
        "MclConvert",
        "MclCheckError",
        "MclListFree",
        "MclListFree",
        "MclFree"};
    EXPECT_EQ(FakeLibrary::calls, want);
}

TEST_F(DriverRules, FindVideoCodecTriesTheOwnFourccThenDivxThenMp42) {
    available = "mp42";
    EXPECT_EQ(FindVideoCodec(mmioFOURCC('D', 'X', '5', '0')), mmioFOURCC('m', 'p', '4', '2'));
    EXPECT_EQ(asked, (std::vector<std::string>{"DX50", "divx", "mp42"}));
    asked.clear();
    available = "DX50 divx";
    EXPECT_EQ(FindVideoCodec(mmioFOURCC('D', 'X', '5', '0')), mmioFOURCC('D', 'X', '5', '0'));
    EXPECT_EQ(asked, (std::vector<std::string>{"DX50"}));
    EXPECT_EQ(FourCCToText(mmioFOURCC('d', 'i', 'v', 'x')), "divx");
}

TEST_F(DriverRules, NoCompressorAtAllNamesTheFourccAndLeavesTheLibraryAlone) {
    available = "";
    EXPECT_EQ(RunAvi(mmioFOURCC('X', 'V', 'I', 'D')), 0);
    EXPECT_EQ(g_errorText, "We can't find corresponding video compress codec for XVID\n");
    EXPECT_TRUE(FakeLibrary::calls.empty());
}

TEST_F(DriverRules, AStopAbortsAtTheNextCallbackWithTheUsersReason) {
    FakeLibrary::script = {{1, 0, 0}, {3, 1, 0}, {3, 2, 0}};
    FakeLibrary::convertResult = -1;
    host.onPump = [] { g_stopRequested = 1; };  // the user presses stop while the window pumps
    EXPECT_EQ(RunAvi(mmioFOURCC('d', 'i', 'v', 'x')), 0);
    EXPECT_EQ(FakeLibrary::aborts, 3);
    EXPECT_EQ(g_errorText, "Abort by user request");
}

TEST_F(DriverRules, AFailedConversionGivesTheLibrarysReason) {
    FakeLibrary::convertResult = -22;
    FakeLibrary::errorText = "The video of /m/b.mpg cannot be decoded: no picture came out of it.";
    EXPECT_EQ(RunMpeg(kKindMpeg), 0);
    EXPECT_EQ(g_errorText, FakeLibrary::errorText);
}

TEST_F(DriverRules, TheLibrarysTextsNameTheUsersOutputNotTheJobsUnnamedFile) {
    FakeLibrary::convertResult = -22;
    FakeLibrary::errorText =
        "Cannot write /proc/self/fd/9: Invalid argument (the muxer said so "
        "about /proc/self/fd/9)";
    g_outputPath = "/m/joined.mpg";
    host.inputs = {Row("/m/a.mpg", kKindMpeg, 352, 288, 25.0f),
                   Row("/m/b.mpg", kKindMpeg, 352, 288, 25.0f)};
    g_firstRowKind = kKindMpeg;
    EXPECT_EQ(JoinWithConversionLibrary(host, "/proc/self/fd/9"), 0);
    EXPECT_EQ(g_errorText,
              "Cannot write /m/joined.mpg: Invalid argument (the muxer said so about "
              "/m/joined.mpg)");
    g_outputPath.clear();
}

TEST_F(DriverRules, WhatTheLibraryLeftOutBecomesEachInputsWarnings) {
    static const std::vector<std::string> left = {
        "",
        "b.mpg is cut short: its first 11.3 s were joined.\nb.mpg: 2 damaged frames were "
        "skipped.\n"};
    MclApi.MclGetInputReport = [](MclHandle, int32_t input, double* start, double* duration,
                                  char* buffer, int32_t size) {
        if (input < 0 || static_cast<size_t>(input) >= left.size()) {
            return 0;
        }
        *start = 2.5 * input;
        *duration = 2.5;
        const std::string& text = left.at(static_cast<size_t>(input));
        std::snprintf(buffer, static_cast<size_t>(size), "%s", text.c_str());
        return 1;
    };
    ResetInputReports(2);
    EXPECT_EQ(RunMpeg(kKindMpeg), 1);
    std::vector<InputReport> reports = InputReports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_TRUE(reports[0].warnings.empty());
    EXPECT_DOUBLE_EQ(reports[1].startSeconds, 2.5);
    EXPECT_DOUBLE_EQ(reports[1].durationSeconds, 2.5);
    EXPECT_EQ(reports[1].warnings,
              (std::vector<std::string>{"b.mpg is cut short: its first 11.3 s were joined.",
                                        "b.mpg: 2 damaged frames were skipped."}));

    // A failed join reports nothing of the kind, and a library without the entry point neither.
    ResetInputReports(2);
    FakeLibrary::convertResult = -1;
    EXPECT_EQ(RunMpeg(kKindMpeg), 0);
    EXPECT_TRUE(InputWarnings().empty());
    FakeLibrary::convertResult = 0;
    MclApi.MclGetInputReport = nullptr;
    EXPECT_EQ(RunMpeg(kKindMpeg), 1);
    EXPECT_TRUE(InputWarnings().empty());
}

TEST_F(DriverRules, AMissingLibraryIsReportedWithoutACall) {
    MclApi = MclApiTable{};
    EXPECT_EQ(RunMpeg(kKindMpeg), 0);
    EXPECT_NE(g_errorText.find("libzivuvore.so"), std::string::npos);
}

}  // namespace
