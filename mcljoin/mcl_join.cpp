#include "mcljoin/mcl_join.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "job/job_state.h"
#include "job/join_host.h"
#include "job/join_report.h"
#include "mcljoin/mcl_api.h"
#include "mcljoin/mcl_callbacks.h"
#include "mcljoin/video_codec.h"

namespace {

// Settings of the two joins.
constexpr int32_t kSelectorAviVideo = 6;
constexpr int32_t kSelectorMpegVideo = 11;
constexpr int32_t kSelectorAudio = 18;
constexpr int32_t kMpeg1Codec = 1;
constexpr int32_t kMpeg2Codec = 2;
constexpr int32_t kVideoKbps = 1150;
constexpr int32_t kMpeg2VideoKbps = 6000;
constexpr int32_t kAudioKbps = 224;
constexpr int32_t kListVideo = 8;
constexpr int32_t kListAudio = 16;
constexpr int32_t kAudioRate = 44100;
constexpr int32_t kAudioChannels = 2;
constexpr int32_t kAudioBits = 16;
constexpr size_t kErrorTextBytes = 2048;

// Every entry point a join calls (the file scan's is not among them).
bool LibraryComplete() {
    return MclApi.MclAlloc != nullptr && MclApi.MclAssignVideoSource != nullptr &&
           MclApi.MclAssignAudioSource != nullptr && MclApi.MclAssignAudioFunc != nullptr &&
           MclApi.MclAssignProgress != nullptr && MclApi.MclAssignError != nullptr &&
           MclApi.MclListAlloc != nullptr && MclApi.MclListAdd != nullptr &&
           MclApi.MclListGetFrameCount != nullptr && MclApi.MclListGetSampleCount != nullptr &&
           MclApi.MclListGetName != nullptr && MclApi.MclSrcSetFile != nullptr &&
           MclApi.MclSrcFinished != nullptr && MclApi.MclEnableMPEG2 != nullptr &&
           MclApi.MclSetOutputFile != nullptr && MclApi.MclSetFrameRate != nullptr &&
           MclApi.MclSetKeepDuration != nullptr && MclApi.MclForceCompatibility != nullptr &&
           MclApi.MclSetResolution != nullptr && MclApi.MclSetCodec != nullptr &&
           MclApi.MclSetBitRate != nullptr && MclApi.MclSetAudioFormat != nullptr &&
           MclApi.MclConvert != nullptr && MclApi.MclCheckError != nullptr &&
           MclApi.MclAbort != nullptr && MclApi.MclGetElapsedTime != nullptr &&
           MclApi.MclGetRemainingTime != nullptr && MclApi.MclMakeTimeStr != nullptr &&
           MclApi.MclListFree != nullptr && MclApi.MclFree != nullptr;
}

void AssignCallbacks(MclHandle conversion) {
    MclApi.MclAssignVideoSource(conversion, MclVideoSourceCallback);
    MclApi.MclAssignAudioSource(conversion, MclAudioSourceCallback);
    MclApi.MclAssignAudioFunc(conversion, MclAudioFuncCallback);
    MclApi.MclAssignProgress(conversion, MclProgressCallback);
    MclApi.MclAssignError(conversion, MclErrorCallback);
}

void FillLists(const JoinHost& host) {
    for (const JoinInput& row : host.Inputs()) {
        MclApi.MclListAdd(g_mclJoin.videoList, row.info.m_strPath.c_str(), kListVideo, 0, 0);
        MclApi.MclListAdd(g_mclJoin.audioList, row.info.m_strPath.c_str(), kListAudio, 0, 0);
    }
    g_mclJoin.totalFrames = MclApi.MclListGetFrameCount(g_mclJoin.videoList);
    g_mclJoin.totalSamples = MclApi.MclListGetSampleCount(g_mclJoin.audioList);
}

// `text` with every `from` replaced by `to`.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    if (from.empty() || from == to) {
        return text;
    }
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// Hands what the library knows of each input (its place in the output, what was left out of
// it) to the job's report.
void ReportInputs(size_t inputCount) {
    if (MclApi.MclGetInputReport == nullptr) {
        return;
    }
    for (size_t i = 0; i < inputCount; ++i) {
        double start = -1;
        double duration = -1;
        std::array<char, kErrorTextBytes> warning{};
        if (MclApi.MclGetInputReport(g_mclJoin.conversion, static_cast<int32_t>(i), &start,
                                     &duration, warning.data(),
                                     static_cast<int32_t>(warning.size())) == 0) {
            continue;
        }
        if (start >= 0 && duration >= 0) {
            ReportInputTiming(i, start, duration);
        }
        if (MclApi.MclWasInputEncoded != nullptr &&
            MclApi.MclWasInputEncoded(g_mclJoin.conversion, static_cast<int32_t>(i)) == 1) {
            ReportInputEncoded(i);
        }
        // Whole sentences, each ended by a line feed.
        std::string all(warning.data());
        size_t begin = 0;
        for (size_t end = all.find('\n'); begin < all.size(); end = all.find('\n', begin)) {
            end = end == std::string::npos ? all.size() : end;
            if (end > begin) {
                ReportInputWarning(i, all.substr(begin, end - begin));
            }
            begin = end + 1;
        }
    }
}

// Cleans up after the set-up conversion has run, and gives the join's result. The library
// wrote to `outputPath`, which may be a name only the job knows (an unnamed file's
// /proc/self/fd/N): its texts name the user's output instead.
int FreeAfterConvert(int32_t result, const std::string& outputPath) {
    MclApi.MclCheckError();
    if (result != 0 && g_stopRequested == 0) {
        // The library knows why; without its words the failure dialog would say nothing.
        std::array<char, kErrorTextBytes> text{};
        if (MclApi.MclGetErrorText != nullptr) {
            MclApi.MclGetErrorText(text.data(), static_cast<int32_t>(text.size()));
        }
        g_errorText = text[0] != '\0' ? std::string(text.data())
                                      : "The conversion library could not join the files (error " +
                                            std::to_string(result) + ").";
        if (!g_outputPath.empty()) {
            g_errorText = ReplaceAll(g_errorText, outputPath, g_outputPath);
        }
    }
    MclApi.MclListFree(g_mclJoin.videoList);
    MclApi.MclListFree(g_mclJoin.audioList);
    MclApi.MclFree(g_mclJoin.conversion);
    g_mclJoin.host = nullptr;
    return result == 0 ? 1 : 0;
}

// Set while a list is only checked: the set-up conversion is asked for its plan, not run.
MclPlanCheck* g_planCheck = nullptr;

// The plan of the set-up conversion instead of its run; 1 when the library gave one.
int PlanAndFree() {
    MclPlanCheck& check = *g_planCheck;
    size_t count = g_mclJoin.host->Inputs().size();
    check.inputs.assign(count, MclPlanInput{});
    int32_t result = MclApi.MclPlanJoin(g_mclJoin.conversion, check.inputs.data(),
                                        static_cast<int32_t>(count), &check.result);
    if (result < 0) {
        std::array<char, kErrorTextBytes> text{};
        if (MclApi.MclGetErrorText != nullptr) {
            MclApi.MclGetErrorText(text.data(), static_cast<int32_t>(text.size()));
        }
        g_errorText = text.data();
    }
    check.inputs.resize(result < 0 ? 0 : std::min(count, static_cast<size_t>(result)));
    MclApi.MclListFree(g_mclJoin.videoList);
    MclApi.MclListFree(g_mclJoin.audioList);
    MclApi.MclFree(g_mclJoin.conversion);
    g_mclJoin.host = nullptr;
    return result < 0 ? 0 : 1;
}

int FinishConversion(const std::string& outputPath) {
    if (g_planCheck != nullptr) {
        return PlanAndFree();
    }
    int32_t result = MclApi.MclConvert(g_mclJoin.conversion);
    if (result == 0) {
        ReportInputs(g_mclJoin.host->Inputs().size());
    }
    return FreeAfterConvert(result, outputPath);
}

}  // namespace

int PlanConversionJoin(JoinHost& host, MclPlanCheck* check) {
    if (!LibraryComplete() || MclApi.MclPlanJoin == nullptr || host.Inputs().empty()) {
        return 0;
    }
    g_planCheck = check;
    int result = host.Inputs().front().info.m_nKind == kKindAvi ? JoinAvi(host, std::string())
                                                                : JoinMpeg(host, std::string());
    g_planCheck = nullptr;
    return result;
}

int JoinAvi(JoinHost& host, const std::string& outputPath) {
    const MediaFileInfo& first = host.Inputs().front().info;
    uint32_t codec = FindVideoCodec(first.m_dwFourcc);
    if (codec == 0) {
        g_errorText = "We can't find corresponding video compress codec for " +
                      FourCCToText(first.m_dwFourcc) + "\n";
        return 0;
    }
    g_mclJoin = MclJoinState{};
    g_mclJoin.host = &host;
    g_mclJoin.conversion = MclApi.MclAlloc();
    AssignCallbacks(g_mclJoin.conversion);
    g_mclJoin.videoList = MclApi.MclListAlloc();
    g_mclJoin.audioList = MclApi.MclListAlloc();
    int32_t width = first.m_nWidth;
    int32_t height = first.m_nHeight;
    FillLists(host);
    MclHandle c = g_mclJoin.conversion;
    MclApi.MclSetOutputFile(c, outputPath.c_str(), outputPath.c_str());
    MclApi.MclSetFrameRate(c, static_cast<double>(first.m_fFrameRate));
    MclApi.MclSetKeepDuration(c, 1);
    MclApi.MclSetResolution(c, width, height);
    MclApi.MclSetCodec(c, kSelectorAviVideo, static_cast<int32_t>(codec));
    MclApi.MclSetBitRate(c, kSelectorAviVideo, kVideoKbps, kMclUnset, kMclUnset, 1);
    MclApi.MclSetAudioFormat(c, kAudioRate, kAudioChannels, kAudioBits);
    MclApi.MclSetBitRate(c, kSelectorAudio, kAudioKbps, kMclUnset, kMclUnset, 1);
    MclApi.MclForceCompatibility(c, 1);
    return FinishConversion(outputPath);
}

int JoinMpeg(JoinHost& host, const std::string& outputPath) {
    const MediaFileInfo& first = host.Inputs().front().info;
    g_mclJoin = MclJoinState{};
    g_mclJoin.host = &host;
    g_mclJoin.conversion = MclApi.MclAlloc();
    AssignCallbacks(g_mclJoin.conversion);
    g_mclJoin.videoList = MclApi.MclListAlloc();
    g_mclJoin.audioList = MclApi.MclListAlloc();
    if (first.m_nKind == kKindMpeg2) {
        MclApi.MclEnableMPEG2();
    }
    int32_t width = first.m_nWidth;
    int32_t height = first.m_nHeight;
    FillLists(host);
    MclHandle c = g_mclJoin.conversion;
    if (first.m_nKind == kKindMpeg) {
        MclApi.MclSetCodec(c, kSelectorMpegVideo, kMpeg1Codec);
        MclApi.MclSetBitRate(c, kSelectorMpegVideo, kVideoKbps, kMclUnset, kMclUnset, 1);
    } else {
        MclApi.MclSetCodec(c, kSelectorMpegVideo, kMpeg2Codec);
        MclApi.MclSetBitRate(c, kSelectorMpegVideo, kMpeg2VideoKbps, kMclUnset, kMclUnset, 1);
    }
    MclApi.MclSetFrameRate(c, static_cast<double>(first.m_fFrameRate));
    MclApi.MclSetOutputFile(c, outputPath.c_str(), outputPath.c_str());
    MclApi.MclSetKeepDuration(c, 1);
    MclApi.MclSetResolution(c, width, height);
    MclApi.MclSetAudioFormat(c, kAudioRate, kAudioChannels, kAudioBits);
    MclApi.MclSetBitRate(c, kSelectorAudio, kAudioKbps, kMclUnset, kMclUnset, 1);
    MclApi.MclForceCompatibility(c, 1);
    return FinishConversion(outputPath);
}

int JoinWithConversionLibrary(JoinHost& host, const std::string& outputPath) {
    if (!LibraryComplete()) {
        g_errorText =
            "AVI and MPEG files cannot be joined: the conversion engine (libzivuvore.so, next to "
            "the program) is missing or incomplete. Reinstall Kelvane Joiner, then try again.";
        return 0;
    }
    if (host.Inputs().empty()) {
        g_errorText = "There are no files to join.";
        return 0;
    }
    return host.Inputs().front().info.m_nKind == kKindAvi ? JoinAvi(host, outputPath)
                                                          : JoinMpeg(host, outputPath);
}
