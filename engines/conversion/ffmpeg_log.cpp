#include "engines/conversion/ffmpeg_log.h"

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr size_t kLineBytes = 1024;
// What libavformat logs when a packet runs past the end of the file.
constexpr const char* kCorruptPacket = "Packet corrupt";

std::mutex g_watchMutex;
std::vector<InputLogWatch*> g_watches;
thread_local std::string t_lastError;

void Callback(void* context, int level, const char* format, va_list args) {
    // Information and debugging lines are not formatted at all: they are most of what is logged.
    if (level > AV_LOG_WARNING || format == nullptr) {
        return;
    }
    char line[kLineBytes];
    std::vsnprintf(line, sizeof line, format, args);
    NoteFfmpegLine(context, level, format, line);
}

}  // namespace

void InstallFfmpegLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(Callback); });
}

InputLogWatch::InputLogWatch(const void* demuxer) : m_demuxer(demuxer) {
    std::lock_guard<std::mutex> lock(g_watchMutex);
    g_watches.push_back(this);
}

InputLogWatch::~InputLogWatch() {
    std::lock_guard<std::mutex> lock(g_watchMutex);
    g_watches.erase(std::remove(g_watches.begin(), g_watches.end(), this), g_watches.end());
}

std::string LastFfmpegError() {
    return t_lastError;
}

void ClearFfmpegError() {
    t_lastError.clear();
}

void NoteFfmpegLine(const void* context, int level, const char* format, const std::string& line) {
    if (level <= AV_LOG_ERROR) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        if (!text.empty()) {
            t_lastError = text;
        }
    }
    if (context == nullptr ||
        std::strncmp(format, kCorruptPacket, std::strlen(kCorruptPacket)) != 0) {
        return;
    }
    std::lock_guard<std::mutex> lock(g_watchMutex);
    for (InputLogWatch* watch : g_watches) {
        if (watch->Demuxer() == context) {
            watch->CountTruncated();
        }
    }
}
