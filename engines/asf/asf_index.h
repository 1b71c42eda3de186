// The index objects that follow a written file's data, so that players can seek in it: a
// Simple Index (one stream's packets by time) and an Index Object (every stream's, as byte
// offsets). Both list, for each interval's time (preroll included), where the latest indexed
// object of a stream that starts at or before that time begins.
#pragma once

#include <cstdint>
#include <vector>

#include "engines/asf/asf_model.h"

namespace asf {

inline constexpr uint64_t kIndexIntervalUnits = 10'000'000;  // one entry a second

// Index Object layout: interval u32 (ms), specifier count u16, block count u32, then the
// specifiers {stream u16, index type u16} and the blocks {entry count u32, block positions u64
// per specifier, entries of one u32 offset per specifier}.
namespace indexobject {
inline constexpr size_t kFixed = 34;
inline constexpr uint16_t kNearestPastCleanpoint = 3;
}  // namespace indexobject

// The packets of one stream's indexed objects, one entry per interval.
class IndexSeries {
public:
    // `beforeFirst`: what entries before the stream's first object name; the Simple Index says
    // packet 0, the Index Object the packet of that first object.
    enum class BeforeFirst { kPacketZero, kFirstObject };
    explicit IndexSeries(BeforeFirst beforeFirst = BeforeFirst::kPacketZero,
                         uint64_t intervalUnits = kIndexIntervalUnits);

    // An indexed object (presentation time with the preroll, in ms) and the packets holding its
    // first and last byte; objects come in time order.
    void Add(uint32_t presentationMs, uint64_t firstPacket, uint64_t lastPacket);
    // Entries up to the play duration (100 ns, preroll included).
    void FinishUntil(uint64_t playDuration);

    struct Entry {
        uint64_t packet = 0;
        uint16_t span = 1;  // packets the object spans
    };
    const std::vector<Entry>& Entries() const { return m_entries; }
    uint64_t IntervalUnits() const { return m_interval; }

private:
    void EmitUntil(uint64_t timeUnits);

    BeforeFirst m_beforeFirst;
    uint64_t m_interval;
    uint64_t m_nextEntry = 0;  // 100-ns time of the next entry
    bool m_any = false;
    Entry m_latest;
    std::vector<Entry> m_entries;
};

// One Simple Index Object from a finished series.
Bytes SimpleIndexObject(const IndexSeries& series, const GUID& fileId);

// One Index Object over the series of several streams, each finished to the same duration;
// offsets count bytes from the first data packet.
struct IndexedStream {
    uint16_t number = 0;
    const IndexSeries* series = nullptr;
};
Bytes IndexObject(const std::vector<IndexedStream>& streams, uint32_t packetSize);

// The Simple Index as the writer built it before: video key frames of one stream.
class SimpleIndexBuilder {
public:
    explicit SimpleIndexBuilder(uint64_t intervalUnits = kIndexIntervalUnits)
        : m_series(IndexSeries::BeforeFirst::kPacketZero, intervalUnits) {}
    void AddKeyFrame(uint32_t presentationMs, uint64_t firstPacket, uint64_t lastPacket) {
        m_series.Add(presentationMs, firstPacket, lastPacket);
    }
    Bytes Finish(const GUID& fileId, uint64_t playDuration) {
        m_series.FinishUntil(playDuration);
        return SimpleIndexObject(m_series, fileId);
    }

private:
    IndexSeries m_series;
};

}  // namespace asf
