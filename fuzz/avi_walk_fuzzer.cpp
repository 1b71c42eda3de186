// The AVI header walk, with its window and refills, over a whole file held in memory.
#include <cstddef>
#include <cstdint>

#include "probe/avi_header_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint32_t fourcc = 0;
    WalkAviBytes(ByteReader(data, size), fourcc);
    return 0;
}
