// Our own reading of a Real Media (RM/RMVB) header: duration, picture size, video FourCC, an
// integer frame rate and the audio streams, from the chunks before "DATA".
#pragma once

#include <string>

#include "platform/bytes.h"
#include "probe/probe_info.h"

// Reads the first kHeaderReadBytes of the file and walks its chunks into `info`.
// 0 when the walk ran; -1 when the file cannot be opened or reads 0 bytes.
int ReadRmHeader(const std::string& path, ProbeInfo& info);

// The same walk over bytes already read from the start of a file; -1 for no bytes.
int ParseRmHeader(ByteReader header, ProbeInfo& info);
