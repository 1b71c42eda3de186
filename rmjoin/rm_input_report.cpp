#include "rmjoin/rm_input_report.h"

#include "engines/realmedia/rmedit_report.h"
#include "job/join_host.h"
#include "job/join_report.h"

void ReportRmInputs(IUnknown* edit, const std::vector<JoinInput>& inputs) {
    IKjEditInputReport* report = nullptr;
    if (edit == nullptr ||
        FAILED(edit->QueryInterface(IID_IKjEditInputReport, reinterpret_cast<void**>(&report))) ||
        report == nullptr) {
        return;
    }
    for (size_t i = 0; i < inputs.size(); ++i) {
        KJ_RMEDIT_INPUT_REPORT r;
        if (FAILED(report->GetInputReport(static_cast<uint32_t>(i), &r))) {
            continue;
        }
        if (r.placed != 0) {
            ReportInputTiming(i, r.startMs / 1000.0, r.durationMs / 1000.0);
        }
        if (r.cutShort != 0) {
            ReportInputWarning(
                i, CutShortWarning(inputs[i].path, r.joinedMs / 1000.0, r.fullMs / 1000.0));
        }
        if (r.damagedPackets > 0) {
            ReportInputWarning(i, SkippedPacketsWarning(inputs[i].path, r.damagedPackets));
        }
    }
    report->Release();
}
