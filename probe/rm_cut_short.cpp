// Real Media: the DATA chunk's size and the index's place (from PROP) against the file's size;
// the timestamp of the last whole packet, found by following packet lengths through the tail,
// says how far a cut file goes.
#include <algorithm>

#include "engines/realmedia/rm_format.h"
#include "platform/bytes.h"
#include "probe/cut_short.h"

namespace {

using namespace rm;

// The headers before DATA are small; the tail holds enough packets to find their chain.
constexpr size_t kHeadBytes = 64 * 1024;
constexpr size_t kTailBytes = 256 * 1024;
// Packets in a row that must follow each other up to the cut before their times are believed.
constexpr int kChainPackets = 3;
// Bytes a DATA chunk may claim beyond the end of a whole file (less than a packet header).
constexpr uint64_t kWriterOvercount = 10;

struct RmPromise {
    double seconds = -1;
    uint32_t streams = 0;
    uint32_t maxPacket = 0;
    uint64_t indexOffset = 0;
    uint64_t dataStart = 0;  // the DATA chunk
    uint64_t dataSize = 0;
};

bool ReadPromise(ByteReader head, RmPromise& promise) {
    if (!head.Matches(0, ".RMF")) {
        return false;
    }
    uint64_t at = head.BE32(kChunkSize);
    bool haveProp = false;
    while (head.Has(static_cast<size_t>(at), kChunkIdAndSize)) {
        size_t here = static_cast<size_t>(at);
        uint32_t size = head.BE32(here + kChunkSize);
        if (head.Matches(here, "PROP") && head.Has(here, kPropBytes)) {
            promise.seconds = head.BE32(here + kPropDuration) / 1000.0;
            promise.maxPacket = head.BE32(here + kPropMaxPacket);
            promise.indexOffset = head.BE32(here + kPropIndexOffset);
            promise.streams = head.BE16(here + kPropStreams);
            haveProp = true;
        } else if (head.Matches(here, "DATA")) {
            promise.dataStart = at;
            promise.dataSize = size;
            return haveProp;
        }
        if (size < kChunkIdAndSize) {
            return false;
        }
        at += size;
    }
    return false;
}

// The packet header at `at` of `tail`, when it is one the file could hold.
bool PacketAt(ByteReader tail, size_t at, const RmPromise& promise, uint16_t& length,
              uint32_t& timestamp) {
    if (!tail.Has(at, kPacketHeadV0)) {
        return false;
    }
    uint16_t version = tail.BE16(at);
    length = tail.BE16(at + kPacketLength);
    size_t head = version == 0 ? kPacketHeadV0 : kPacketHeadV1;
    uint32_t maxLength = promise.maxPacket != 0 ? promise.maxPacket + kPacketHeadV1
                                                : static_cast<uint32_t>(kMaxPacketBytes);
    timestamp = tail.BE32(at + kPacketTimestamp);
    return version <= 1 && length >= head && length <= maxLength &&
           tail.BE16(at + kPacketStream) < promise.streams &&
           (promise.seconds <= 0 || timestamp <= promise.seconds * 1000.0 + 60000.0);
}

// The latest timestamp of the whole packets of a chain that runs from the tail's `start` to
// its end, or -1 when no chain of packets does. `deadEnds` marks the places whose chains were
// found not to reach the end, so that no place is followed twice.
double ChainEnd(ByteReader tail, size_t start, const RmPromise& promise,
                std::vector<bool>& deadEnds) {
    size_t at = start;
    int packets = 0;
    uint32_t latest = 0;
    uint16_t length = 0;
    uint32_t timestamp = 0;
    std::vector<size_t> visited;
    while (!deadEnds[at] && PacketAt(tail, at, promise, length, timestamp)) {
        if (!tail.Has(at, length)) {
            break;  // the packet the cut went through
        }
        visited.push_back(at);
        latest = std::max(latest, timestamp);
        ++packets;
        at += length;
        if (at >= tail.size()) {
            break;
        }
    }
    // The chain must end at the cut: nothing but a part of a packet after its last whole one.
    bool reachesCut = at + kPacketHeadV0 > tail.size() ||
                      (!deadEnds[at] && PacketAt(tail, at, promise, length, timestamp));
    if (!reachesCut) {
        for (size_t place : visited) {
            deadEnds[place] = true;
        }
    }
    return packets >= kChainPackets && reachesCut ? latest / 1000.0 : -1;
}

}  // namespace

CutShortFinding FindRmCutShort(const CutShortReadAt& read, uint64_t fileSize) {
    std::vector<uint8_t> headBytes = ReadSpan(read, 0, kHeadBytes);
    RmPromise promise;
    if (!ReadPromise(ByteReader(headBytes), promise)) {
        return {};
    }
    CutShortFinding finding;
    finding.promisedSeconds = promise.seconds;
    uint64_t dataEnd = promise.dataStart + promise.dataSize;
    // ffmpeg's writer counts a few bytes in its DATA chunk that it does not write.
    bool dataWhole = promise.dataSize >= kDataHeadBytes && fileSize + kWriterOvercount >= dataEnd;
    if (promise.dataSize == 0) {
        // A writer that did not finish the chunk: the index, when it names a place, stands
        // for the end of the data.
        dataWhole = promise.indexOffset == 0 || fileSize >= promise.indexOffset;
        dataEnd = promise.indexOffset;
    }
    if (dataWhole) {
        if (promise.indexOffset != 0 && promise.indexOffset >= dataEnd &&
            fileSize < promise.indexOffset + kIndxHeadBytes) {
            finding.cutShort = true;
            finding.indexMissing = true;
            finding.readableSeconds = promise.seconds;
        }
        return finding;
    }
    finding.cutShort = true;
    uint64_t packetsStart = promise.dataStart + kDataHeadBytes;
    if (fileSize <= packetsStart) {
        finding.readableSeconds = 0;
        return finding;
    }
    uint64_t tailStart = std::max(packetsStart, fileSize > kTailBytes ? fileSize - kTailBytes : 0);
    std::vector<uint8_t> tailBytes =
        ReadSpan(read, tailStart, static_cast<size_t>(fileSize - tailStart));
    ByteReader tail(tailBytes);
    std::vector<bool> deadEnds(tail.size() + 1, false);
    for (size_t start = 0; start + kPacketHeadV0 <= tail.size(); ++start) {
        double end = ChainEnd(tail, start, promise, deadEnds);
        if (end >= 0) {
            finding.readableSeconds = end;
            break;
        }
    }
    if (finding.readableSeconds < 0 && promise.seconds > 0 && dataEnd > packetsStart) {
        // No chain found: the share of the data that is there.
        finding.readableSeconds = promise.seconds * static_cast<double>(fileSize - packetsStart) /
                                  static_cast<double>(dataEnd - packetsStart);
    }
    if (promise.seconds > 0) {
        finding.readableSeconds = std::min(finding.readableSeconds, promise.seconds);
    }
    return finding;
}
