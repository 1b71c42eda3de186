// How kjoin prints the program's texts: designed texts may hold Windows line ends and several
// lines, and some speak of the window's buttons.
#pragma once

#include <cstdio>
#include <string>

// Prints `text` on `stream`, every line of it after one "kjoin: ", without carriage returns or
// empty lines.
void PrintMessage(FILE* stream, const std::string& text);

// `text` with "\r\n" and lone "\r" made "\n", surrounding blank lines dropped.
std::string PlainLines(const std::string& text);

// The text of string resource `id` as kjoin says it: the refusals of the join list name the
// command line's ways (files given, files left out) instead of the window's buttons. `file` is
// the file that a refusal names (186).
std::string CommandLineString(int id, const std::string& file = {});
