#include "rmjoin/rm_input_report.h"

#include <cstdio>

#include "engines/realmedia/rmedit_report.h"
#include "job/join_host.h"
#include "job/join_report.h"

namespace {

std::string FileName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void ReportRmInputDamage(IUnknown* edit, const std::vector<JoinInput>& inputs) {
    IKjEditInputReport* report = nullptr;
    if (edit == nullptr ||
        FAILED(edit->QueryInterface(IID_IKjEditInputReport, reinterpret_cast<void**>(&report))) ||
        report == nullptr) {
        return;
    }
    char text[512];
    for (size_t i = 0; i < inputs.size(); ++i) {
        KJ_RMEDIT_INPUT_REPORT r;
        if (FAILED(report->GetInputReport(static_cast<uint32_t>(i), &r))) {
            continue;
        }
        const std::string name = FileName(inputs[i].path);
        if (r.cutShort != 0) {
            if (r.fullMs > r.joinedMs) {
                std::snprintf(text, sizeof text,
                              "%s is cut short: its first %.1f s of %.1f s were joined.",
                              name.c_str(), r.joinedMs / 1000.0, r.fullMs / 1000.0);
            } else {
                std::snprintf(text, sizeof text,
                              "%s is cut short: its first %.1f s were joined, up to its last "
                              "whole packet.",
                              name.c_str(), r.joinedMs / 1000.0);
            }
            ReportInputWarning(i, text);
        }
        if (r.damagedPackets > 0) {
            std::snprintf(text, sizeof text, "%s: %u damaged packet%s skipped.", name.c_str(),
                          r.damagedPackets, r.damagedPackets == 1 ? " was" : "s were");
            ReportInputWarning(i, text);
        }
    }
    report->Release();
}
