// The engine of each kind, as the job calls it: the window and the command line ask here, the
// tests put stand-ins in.
#pragma once

#include <functional>
#include <string>

#include "probe/media_kind.h"

class JoinHost;

// An engine: joins the host's inputs into `outputPath`; 1 on success, 0 on failure or refusal
// (with the reason in g_errorText where it knows one).
using JoinEngine = std::function<int(JoinHost& host, const std::string& outputPath)>;

// The engine that joins files of `kind` (AVI: 0; MPEG: 1, 2; Real Media: 3; WMV/ASF: 4).
JoinEngine EngineForKind(MediaKind kind);
// Replaces the engine of a kind (the tests put stand-ins behind the job); an empty engine
// restores the real one.
void SetEngineForKind(MediaKind kind, JoinEngine engine);
// The same for every kind at once.
void SetEngineForEveryKind(const JoinEngine& engine);
