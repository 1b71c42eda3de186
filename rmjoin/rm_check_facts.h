// What the check reads of a Real Media file, and what the Real Media join compares beyond the
// named fields: the Real Media row of the table of kinds (rmjoin/rm_kind.h) holds them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "job/join_check.h"

namespace rm {
class ByteSource;
}

// What the start of a Real Media file says of the streams, added to `facts`; damaged or cut
// bytes leave fields unknown.
void AddRmHeaderFacts(const uint8_t* data, size_t size, JoinCheckFacts& facts);
void AddRmFacts(rm::ByteSource& source, JoinCheckFacts& facts);
// The same from the file at facts.path.
void ReadRmFacts(JoinCheckFacts& facts);

// The Real Media join's own comparison of each stream's codec header with the first file's,
// for what the named fields do not show (flavor, frame sizes, interleaving).
std::optional<CheckFinding> RmStreamSettingsRule(const JoinCheckFacts& first,
                                                 const JoinCheckFacts& other);
