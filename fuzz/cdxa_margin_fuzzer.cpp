// The search for a Video CD track's first pack past its front margin, over a file held in memory:
// the sector found must lie within the first 150, inside the file, and begin with a pack header;
// the payload after the margin is read to its end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engines/conversion/cdxa_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto readAt = [data, size](uint64_t offset, uint8_t* out, size_t count) -> size_t {
        if (offset >= size) {
            return 0;
        }
        size_t n = count < size - offset ? count : size - offset;
        std::memcpy(out, data + offset, n);
        return n;
    };
    CdxaLayout layout;
    if (!FindCdxaLayout(ByteReader(data, size), size, &layout)) {
        return 0;
    }
    int64_t first = cdxa::FirstPackSector(readAt, layout.dataStart, layout.dataBytes);
    if (first >= 0) {
        uint64_t at = layout.dataStart + static_cast<uint64_t>(first) * cdxa::kSectorBytes;
        if (first >= static_cast<int64_t>(cdxa::kMarginSearchSectors) || at >= size ||
            !cdxa::SectorStartsWithPack(ByteReader(data + at, size - at))) {
            std::abort();
        }
    }
    CdxaLayout skipped = layout;
    SkipCdxaFrontMargin(readAt, &skipped);
    if (skipped.dataStart < layout.dataStart ||
        skipped.dataStart + skipped.dataBytes != layout.dataStart + layout.dataBytes) {
        std::abort();
    }
    CdxaPayloadReader reader(readAt, skipped);
    std::vector<uint8_t> buffer(4096);
    uint64_t total = 0;
    while (size_t n = reader.Read(buffer.data(), buffer.size())) {
        total += n;
        if (total > size) {
            std::abort();
        }
    }
    return 0;
}
