// What kind of video a file is, and what its content says it is.
#pragma once

#include <cstdint>
#include <string>

// Kind of an input; chooses the engine that joins it. Its name and everything else that differs
// by kind are in its row of the table of kinds (job/kind_table.h).
using MediaKind = int32_t;
inline constexpr MediaKind kKindAvi = 0;
inline constexpr MediaKind kKindMpeg = 1;
inline constexpr MediaKind kKindMpeg2 = 2;
inline constexpr MediaKind kKindRealMedia = 3;
inline constexpr MediaKind kKindWmv = 4;

// Result of content detection (not the MediaKind numbering).
using FileTypeCode = int32_t;
inline constexpr FileTypeCode kTypeUnknown = -1;
inline constexpr FileTypeCode kTypeAvi = 0;
inline constexpr FileTypeCode kTypeMpeg = 1;
inline constexpr FileTypeCode kTypeOgg = 2;
inline constexpr FileTypeCode kTypeRealMedia = 3;
inline constexpr FileTypeCode kTypeAsf = 5;
