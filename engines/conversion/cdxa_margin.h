// The front margin of a Video CD track: a disc made to the VCD 2.0 layout opens its MPEG track
// with empty Form 2 sectors, so the first pack lies some sectors into the "data" chunk. Header
// only and free of FFmpeg, so that the type detection of the probe can use it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/bytes.h"
#include "platform/riff_format.h"

namespace cdxa {

// Sectors looked at for the first pack: two seconds of a CD, well past the 30-sector margin
// (and the 45 sectors some authoring programs leave).
inline constexpr uint64_t kMarginSearchSectors = 150;
// Sector bytes read to see where a sector's payload begins: through its first four bytes.
inline constexpr size_t kSectorHeadBytes = kMode2DataOffset + 4;

inline constexpr uint8_t kPackHeader[] = {0x00, 0x00, 0x01, 0xBA};

// Reads up to `count` bytes at file offset `offset`; returns how many it read.
using ReadAt = std::function<size_t(uint64_t offset, uint8_t* out, size_t count)>;

// True when the payload of the sector whose first bytes are `sector` begins with a pack header.
inline bool SectorStartsWithPack(ByteReader sector) {
    uint8_t mode = sector.U8(kModeOffset);
    size_t data = mode == 1 ? kMode1DataOffset : mode == 2 ? kMode2DataOffset : 0;
    return data != 0 && sector.Matches(data, kPackHeader, sizeof kPackHeader);
}

// The index of the first sector, among the first kMarginSearchSectors of the `dataBytes` bytes
// of sectors at `dataStart`, whose payload begins with a pack header; -1 when there is none.
// Sector 0 is tested first, so a file without a margin is found as before.
inline int64_t FirstPackSector(const ReadAt& readAt, uint64_t dataStart, uint64_t dataBytes) {
    uint8_t head[kSectorHeadBytes];
    for (uint64_t i = 0; i < kMarginSearchSectors; ++i) {
        uint64_t at = i * kSectorBytes;
        if (at >= dataBytes) {
            break;
        }
        uint64_t left = dataBytes - at;
        size_t want = left < sizeof head ? static_cast<size_t>(left) : sizeof head;
        size_t got = readAt(dataStart + at, head, want);
        if (SectorStartsWithPack(ByteReader(head, got < want ? got : want))) {
            return static_cast<int64_t>(i);
        }
        if (got < want) {
            break;
        }
    }
    return -1;
}

}  // namespace cdxa
