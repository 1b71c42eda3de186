#include "mcljoin/mcl_api.h"

#include "platform/module.h"
#include "platform/vfw.h"
#include "probe/library_scan.h"

MclApiTable MclApi;

int MclApiTable::ResolvedCount() const {
    int count = 0;
#define KJ_MCL_COUNT(name, type) count += (name) != nullptr ? 1 : 0;
    KJ_MCL_ENTRY_POINTS(KJ_MCL_COUNT)
#undef KJ_MCL_COUNT
    return count;
}

void LoadMclApi(const Module* module) {
    MclApi = MclApiTable{};
    SetLibraryFileScan(nullptr);
    // The compressor manager offers this module's encoders, for as long as the table holds it.
    ICUseConversionModule(module);
    if (module == nullptr) {
        return;
    }
// (A type in a template argument list cannot be put in parentheses.)
// NOLINTBEGIN(bugprone-macro-parentheses)
#define KJ_MCL_RESOLVE(name, type) \
    MclApi.name = module->ResolveAs<std::type_identity_t<type>>(#name);
    // NOLINTEND(bugprone-macro-parentheses)
    KJ_MCL_ENTRY_POINTS(KJ_MCL_RESOLVE)
#undef KJ_MCL_RESOLVE
    MclApi.MclGetErrorText = module->ResolveAs<MclGetErrorTextFn>("MclGetErrorText");
    MclApi.MclPlanJoin = module->ResolveAs<MclPlanJoinFn>("MclPlanJoin");
    MclApi.MclGetInputReport = module->ResolveAs<MclGetInputReportFn>("MclGetInputReport");
    MclApi.MclWasInputEncoded = module->ResolveAs<MclWasInputEncodedFn>("MclWasInputEncoded");
    MclApi.MclGetPicture = module->ResolveAs<MclGetPictureFn>("MclGetPicture");
    MclApi.MclPlanMatch = module->ResolveAs<MclPlanMatchFn>("MclPlanMatch");
    MclApi.MclEncodeToMatch = module->ResolveAs<MclEncodeToMatchFn>("MclEncodeToMatch");
    // The probe scans AVI and MPEG files through the library's own scan.
    SetLibraryFileScan(MclApi.MclGetFileInfo);
}
