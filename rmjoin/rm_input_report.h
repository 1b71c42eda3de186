// What the RealMedia engine left out of each input, passed on to the job's report.
#pragma once

#include <string>
#include <vector>

#include "platform/com.h"

struct JoinInput;

// Asks the edit object `edit` for its input report and adds a warning for each input that was
// cut short or had damaged packets skipped. Nothing when the module does not tell.
void ReportRmInputDamage(IUnknown* edit, const std::vector<JoinInput>& inputs);
