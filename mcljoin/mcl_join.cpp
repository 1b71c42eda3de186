#include "mcljoin/mcl_join.h"

#include "job/job_state.h"
#include "mcljoin/mcl_api.h"

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
