// What the RealMedia engine knows of each input (its place in the output, what of it was left
// out), passed on to the job's report.
#pragma once

#include <string>
#include <vector>

#include "platform/com.h"

struct JoinInput;

// Asks the edit object `edit` for its input report: each input's place, and a warning for each
// input that was cut short or had damaged packets skipped. Nothing when the module does not tell.
void ReportRmInputs(IUnknown* edit, const std::vector<JoinInput>& inputs);
