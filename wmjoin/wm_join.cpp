// The Windows Media join as the job runs it.
#include "job/job_state.h"
#include "job/join_host.h"
#include "platform/unicode.h"
#include "res/resource_ids.h"
#include "wmjoin/wm_joiner.h"

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
            char text[160];
            std::snprintf(text, sizeof text,
                          "File No.%d's profile mismatch with the first one\r\nCan not "
                          "continue... Aborting the process",
                          r + 1);
            g_errorText = text;
            return 0;
        }
    }
    joiner.ApplyBufferWindows();
    // A configuration or a run that failed leaves no usable output: say so, never success.
    HRESULT hr = joiner.ConfigureWriter(WideFromUtf8(outputPath));
    if (SUCCEEDED(hr)) {
        hr = joiner.Run();
    }
    if (FAILED(hr)) {
        g_errorText = joiner.LastLine().empty()
                          ? WmLine("The Windows Media join failed (hr=0x%08x).\n", Hex(hr))
                          : joiner.LastLine();
        return 0;
    }
    return 1;
}
