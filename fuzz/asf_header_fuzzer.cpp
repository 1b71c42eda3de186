// The ASF header walk over the bytes a read of the file's Header Object could give.
#include <cstddef>
#include <cstdint>

#include "probe/asf_header_reader.h"
#include "probe/probe_media_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ProbeInfo info;
    if (ParseAsfHeader(ByteReader(data, size), info) == 0) {
        // What the dispatcher does next must cope with whatever the walk left.
        CompleteProbeInfo(info);
    }
    return 0;
}
