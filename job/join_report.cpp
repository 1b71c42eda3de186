#include "job/join_report.h"

#include <mutex>

namespace {
std::mutex g_reportLock;
std::vector<InputReport> g_reports;
}  // namespace

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
