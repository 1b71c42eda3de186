#include "job/job_state.h"
#include "job/join_options.h"

std::string g_outputPath;
std::atomic<int32_t> g_joinResult{0};
std::atomic<MediaKind> g_firstRowKind{kKindAvi};
std::atomic<int32_t> g_stopRequested{0};
std::mutex g_jobLock;
std::string g_statusText;
std::string g_errorText;

void SetJobStatusText(const std::string& text) {
    std::lock_guard<std::mutex> lock(g_jobLock);
    g_statusText = text;
}

std::string JobStatusText() {
    std::lock_guard<std::mutex> lock(g_jobLock);
    return g_statusText;
}

std::atomic<bool> g_markInputs{false};
