#include "engines/asf/asf_index.h"

#include <algorithm>

#include "platform/bytes.h"

namespace asf {

namespace {

void PutGuid(ByteWriter& w, const GUID& id) {
    uint8_t raw[16];
    GuidToBytes(id, raw);
    w.Bytes(raw, 16);
}

constexpr uint64_t kLargestOffset = 0xFFFFFFFFu;

}  // namespace

IndexSeries::IndexSeries(BeforeFirst beforeFirst, uint64_t intervalUnits)
    : m_beforeFirst(beforeFirst), m_interval(std::max<uint64_t>(intervalUnits, 1)) {}

void IndexSeries::EmitUntil(uint64_t timeUnits) {
    while (m_nextEntry < timeUnits) {
        m_entries.push_back(m_latest);
        m_nextEntry += m_interval;
    }
}

void IndexSeries::Add(uint32_t presentationMs, uint64_t firstPacket, uint64_t lastPacket) {
    EmitUntil(uint64_t{presentationMs} * kUnitsPerMs);
    Entry entry;
    entry.packet = firstPacket;
    entry.span = static_cast<uint16_t>(std::min<uint64_t>(lastPacket - firstPacket + 1, 0xFFFF));
    if (!m_any && m_beforeFirst == BeforeFirst::kFirstObject) {
        for (Entry& before : m_entries) {
            before = entry;
        }
    }
    m_any = true;
    m_latest = entry;
}

void IndexSeries::FinishUntil(uint64_t playDuration) {
    EmitUntil(playDuration + 1);
}

Bytes SimpleIndexObject(const IndexSeries& series, const GUID& fileId) {
    uint32_t maxSpan = 1;
    for (const IndexSeries::Entry& e : series.Entries()) {
        maxSpan = std::max<uint32_t>(maxSpan, e.span);
    }
    const size_t count = std::min<size_t>(series.Entries().size(), 0xFFFFFFFFu);
    ByteWriter w;
    PutGuid(w, kSimpleIndexObject);
    w.LE64(kSimpleIndexFixed + count * kSimpleIndexEntrySize);
    PutGuid(w, fileId);
    w.LE64(series.IntervalUnits()).LE32(maxSpan).LE32(static_cast<uint32_t>(count));
    for (size_t i = 0; i < count; ++i) {
        const IndexSeries::Entry& e = series.Entries()[i];
        w.LE32(static_cast<uint32_t>(std::min<uint64_t>(e.packet, 0xFFFFFFFFu))).LE16(e.span);
    }
    return std::move(w.bytes());
}

Bytes IndexObject(const std::vector<IndexedStream>& streams, uint32_t packetSize) {
    size_t rows = 0;
    for (const IndexedStream& s : streams) {
        rows = std::max(rows, s.series->Entries().size());
    }
    auto offsetOf = [&](const IndexedStream& s, size_t row) {
        const auto& entries = s.series->Entries();
        const IndexSeries::Entry& e =
            entries.empty() ? IndexSeries::Entry{} : entries[std::min(row, entries.size() - 1)];
        return e.packet * packetSize;
    };
    // Offsets are 32-bit from a 64-bit block position: a new block begins wherever an entry
    // would not reach from the block's start.
    struct Block {
        size_t firstRow = 0;
        size_t rows = 0;
    };
    std::vector<Block> blocks;
    for (size_t row = 0; row < rows; ++row) {
        bool fits = !blocks.empty();
        for (size_t k = 0; fits && k < streams.size(); ++k) {
            uint64_t base = offsetOf(streams[k], blocks.back().firstRow);
            uint64_t offset = offsetOf(streams[k], row);
            fits = offset >= base && offset - base <= kLargestOffset;
        }
        if (!fits) {
            blocks.push_back({row, 0});
        }
        ++blocks.back().rows;
    }
    ByteWriter w;
    PutGuid(w, kIndexObject);
    w.LE64(0);
    w.LE32(static_cast<uint32_t>(kIndexIntervalUnits / kUnitsPerMs));
    w.LE16(static_cast<uint16_t>(streams.size())).LE32(static_cast<uint32_t>(blocks.size()));
    for (const IndexedStream& s : streams) {
        w.LE16(s.number).LE16(indexobject::kNearestPastCleanpoint);
    }
    for (const Block& b : blocks) {
        w.LE32(static_cast<uint32_t>(b.rows));
        for (const IndexedStream& s : streams) {
            w.LE64(offsetOf(s, b.firstRow));
        }
        for (size_t row = b.firstRow; row < b.firstRow + b.rows; ++row) {
            for (const IndexedStream& s : streams) {
                w.LE32(static_cast<uint32_t>(offsetOf(s, row) - offsetOf(s, b.firstRow)));
            }
        }
    }
    w.PatchLE64(16, w.size());
    return std::move(w.bytes());
}

}  // namespace asf
