// Choices of a join beyond the designed ones, set by the front end before a job starts.
#pragma once

#include <atomic>

// WMV/ASF: add a marker at each input's start, named after its file, beside the inputs' own.
extern std::atomic<bool> g_markInputs;
