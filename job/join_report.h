// What a finished join tells the user about each input beyond success: where the input starts in
// the output, how long it lasts there, and what of it was left out (a cut-short end, damaged
// packets skipped). The engines fill it while they run; the window and kjoin show it afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct InputReport {
    double startSeconds = -1;     // where the input begins in the output; negative: not known
    double durationSeconds = -1;  // how long it lasts in the output; negative: not known
    // Whole sentences that name the file, e.g. "a.wmv is cut short: its first 11.2 s of 16.0 s
    // were joined."
    std::vector<std::string> warnings;
    // Encoded to the first input's format because it differed, where the others were copied.
    bool encoded = false;
};

// The joiners' sentences for what they left out, naming the file by its last path part:
// "a.wmv is cut short: its first 5.5 s of 8.0 s were joined." (a `wholeSeconds` no larger than
// `joinedSeconds` is not known: "... its first 5.5 s were joined, up to its last whole packet.")
std::string CutShortWarning(const std::string& path, double joinedSeconds, double wholeSeconds);
// "a.wmv: 2 damaged packets were skipped."
std::string SkippedPacketsWarning(const std::string& path, uint64_t packets);

// Empties the report and makes room for `inputCount` inputs; called when a job starts.
void ResetInputReports(size_t inputCount);
// Any thread. An index past the inputs the job started with is ignored.
void ReportInputTiming(size_t input, double startSeconds, double durationSeconds);
void ReportInputWarning(size_t input, const std::string& text);
void ReportInputEncoded(size_t input);
// "2 copied, 1 encoded to match the first file" when the last job encoded some inputs and
// copied the others; "" otherwise.
std::string CopiedAndEncodedText();
// A copy of the report, one entry per input of the last job.
std::vector<InputReport> InputReports();
// Every warning of the last job, in input order.
std::vector<std::string> InputWarnings();
