#include "mcljoin/mcl_callbacks.h"

#include <array>
#include <cstdio>
#include <mutex>
#include <string>

#include "job/job_state.h"
#include "job/join_host.h"

MclJoinState g_mclJoin;

namespace {

constexpr size_t kNameBytes = 264;
constexpr size_t kTimeTextBytes = 16;
constexpr int32_t kPublishEvery = 5;  // frames between two status updates
constexpr int32_t kErrorAnswer = 2;

int32_t SourceFrom(MclHandle list, MclHandle source, int32_t index) {
    std::array<char, kNameBytes> name{};
    if (MclApi.MclListGetName(list, index, name.data()) != 0) {
        return MclApi.MclSrcSetFile(source, name.data());
    }
    return MclApi.MclSrcFinished(source);
}

std::string TimeText(double seconds) {
    std::array<char, kTimeTextBytes> text{};
    MclApi.MclMakeTimeStr(seconds, text.data());
    text.back() = '\0';
    return text.data();
}

template <typename... Args>
std::string Format(const char* format, Args... args) {
    int size = std::snprintf(nullptr, 0, format, args...);
    std::string text(static_cast<size_t>(std::max(size, 0)), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

}  // namespace

extern "C" {

int32_t MclVideoSourceCallback(MclHandle source, int32_t index) {
    return SourceFrom(g_mclJoin.videoList, source, index);
}

int32_t MclAudioSourceCallback(MclHandle source, int32_t index) {
    return SourceFrom(g_mclJoin.audioList, source, index);
}

void MclAudioFuncCallback(int32_t, int32_t, int32_t) {}

void MclProgressCallback(MclHandle conversion, int32_t status, int32_t frame, int32_t sample) {
    std::string text;
    switch (status) {
        case 1:
            text = "Preparing Joining...";
            break;
        case 2:
            text = Format("Reducing colors, done frames: %d", frame);
            break;
        case 3: {
            double remaining = MclApi.MclGetRemainingTime(conversion, g_mclJoin.totalFrames,
                                                          g_mclJoin.totalSamples);
            text = Format("Video Frame: %d/%d, Audio Sample: %d, Time Left: %s", frame,
                          g_mclJoin.totalFrames, sample, TimeText(remaining).c_str());
            break;
        }
        case 0:
            text = Format("Processing time: %s",
                          TimeText(MclApi.MclGetElapsedTime(conversion)).c_str());
            break;
        default:
            text = "Unrecognized status code";
            break;
    }
    {
        std::lock_guard<std::mutex> lock(g_jobLock);
        if (g_mclJoin.totalFrames != 0 && frame % kPublishEvery == 0) {
            g_statusText = text;
            // Widened: frame x 100 does not fit 32 bits on very long joins.
            auto percent =
                static_cast<int>(static_cast<int64_t>(frame) * 100 / g_mclJoin.totalFrames);
            if (g_mclJoin.host != nullptr) {
                g_mclJoin.host->PostJoinProgress(percent);
            }
        }
    }
    // An AVI join runs on the window's thread: this is what keeps it answering, and its join
    // button working as a stop button.
    if (g_firstRowKind == kKindAvi && g_mclJoin.host != nullptr) {
        g_mclJoin.host->PumpMessages();
    }
    if (g_stopRequested != 0) {
        g_errorText = "Abort by user request";
        MclApi.MclAbort(conversion);
    }
}

void MclErrorCallback(int32_t, int32_t, int32_t* answer) {
    if (answer != nullptr) {
        *answer = kErrorAnswer;
    }
}

}  // extern "C"
