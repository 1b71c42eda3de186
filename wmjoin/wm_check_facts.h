// What the check reads of a WMV/ASF file, and what the Windows Media join compares beyond the
// named fields: the Windows Media row of the table of kinds (wmjoin/wm_kind.h) holds them.
#pragma once

#include <optional>

#include "job/join_check.h"
#include "platform/bytes.h"

// What a WMV/ASF Header Object (from the file's first byte) says of the streams, added to
// `facts`; damaged or cut bytes leave fields unknown.
void AddAsfHeaderFacts(ByteReader header, JoinCheckFacts& facts);
// The same from the Header Object of the file at facts.path.
void ReadAsfFacts(JoinCheckFacts& facts);

// Every stream of the first file needs a stream of the other whose media type matches by the
// joiner's own comparison; told only when none of the named fields already differ.
std::optional<CheckFinding> WmStreamFormatRule(const JoinCheckFacts& first,
                                               const JoinCheckFacts& other);
