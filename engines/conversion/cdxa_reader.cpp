#include "engines/conversion/cdxa_reader.h"

#include <algorithm>

#include "platform/riff_chunks.h"

namespace {

// Header bytes a sector needs for its layout to be known: through the submode byte.
constexpr size_t kCdLayoutBytes = cdxa::kSubmodeOffset + 1;
// Sector headers indexed per step while seeking ahead.
constexpr uint64_t kIndexBatchSectors = 64;

}  // namespace

bool FindCdxaLayout(ByteReader head, uint64_t fileSize, CdxaLayout* layout) {
    if (!head.Matches(0, riff::kRiff) || !head.Matches(riff::kFormTypeOffset, riff::kFormCdxa)) {
        return false;
    }
    uint64_t start = cdxa::kUsualDataStart;
    uint64_t declared = 0;
    riff::ForEachChunk(head, riff::kRiffHeaderBytes, [&](size_t at, ByteReader) {
        if (!head.Matches(at, riff::kData)) {
            return true;
        }
        start = at + riff::kChunkHeaderBytes;
        declared = head.LE32(at + riff::kChunkSizeOffset);
        return false;
    });
    if (start >= fileSize) {
        return false;
    }
    uint64_t available = fileSize - start;
    layout->dataStart = start;
    layout->dataBytes = declared == 0 || declared > available ? available : declared;
    return true;
}

void SkipCdxaFrontMargin(const cdxa::ReadAt& readAt, CdxaLayout* layout) {
    int64_t first = cdxa::FirstPackSector(readAt, layout->dataStart, layout->dataBytes);
    if (first > 0) {
        uint64_t skip = static_cast<uint64_t>(first) * cdxa::kSectorBytes;
        layout->dataStart += skip;
        layout->dataBytes -= skip;
    }
}

CdxaPayloadReader::CdxaPayloadReader(ReadAt readAt, const CdxaLayout& layout)
    : m_readAt(std::move(readAt)), m_layout(layout), m_starts{0} {}

uint64_t CdxaPayloadReader::SectorCount() const {
    return (m_layout.dataBytes + cdxa::kSectorBytes - 1) / cdxa::kSectorBytes;
}

CdxaPayloadReader::SectorData CdxaPayloadReader::DataOf(uint64_t index, ByteReader header) const {
    uint64_t sectorStart = index * cdxa::kSectorBytes;
    uint64_t inFile = std::min<uint64_t>(cdxa::kSectorBytes, m_layout.dataBytes - sectorStart);
    SectorData data;
    size_t payload = 0;
    uint8_t mode = header.U8(cdxa::kModeOffset);
    if (mode == 1) {
        data.offset = cdxa::kMode1DataOffset;
        payload = cdxa::kForm1PayloadBytes;
    } else if (mode == 2) {
        data.offset = cdxa::kMode2DataOffset;
        bool form2 = (header.U8(cdxa::kSubmodeOffset) & cdxa::kSubmodeForm2) != 0;
        payload = form2 ? cdxa::kForm2PayloadBytes : cdxa::kForm1PayloadBytes;
    } else {
        return data;  // Mode 0 (empty) or a sector cut off before its header: no user data
    }
    if (inFile > data.offset) {
        data.bytes = static_cast<size_t>(std::min<uint64_t>(payload, inFile - data.offset));
    }
    return data;
}

bool CdxaPayloadReader::IndexThrough(uint64_t index) {
    uint64_t count = SectorCount();
    uint8_t header[kCdLayoutBytes];
    while (m_starts.size() <= index + 1 && m_starts.size() <= count) {
        uint64_t sector = m_starts.size() - 1;
        uint64_t at = sector * cdxa::kSectorBytes;
        size_t want =
            static_cast<size_t>(std::min<uint64_t>(sizeof header, m_layout.dataBytes - at));
        size_t got = m_readAt(m_layout.dataStart + at, header, want);
        if (got < want) {
            // The file ends early (it shrank, or a read failed): the stream ends here.
            m_layout.dataBytes = at;
            break;
        }
        m_starts.push_back(m_starts.back() + DataOf(sector, ByteReader(header, got)).bytes);
    }
    return m_starts.size() > index + 1;
}

bool CdxaPayloadReader::Locate(uint64_t position, uint64_t* sector) {
    while (m_starts.back() <= position && m_starts.size() <= SectorCount()) {
        IndexThrough(m_starts.size() - 1 + kIndexBatchSectors);
    }
    if (m_starts.back() <= position) {
        return false;
    }
    auto after = std::upper_bound(m_starts.begin(), m_starts.end(), position);
    *sector = static_cast<uint64_t>(after - m_starts.begin()) - 1;
    return true;
}

size_t CdxaPayloadReader::Read(uint8_t* out, size_t count) {
    size_t done = 0;
    while (done < count) {
        uint64_t sector = 0;
        if (!Locate(m_position, &sector)) {
            break;
        }
        if (sector != m_sectorInBuffer) {
            uint64_t at = sector * cdxa::kSectorBytes;
            size_t want = static_cast<size_t>(
                std::min<uint64_t>(cdxa::kSectorBytes, m_layout.dataBytes - at));
            m_sector.resize(cdxa::kSectorBytes);
            size_t got = m_readAt(m_layout.dataStart + at, m_sector.data(), want);
            m_sectorInBuffer = UINT64_MAX;
            if (got < want) {
                break;  // a read error: give what was read so far
            }
            m_bufferData = DataOf(sector, ByteReader(m_sector.data(), got));
            m_sectorInBuffer = sector;
        }
        // The index's size rules; a sector that changed since it was indexed gives no more.
        uint64_t inner = m_position - m_starts[sector];
        uint64_t indexed = m_starts[sector + 1] - m_starts[sector];
        uint64_t present = std::min<uint64_t>(indexed, m_bufferData.bytes);
        if (inner >= present) {
            break;
        }
        size_t n = static_cast<size_t>(std::min<uint64_t>(present - inner, count - done));
        std::copy_n(m_sector.data() + m_bufferData.offset + inner, n, out + done);
        done += n;
        m_position += n;
        m_fileOffset =
            m_layout.dataStart + sector * cdxa::kSectorBytes + m_bufferData.offset + inner + n;
    }
    return done;
}

bool CdxaPayloadReader::Seek(uint64_t position) {
    uint64_t sector = 0;
    if (!Locate(position, &sector) && position != Size()) {
        return false;
    }
    m_position = position;
    return true;
}

uint64_t CdxaPayloadReader::Size() {
    IndexThrough(SectorCount());
    return m_starts.back();
}
