// Video CD files (.DAT): a RIFF "CDXA" wrapper around raw 2352-byte CD sectors. The MPEG stream
// is the concatenation of the sectors' user data; this reader strips the wrapper and every
// sector's sync, header, subheader and error-correction bytes, and offers the payload as one
// seekable byte stream. No FFmpeg here, so the reader can be fuzzed and tested on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "engines/conversion/cdxa_margin.h"
#include "platform/bytes.h"
#include "platform/riff_format.h"

// Where the sectors lie in the file.
struct CdxaLayout {
    uint64_t dataStart = 0;  // file offset of the first sector
    uint64_t dataBytes = 0;  // bytes of sectors (the last sector may be cut short)
};

// True when `head` (the first bytes of a file of `fileSize` bytes) is a RIFF "CDXA" file; the
// sectors are those of its "data" chunk. A "data" size that is zero or runs past the end of the
// file (common in files copied off a disc) is taken to mean "to the end of the file".
bool FindCdxaLayout(ByteReader head, uint64_t fileSize, CdxaLayout* layout);

// Moves the layout's start past the empty sectors of a front margin: to the first sector, within
// the first cdxa::kMarginSearchSectors, whose payload begins with a pack header. A layout with no
// such sector stays as it is.
void SkipCdxaFrontMargin(const cdxa::ReadAt& readAt, CdxaLayout* layout);

// The payload of the sectors of a CDXA file as one stream of bytes.
class CdxaPayloadReader {
public:
    // Reads up to `count` bytes at file offset `offset`; returns how many it read.
    using ReadAt = std::function<size_t(uint64_t offset, uint8_t* out, size_t count)>;

    CdxaPayloadReader(ReadAt readAt, const CdxaLayout& layout);

    // Reads up to `count` payload bytes at the current position; 0 at the end (or on a read
    // error of the file).
    size_t Read(uint8_t* out, size_t count);
    // Moves to payload offset `position`; false (position unchanged) past the end.
    bool Seek(uint64_t position);
    uint64_t Position() const { return m_position; }
    // Payload bytes in all; the first call looks at every sector's header once.
    uint64_t Size();
    // How far into the file the last read went: for progress against the file's size.
    uint64_t FileOffset() const { return m_fileOffset; }

private:
    struct SectorData {
        size_t offset = 0;  // of the user data inside the sector
        size_t bytes = 0;   // of user data present in the file
    };
    uint64_t SectorCount() const;
    // The user data of sector `index`, from its header bytes (at most cdxa::kSubmodeOffset + 1).
    SectorData DataOf(uint64_t index, ByteReader header) const;
    // Reads sector headers until m_starts covers sector `index` (or every sector).
    bool IndexThrough(uint64_t index);
    // The sector whose payload holds `position`, once indexed that far; false past the end.
    bool Locate(uint64_t position, uint64_t* sector);

    ReadAt m_readAt;
    CdxaLayout m_layout;
    // m_starts[i]: payload offset where sector i begins; one more entry when all are indexed.
    std::vector<uint64_t> m_starts;
    std::vector<uint8_t> m_sector;  // the sector last read
    uint64_t m_sectorInBuffer = UINT64_MAX;
    SectorData m_bufferData;
    uint64_t m_position = 0;
    uint64_t m_fileOffset = 0;
};
