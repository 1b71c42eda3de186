// The parts of a join job that the window and the command line share: the checks of the list,
// the proposed output name, the refusal to overwrite an input, the dispatch to the engine of the
// first input's kind, and an output that only appears when the engine succeeded.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "job/join_host.h"
#include "probe/media_kind.h"

// 0 when the list can be joined, else the number of the string that says why:
// 180 (fewer than two), 102 (a zero width or height), 103 (a kind other than the first's),
// 186 (an audio-only file among video files; `namedRow` gets the first such row, which the
// text names). A list of audio-only files needs no picture size when its kind's engine joins
// sound alone (its row's joinsAudioOnly).
int CheckJoinList(const std::vector<const MediaFileInfo*>& rows, size_t* namedRow = nullptr);

// The first input's path with "_join" before its last ".": C:\v\a.b.avi -> C:\v\a.b_join.avi.
std::string ProposedJoinName(const std::string& firstPath);

// The extension the save dialog appends to a name typed without one ("avi" for "x.avi").
std::string ProposedExtension(const std::string& firstPath);

// A text for the user when `output` is one of the inputs (the same file however the path is
// spelled), else empty.
std::string OutputOverwritesInput(const std::vector<JoinInput>& inputs, const std::string& output);

// Runs `engine` onto a temporary file in the folder of `finalPath` and gives the result that
// name only when the engine returned 1 and no stop was requested; otherwise the temporary file
// goes and whatever was at `finalPath` stays. Where the file system allows it the temporary file
// has no name at all until it is finished (nothing is left behind even when the process is
// killed) and the engine gets it as "/proc/self/fd/N": a path without the output's extension,
// so an engine that chooses its format by name takes the name from g_outputPath. Elsewhere it
// is a hidden ".NAME.kjpart-XXXXXX.EXT" beside the output. Returns 1 only when the output is
// in place.
int JoinOntoOutput(const std::string& finalPath,
                   const std::function<int(const std::string& tempPath)>& engine);

// Whether JoinOntoOutput may use an unnamed file (the default). The tests turn it off to run the
// named file that serves where the file system has no unnamed files.
void AllowUnnamedOutput(bool allow);
