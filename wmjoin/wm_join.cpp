// The Windows Media join as the job runs it.
#include <algorithm>

#include "job/job_state.h"
#include "job/join_host.h"
#include "job/join_report.h"
#include "platform/unicode.h"
#include "res/resource_ids.h"
#include "wmjoin/wm_joiner.h"

std::string WmProfileMismatchText(int fileNumber) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "File No.%d's profile mismatch with the first one\r\nCan not continue... "
                  "Aborting the process",
                  fileNumber);
    return text;
}

int JoinWmvFiles(JoinHost& host, const std::string& outputPath) {
    if (!host.WmEntryPointsLoaded()) {
        // The failure dialog that follows says it again, rather than showing nothing.
        g_errorText = host.ResourceString(IDS_NO_WINDOWS_MEDIA);
        host.MessageBox(g_errorText);
        return 0;
    }
    const std::vector<JoinInput>& inputs = host.Inputs();
    int files = static_cast<int>(inputs.size());
    CWMJoiner joiner(host);
    joiner.Init(files);
    joiner.OpenFirstFile(WideFromUtf8(inputs.front().path));
    for (int r = 1; r < files; ++r) {
        int matched = 0;
        joiner.OpenNextFile(WideFromUtf8(inputs[static_cast<size_t>(r)].path), r + 1, &matched);
        if (matched == 0) {
            g_errorText = WmProfileMismatchText(r + 1);
            return 0;
        }
    }
    joiner.ApplyBufferWindows();
    // A configuration or a run that failed leaves no usable output: say so, never success.
    HRESULT hr = joiner.ConfigureWriter(WideFromUtf8(outputPath));
    if (SUCCEEDED(hr)) {
        hr = joiner.Run();
    }
    if (SUCCEEDED(hr)) {
        // An input starts at its first sample and lasts until the next one starts; the last
        // one until the content ends.
        for (int n = 1; n <= files; ++n) {
            QWORD start = joiner.FirstSampleTime(n);
            QWORD end = n < files ? joiner.FirstSampleTime(n + 1) : joiner.ContentEnd();
            end = std::max(end, start);
            ReportInputTiming(static_cast<size_t>(n - 1), static_cast<double>(start) / kWmOneSecond,
                              static_cast<double>(end - start) / kWmOneSecond);
        }
    }
    if (FAILED(hr)) {
        g_errorText = joiner.LastLine().empty()
                          ? WmLine("The Windows Media join failed (hr=0x%08x).\n", Hex(hr))
                          : joiner.LastLine();
        return 0;
    }
    return 1;
}
