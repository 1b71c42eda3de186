// The AVI and MPEG join: the conversion library driven with the first input's settings.
#pragma once

#include <string>
#include <vector>

#include "engines/conversion/mcl.h"

class JoinHost;

// The AVI join (first row of kind 0): the first row's compressor, MP3 audio.
int JoinAvi(JoinHost& host, const std::string& outputPath);
// The MPEG join (first row of kind 1 or 2): MPEG-1 or MPEG-2 program stream, MP2 audio.
int JoinMpeg(JoinHost& host, const std::string& outputPath);

// Joins the host's inputs into `outputPath` through the conversion library, by the first row's
// kind; 1 on success, 0 on failure with the reason in g_errorText.
int JoinWithConversionLibrary(JoinHost& host, const std::string& outputPath);

// What the conversion library would do with the host's inputs, set up exactly as a join sets
// them up, without writing anything.
struct MclPlanCheck {
    std::vector<MclPlanInput> inputs;  // one per input
    MclPlanResult result{};
};

// Asks the library for the plan of the host's inputs; 1 with *check filled, 0 when the library
// has no plan to give (missing, or refusing with its reason in g_errorText).
int PlanConversionJoin(JoinHost& host, MclPlanCheck* check);
