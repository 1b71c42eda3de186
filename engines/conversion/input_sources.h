// Asking the caller for the inputs of a conversion, and what the conversion needs to know of each
// before it starts.
#pragma once

#include <string>
#include <vector>

#include "engines/conversion/conversion.h"
#include "engines/conversion/output_plan.h"

struct AVCodecParameters;

// The paths a source callback gives for positions 0, 1, ... until it says it has finished.
std::vector<std::string> AskSources(Conversion& conversion, MclSourceFn callback);

// Reads the facts of every input (its scan, its first streams' parameters). `firstVideo` and
// `firstAudio` receive copies of the first input's stream parameters (null when it has none);
// free them with avcodec_parameters_free. 0, or an error code with the reason naming the file.
int ReadInputFacts(const std::vector<std::string>& paths, std::vector<InputFacts>* facts,
                   AVCodecParameters** firstVideo, AVCodecParameters** firstAudio,
                   std::string* error);
// The same without the first input's stream parameters.
int ReadInputFacts(const std::vector<std::string>& paths, std::vector<InputFacts>* facts,
                   std::string* error);
