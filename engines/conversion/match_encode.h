// Encoding an odd file of a Windows Media or RealMedia list so that the join can copy its packets
// under the first file's headers. Those joins copy every packet as it is and keep the first
// file's stream headers, so an odd file is only of use once its streams decode under them byte
// for byte: the same codec, picture, rates and codec data. That holds where FFmpeg has an
// encoder that writes the first file's codec data exactly (Windows Media Video 7 and 8, MPEG-4
// v3, Windows Media Audio 1 and 2; RealVideo 1 and 2, AC-3): the plan finds out by writing the
// header of such an encode in memory and reading it back beside the first file's.
#pragma once

#include <memory>
#include <string>

#include "engines/conversion/conversion.h"

struct InputFacts;

// What an odd file is encoded to: the first file's container and streams.
struct MatchTarget {
    OutputKind kind = OutputKind::kNone;  // kAsf or kRealMedia
    std::shared_ptr<const InputFacts> model;
    double frameRate = 0;
    int keyInterval = 0;  // frames between the first file's key pictures; 0: not found
};

enum class MatchAnswer { kEncodable, kNot, kUnreadable };

// Whether `oddPath` can be encoded to match `firstPath`. kNot comes with a reason a user can act
// on, which names neither file ("the first file's video is Windows Media Video 9, which cannot
// be encoded here"); kUnreadable with why a file could not be read.
MatchAnswer PlanMatchEncode(const std::string& firstPath, const std::string& oddPath,
                            MatchTarget* target, std::string* reason);

// Encodes `oddPath` to match `firstPath` into `outputPath` on `conversion` (its progress
// callback, counting the output's frames, and its abort request). 0, AVERROR_EXIT when stopped,
// or an error code with the reason in *error.
int EncodeToMatch(Conversion& conversion, const std::string& firstPath, const std::string& oddPath,
                  const std::string& outputPath, std::string* error);
