// The process-wide state of the one join that can run at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "probe/media_kind.h"

// Posted to the main window while a join runs (custom event types of these numbers).
inline constexpr int WM_JOIN_PERCENT = 1602;   // wParam: percent
inline constexpr int WM_JOIN_PROGRESS = 1802;  // wParam: percent; with g_statusText
inline constexpr int WM_JOIN_FINISHED = 2526;

extern std::string g_outputPath;           // the output path the user chose
extern std::atomic<int32_t> g_joinResult;  // 0 from the start of a job; then the engine's result
extern std::atomic<MediaKind> g_firstRowKind;  // kind of the running job
extern std::atomic<int32_t> g_stopRequested;   // the user confirmed stopping the job
extern std::mutex g_jobLock;                   // guards g_statusText only
extern std::string g_statusText;               // status text that goes with the last progress
extern std::string g_errorText;                // why the job failed, for the failure dialog

// Sets g_statusText under g_jobLock.
void SetJobStatusText(const std::string& text);
// A copy of g_statusText taken under g_jobLock.
std::string JobStatusText();
