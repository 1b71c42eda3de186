// Our own reading of a WMV/ASF header: picture size, video FourCC, duration, packet count and
// the audio streams, straight from the Header Object's children.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/bytes.h"
#include "probe/probe_info.h"

// Reads the file's whole Header Object, as long as its own size says (up to the largest header
// the engine reads, and no further than the file goes), and walks it into `info`: a header
// that holds a large cover picture before its streams is read to its streams.
// 0 when the Header Object was found and walked; -1 when the file cannot be opened, reads
// 0 bytes or does not begin with the Header Object (then `info` is left as it was).
int ReadAsfHeader(const std::string& path, ProbeInfo& info);

// The bytes of the file's Header Object from its first byte, as ReadAsfHeader reads them
// (fewer when the file ends first). False when the file cannot be opened.
bool ReadAsfHeaderObject(const std::string& path, std::vector<uint8_t>& out);

// The same walk over bytes already read from the start of a file.
int ParseAsfHeader(ByteReader header, ProbeInfo& info);
