#include "rmjoin/rm_join.h"

#include <cstdio>

#include "job/job_state.h"
#include "job/join_host.h"

int JoinRealMediaFiles(JoinHost& host, const std::string&) {
    if (host.RealMediaModule() == nullptr) {
        g_errorText = "Failed to load rm related dll.";
        host.MessageBox(g_errorText);
        return 0;
    }
    g_errorText = "This build of Kelvane Joiner cannot join Real Media files yet.";
    return 0;
}

void RmNotifyProgress(JoinHost& host, uint32_t percent) {
    if (percent % 3 != 0) {
        return;
    }
    host.SetProgress(static_cast<int>(percent));
    char text[64];
    std::snprintf(text, sizeof text, "%d of the video has been joined...",
                  static_cast<int>(percent));
    host.SetStatusText(text);
    host.PumpMessages();
}

void RmNotifyStart(JoinHost& host) {
    host.SetProgress(0);
    host.SetStatusText("Starting...");
    host.PumpMessages();
}

void RmNotifyComplete(JoinHost& host) {
    host.SetProgress(100);
    host.SetStatusText("Mission Completed...");
    host.PumpMessages();
}
