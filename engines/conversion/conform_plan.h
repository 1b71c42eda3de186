// Which inputs of a list join by copying and which are encoded first to match the list's first
// input: a list of alike files with an odd one among them keeps every alike file's packets, and
// only the odd file is decoded and encoded, to the first file's format.
#pragma once

#include <string>
#include <vector>

#include "engines/conversion/conversion.h"
#include "engines/conversion/output_plan.h"

struct ConformPlan {
    // False: the list is copied whole (nothing odd in it) or encoded whole (its first input
    // itself cannot be copied, or an odd input cannot take the first one's format).
    bool applies = false;
    std::vector<bool> encode;  // per input: encoded to match the first
};

ConformPlan PlanConform(const ConversionSettings& settings, const std::vector<InputFacts>& inputs);
