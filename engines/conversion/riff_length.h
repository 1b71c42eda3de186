// Whether a RIFF file (an AVI) holds all that its RIFF chunk says it does.
#pragma once

#include <string>

// True when the file at `path` begins a RIFF chunk and ends before that chunk does: it was cut
// off, even where the cut fell between two chunks and no packet came out partial.
bool RiffFileCutShort(const std::string& path);
