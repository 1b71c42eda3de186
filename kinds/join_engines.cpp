#include "kinds/join_engines.h"

#include <array>
#include <mutex>

#include "job/job_state.h"
#include "mcljoin/mcl_join.h"
#include "rmjoin/rm_join.h"
#include "wmjoin/wm_joiner.h"

namespace {

std::mutex g_enginesMutex;
std::array<JoinEngine, 5> g_engineOverrides;

JoinEngine DefaultEngine(MediaKind kind) {
    switch (kind) {
        case kKindAvi:
        case kKindMpeg:
        case kKindMpeg2:
            return JoinWithConversionLibrary;
        case kKindRealMedia:
            return JoinRealMediaFiles;
        case kKindWmv:
            return JoinWmvFiles;
        default:
            return [](JoinHost&, const std::string&) {
                g_errorText = "Files of this kind cannot be joined.";
                return 0;
            };
    }
}

}  // namespace

JoinEngine EngineForKind(MediaKind kind) {
    std::lock_guard<std::mutex> lock(g_enginesMutex);
    if (kind >= 0 && kind < static_cast<MediaKind>(g_engineOverrides.size()) &&
        g_engineOverrides[static_cast<size_t>(kind)]) {
        return g_engineOverrides[static_cast<size_t>(kind)];
    }
    return DefaultEngine(kind);
}

void SetEngineForKind(MediaKind kind, JoinEngine engine) {
    std::lock_guard<std::mutex> lock(g_enginesMutex);
    if (kind >= 0 && kind < static_cast<MediaKind>(g_engineOverrides.size())) {
        g_engineOverrides[static_cast<size_t>(kind)] = std::move(engine);
    }
}

void SetEngineForEveryKind(const JoinEngine& engine) {
    for (MediaKind kind = kKindAvi; kind <= kKindWmv; ++kind) {
        SetEngineForKind(kind, engine);
    }
}
