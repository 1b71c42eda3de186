#include "kinds/join_engines.h"

#include <map>
#include <mutex>

#include "job/job_state.h"
#include "kinds/kinds.h"

namespace {

std::mutex g_enginesMutex;
std::map<MediaKind, JoinEngine> g_engineOverrides;

}  // namespace

JoinEngine EngineForKind(MediaKind kind) {
    InstallKinds();
    {
        std::lock_guard<std::mutex> lock(g_enginesMutex);
        auto found = g_engineOverrides.find(kind);
        if (found != g_engineOverrides.end()) {
            return found->second;
        }
    }
    if (const KindRow* row = FindKind(kind); row != nullptr && row->engine) {
        return row->engine;
    }
    return [](JoinHost&, const std::string&) {
        g_errorText = "Files of this kind cannot be joined.";
        return 0;
    };
}

void SetEngineForKind(MediaKind kind, JoinEngine engine) {
    InstallKinds();
    if (FindKind(kind) == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> lock(g_enginesMutex);
    if (engine) {
        g_engineOverrides[kind] = std::move(engine);
    } else {
        g_engineOverrides.erase(kind);
    }
}

void SetEngineForEveryKind(const JoinEngine& engine) {
    InstallKinds();
    for (const KindRow& row : KindRows()) {
        SetEngineForKind(row.kind, engine);
    }
}
