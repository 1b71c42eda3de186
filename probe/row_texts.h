// The texts a record shows in the columns of the join list (and in `kjoin probe`).
#pragma once

#include <string>

#include "probe/media_file_info.h"

// What the Width/Height column shows for a file of sound alone, in place of 0/0.
inline constexpr char kAudioOnlyGeometryText[] = "Audio";

std::string GeometryText(const MediaFileInfo& info);  // "%d/%d", or "Audio"
std::string DurationText(const MediaFileInfo& info);  // "%8.2f S": seconds
std::string SizeText(const MediaFileInfo& info);      // "%8.2f KB": 1 KB is 1000 bytes here
