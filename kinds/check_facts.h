// The facts `kjoin check` and the window's marks compare: the probe's record completed from each
// file's container (stream headers of ASF and RealMedia files, the conversion module's view of
// AVI and MPEG files and its copy-or-encode decision for the whole list).
#pragma once

#include <string>
#include <vector>

#include "job/join_check.h"
#include "job/join_host.h"

// The facts of one file from its record and what its kind's row reads of its container (the
// stream headers of WMV/ASF and Real Media files). AVI and MPEG files get what their record
// holds; CheckInputs adds the rest.
JoinCheckFacts ReadCheckFacts(const MediaFileInfo& info);

// Checks the host's inputs as a join would: CheckJoinList first, then every field of every file
// against the first. For AVI/MPEG lists the conversion module, when the host has it loaded
// (MclApi), is asked what it would copy and what it would encode. `facts` receives what was
// compared.
CheckResult CheckInputs(JoinHost& host, std::vector<JoinCheckFacts>* facts);

// The designed refusal text followed by the check's line for every odd file, for the failure
// dialog and kjoin: `designed` alone when the check finds nothing to name.
std::string RefusalWithFindings(const std::string& designed, const CheckResult& result,
                                const std::vector<JoinCheckFacts>& facts);
