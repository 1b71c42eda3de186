// Encodes the odd inputs of a list to the first input's format, each into a hidden file beside
// the output, so that the join that follows copies every input: the alike ones as they are and
// the odd ones as encoded. The hidden files go when the ConformedInputs does.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engines/conversion/conversion.h"
#include "platform/hidden_output.h"

struct ConformedInputs {
    std::vector<std::unique_ptr<HiddenOutput>> files;
    std::map<size_t, std::string> originals;              // position: the input's own path
    std::map<size_t, std::string> standIns;               // position: what is read instead
    std::map<size_t, std::vector<std::string>> warnings;  // told while encoding it
    int64_t encodedFrames = 0;  // the odd inputs' frames, at the output's rate
    int64_t copiedFrames = 0;   // the other inputs'

    size_t EncodedCount() const { return standIns.size(); }
    // `text` with every stand-in's path put back to the input's own.
    std::string WithOwnPaths(std::string text) const;
};

// Encodes the odd inputs of `conversion`'s list (none when the list is copied or encoded whole):
// 0, AVERROR_EXIT when stopped, or an error code with a reason naming the file. Progress of the
// whole join (the encoding and the copy after it) is reported through the conversion, weighted
// so that the time left it gives holds.
int ConformOddInputs(Conversion& conversion, const ConversionSettings& settings,
                     ConformedInputs* conformed, std::string* error);
