// Our own reading of a WMV/ASF header: picture size, video FourCC, duration, packet count and
// the audio streams, straight from the Header Object's children.
#pragma once

#include <string>

#include "platform/bytes.h"
#include "probe/probe_info.h"

// Reads the first kHeaderReadBytes of the file and walks its Header Object into `info`.
// 0 when the Header Object was found and walked; -1 when the file cannot be opened, reads
// 0 bytes or does not begin with the Header Object (then `info` is left as it was).
int ReadAsfHeader(const std::string& path, ProbeInfo& info);

// The same walk over bytes already read from the start of a file.
int ParseAsfHeader(ByteReader header, ProbeInfo& info);
