// The engine of each kind, as the job calls it: the window and the command line ask here, the
// tests put stand-ins in.
#pragma once

#include <string>

#include "job/kind_table.h"

// The engine that joins files of `kind`: its row's, or one that refuses a kind without a row.
JoinEngine EngineForKind(MediaKind kind);
// Replaces the engine of a kind (the tests put stand-ins behind the job); an empty engine
// restores the real one.
void SetEngineForKind(MediaKind kind, JoinEngine engine);
// The same for every kind at once.
void SetEngineForEveryKind(const JoinEngine& engine);
