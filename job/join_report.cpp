#include "job/join_report.h"

#include <cstdio>
#include <mutex>

namespace {
std::mutex g_reportLock;
std::vector<InputReport> g_reports;
std::string FileName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string CutShortWarning(const std::string& path, double joinedSeconds, double wholeSeconds) {
    char text[512];
    const std::string name = FileName(path);
    if (wholeSeconds > joinedSeconds) {
        std::snprintf(text, sizeof text, "%s is cut short: its first %.1f s of %.1f s were joined.",
                      name.c_str(), joinedSeconds, wholeSeconds);
    } else {
        std::snprintf(text, sizeof text,
                      "%s is cut short: its first %.1f s were joined, up to its last whole packet.",
                      name.c_str(), joinedSeconds);
    }
    return text;
}

std::string SkippedPacketsWarning(const std::string& path, uint64_t packets) {
    return FileName(path) + ": " + std::to_string(packets) +
           (packets == 1 ? " damaged packet was skipped." : " damaged packets were skipped.");
}

void ResetInputReports(size_t inputCount) {
    std::lock_guard<std::mutex> lock(g_reportLock);
    g_reports.assign(inputCount, InputReport{});
}

void ReportInputTiming(size_t input, double startSeconds, double durationSeconds) {
    std::lock_guard<std::mutex> lock(g_reportLock);
    if (input < g_reports.size()) {
        g_reports[input].startSeconds = startSeconds;
        g_reports[input].durationSeconds = durationSeconds;
    }
}

void ReportInputWarning(size_t input, const std::string& text) {
    std::lock_guard<std::mutex> lock(g_reportLock);
    if (input < g_reports.size()) {
        g_reports[input].warnings.push_back(text);
    }
}

void ReportInputEncoded(size_t input) {
    std::lock_guard<std::mutex> lock(g_reportLock);
    if (input < g_reports.size()) {
        g_reports[input].encoded = true;
    }
}

std::string CopiedAndEncodedText() {
    std::lock_guard<std::mutex> lock(g_reportLock);
    size_t encoded = 0;
    for (const InputReport& report : g_reports) {
        encoded += report.encoded ? 1 : 0;
    }
    if (encoded == 0) {
        return std::string();
    }
    return std::to_string(g_reports.size() - encoded) + " copied, " + std::to_string(encoded) +
           " encoded to match the first file";
}

std::vector<InputReport> InputReports() {
    std::lock_guard<std::mutex> lock(g_reportLock);
    return g_reports;
}

std::vector<std::string> InputWarnings() {
    std::lock_guard<std::mutex> lock(g_reportLock);
    std::vector<std::string> all;
    for (const InputReport& report : g_reports) {
        all.insert(all.end(), report.warnings.begin(), report.warnings.end());
    }
    return all;
}
