// `kjoin probe`: what the join list would show for each file.
#pragma once

#include <QStringList>
#include <cstdio>

// Prints each file's column texts and information line (or, with --json, every field of its
// record). Returns 0 when every file gave a record, 1 otherwise.
int RunProbeCommand(const QStringList& arguments, FILE* out, FILE* err);
