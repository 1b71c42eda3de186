// `kjoin check`: every file of a list compared with the first, field by field, as a join would.
#pragma once

#include <QStringList>
#include <cstdio>
#include <string>
#include <vector>

// Prints one line per field that differs from the first file's, then what a join would do (or,
// with --json, the same as one JSON object). 0 when the files can be joined, 1 when not or when
// a file could not be probed.
int RunCheckCommand(const QStringList& arguments, FILE* out, FILE* err);
