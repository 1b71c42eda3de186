// Which packets of one input a join leaves out so that every video frame and every audio
// interleave block it copies is whole. Frames come in fragments and audio in blocks of
// sub-packet-height packets opened by a key packet; a unit the input does not finish (cut short
// at its end, or broken by damage the reader skipped) is left out, and after damage a stream
// starts again at its next key unit, as its decoder needs.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "engines/realmedia/rm_reader.h"

namespace rm {

struct DropRange {
    uint64_t from = 0;  // file offsets of packets, [from, to)
    uint64_t to = 0;
};

class UnitTracker {
public:
    explicit UnitTracker(const RmHeader& header);

    // Follows one packet as the reader gives it.
    void Follow(const Packet& packet);
    // The reader skipped damaged bytes before the packet at `at`.
    void Damage(uint64_t at);
    // The input has no more packets.
    void End();
    // Per stream, the packets to leave out; in offset order.
    const std::map<uint16_t, std::vector<DropRange>>& Drops() const { return m_drops; }
    bool DropsAny() const { return !m_drops.empty(); }

private:
    enum class Kind { Plain, Video, Blocks };
    struct Stream {
        Kind kind = Kind::Plain;
        uint16_t blockPackets = 0;
        bool open = false;
        uint64_t openStart = 0;
        uint32_t openTimestamp = 0;
        uint16_t openCount = 0;
        uint32_t openFrameBytes = 0;  // video: the open frame's size, and the bytes it has
        uint32_t openBytes = 0;
        bool awaitingKey = false;
        uint64_t awaitFrom = 0;
    };
    void Drop(uint16_t stream, uint64_t from, uint64_t to);
    // A unit starts with `packet`; false when it is left out while the stream awaits a key.
    bool UnitStarts(uint16_t number, Stream& s, const Packet& packet);

    std::map<uint16_t, Stream> m_streams;
    std::map<uint16_t, std::vector<DropRange>> m_drops;
};

// Answers, for packets in offset order, whether a join keeps them.
class DropFilter {
public:
    explicit DropFilter(const std::map<uint16_t, std::vector<DropRange>>* drops) : m_drops(drops) {}
    bool Keep(const Packet& packet);

private:
    const std::map<uint16_t, std::vector<DropRange>>* m_drops;
    std::map<uint16_t, size_t> m_next;
};

}  // namespace rm
