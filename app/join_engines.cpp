#include "app/join_engines.h"

#include "app/job_state.h"
#include "app/join_host.h"
#include "app/resource_ids.h"
#include "mcljoin/mcl_api.h"
#include "wmjoin/wm_joiner.h"

// Each engine first refuses when its module is missing, as the user must be told.

int JoinWithConversionLibrary(JoinHost&, const std::string&) {
    if (MclApi.MclAlloc == nullptr || MclApi.MclConvert == nullptr) {
        g_errorText =
            "AVI and MPEG files cannot be joined: the conversion engine (libzivuvore.so, next to "
            "the program) is missing or incomplete. Reinstall Kelvane Joiner, then try again.";
        return 0;
    }
    g_errorText = "This build of Kelvane Joiner cannot join AVI and MPEG files yet.";
    return 0;
}

int JoinRealMediaFiles(JoinHost& host, const std::string&) {
    if (host.RealMediaModule() == nullptr) {
        g_errorText = "Failed to load rm related dll.";
        host.MessageBox(g_errorText);
        return 0;
    }
    g_errorText = "This build of Kelvane Joiner cannot join Real Media files yet.";
    return 0;
}

int JoinWindowsMediaFiles(JoinHost& host, const std::string& outputPath) {
    return JoinWmvFiles(host, outputPath);
}
