// FFmpeg is loaded when something is decoded or encoded, not with the module: the module is
// linked without it (its calls into libav* bind at their first use), and this loads the libraries
// into the process's global scope before that first use. A copy join of program streams and the
// scan of one never get here.
#pragma once

#include <string>

// Loads FFmpeg's libraries (once; later calls only report). False with the reason in *error when
// one of them cannot be loaded.
bool EnsureFfmpeg(std::string* error = nullptr);

// True once FFmpeg has been loaded into this process by EnsureFfmpeg.
bool FfmpegLoaded();
