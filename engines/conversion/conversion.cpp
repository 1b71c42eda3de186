#include "engines/conversion/conversion.h"

#include <cerrno>

extern "C" {
#include <libavutil/error.h>
}

std::atomic<bool> g_mpeg2Enabled{false};

namespace {
std::mutex g_errorMutex;
int32_t g_lastErrorCode = 0;
std::string g_lastErrorText;
}  // namespace

int64_t SteadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool Conversion::BeginRun() {
    if (running.exchange(true)) {
        SetLastError(AVERROR(EBUSY), "This conversion is already running.");
        return false;
    }
    abortRequested = false;
    framesDone = 0;
    samplesDone = 0;
    endNanoseconds = 0;
    startNanoseconds = SteadyNanoseconds();
    return true;
}

void Conversion::EndRun() {
    endNanoseconds = SteadyNanoseconds();
    running = false;
}

double Conversion::ElapsedSeconds() const {
    int64_t start = startNanoseconds.load();
    if (start == 0) {
        return 0.0;
    }
    int64_t end = endNanoseconds.load();
    int64_t now = end != 0 ? end : SteadyNanoseconds();
    return static_cast<double>(now - start) / 1e9;
}

void Conversion::ReportProgress(int32_t status, int64_t frames, int64_t samples) {
    if (progressHook) {
        progressHook(status, frames, samples);
    } else {
        TellCaller(status, frames, samples);
    }
}

void Conversion::TellCaller(int32_t status, int64_t frames, int64_t samples) {
    framesDone = frames;
    samplesDone = samples;
    if (callbacks.progress != nullptr) {
        callbacks.progress(handle, status, static_cast<int32_t>(frames),
                           static_cast<int32_t>(samples));
    }
}

void SetLastError(int32_t code, const std::string& text) {
    std::lock_guard<std::mutex> lock(g_errorMutex);
    g_lastErrorCode = code;
    g_lastErrorText = text;
}

int32_t LastErrorCode() {
    std::lock_guard<std::mutex> lock(g_errorMutex);
    return g_lastErrorCode;
}

std::string LastErrorText() {
    std::lock_guard<std::mutex> lock(g_errorMutex);
    return g_lastErrorText;
}
