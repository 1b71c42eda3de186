// The AVI file interface's reading of the header list, over a whole file held in memory.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/vfw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    AviFileReadAt readAt = [data, size](uint64_t offset, uint8_t* out, size_t count) -> size_t {
        if (offset >= size) {
            return 0;
        }
        size_t n = static_cast<size_t>(std::min<uint64_t>(count, size - offset));
        std::copy_n(data + offset, n, out);
        return n;
    };
    std::vector<AVISTREAMINFOA> streams;
    ReadAviStreamInfos(readAt, streams);
    return 0;
}
