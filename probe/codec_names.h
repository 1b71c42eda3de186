// The names people know codecs by. Files and libraries name a codec in many ways (a FourCC in an
// AVI or ASF file, FFmpeg's codec name, a Real Media codec id, an audio format tag's name); every
// text of the window and of kjoin shows the one name this table gives it.
#pragma once

#include <string>

// "MPEG-1 video" for "mpeg1video", "Cinepak" for "cvid", "Windows Media Video 9" for "WMV3"...
// A name the table does not know is returned as it is.
std::string CodecDisplayName(const std::string& codec);
