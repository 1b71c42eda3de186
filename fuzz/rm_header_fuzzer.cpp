// The Real Media chunk walk over the bytes a read of the file's start could give.
#include <cstddef>
#include <cstdint>

#include "probe/probe_media_file.h"
#include "probe/rm_header_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ProbeInfo info;
    if (ParseRmHeader(ByteReader(data, size < kHeaderReadBytes ? size : kHeaderReadBytes), info) ==
        0) {
        CompleteProbeInfo(info);
    }
    return 0;
}
