// The parts of a join job that the window and the command line share: the checks of the list,
// the proposed output name, the refusal to overwrite an input, the dispatch to the engine of the
// first input's kind, and an output that only appears when the engine succeeded.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/join_host.h"
#include "probe/media_kind.h"

// 0 when the list can be joined, else the number of the string that says why:
// 180 (fewer than two), 102 (a zero width or height), 103 (a kind other than the first's).
int CheckJoinList(const std::vector<const MediaFileInfo*>& rows);

// The first input's path with "_join" before its last ".": C:\v\a.b.avi -> C:\v\a.b_join.avi.
std::string ProposedJoinName(const std::string& firstPath);

// The extension the save dialog appends to a name typed without one ("avi" for "x.avi").
std::string ProposedExtension(const std::string& firstPath);

// A text for the user when `output` is one of the inputs (the same file however the path is
// spelled), else empty.
std::string OutputOverwritesInput(const std::vector<JoinInput>& inputs, const std::string& output);

// An engine: joins the host's inputs into `outputPath`; 1 on success, 0 on failure or refusal
// (with the reason in g_errorText where it knows one).
using JoinEngine = std::function<int(JoinHost& host, const std::string& outputPath)>;

// The engine that joins files of `kind` (AVI: 0; MPEG: 1, 2; Real Media: 3; WMV/ASF: 4).
JoinEngine EngineForKind(MediaKind kind);
// Replaces the engine of a kind (the tests put stand-ins behind the job); an empty engine
// restores the real one.
void SetEngineForKind(MediaKind kind, JoinEngine engine);

// Runs `engine` onto a temporary file beside `finalPath` and moves the result onto it only when
// the engine returned 1 and no stop was requested; otherwise the temporary file is removed and
// whatever was at `finalPath` stays. Returns 1 only when the output is in place.
int JoinOntoOutput(const std::string& finalPath,
                   const std::function<int(const std::string& tempPath)>& engine);

// The effects of the RealMedia engine's progress notifications.
void RmNotifyProgress(JoinHost& host, uint32_t percent);
void RmNotifyStart(JoinHost& host);
void RmNotifyComplete(JoinHost& host);
