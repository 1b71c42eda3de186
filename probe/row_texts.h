// The texts a record shows in the columns of the join list (and in `kjoin probe`).
#pragma once

#include <string>

#include "probe/media_file_info.h"

std::string GeometryText(const MediaFileInfo& info);  // "%d/%d"
std::string DurationText(const MediaFileInfo& info);  // "%8.2f S": seconds
std::string SizeText(const MediaFileInfo& info);      // "%8.2f KB": 1 KB is 1000 bytes here
