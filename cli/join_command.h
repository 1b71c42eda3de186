// `kjoin join`: the join of the window, in a terminal.
#pragma once

#include <QStringList>
#include <cstdio>

// Joins the files into one; 0 with the output path printed on success, 1 with the reason on
// `err` on any refusal or failure.
int RunJoinCommand(const QStringList& arguments, FILE* out, FILE* err);
