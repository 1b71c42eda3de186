// MPEG program streams: a whole file ends with its program end code, or at least at the end of
// a pack or packet. One that ends inside a packet was cut there; the conversion module's scan
// counted the pictures before the cut. A Video CD file says its length in its RIFF header.
#include <algorithm>

#include "engines/conversion/mpeg_ps_facts.h"
#include "platform/bytes.h"
#include "platform/riff_format.h"
#include "probe/cut_short.h"

namespace {

using namespace mpegps;

// Room for a few of the largest packets (a PES packet takes at most 6 + 65535 bytes).
constexpr size_t kTailBytes = 256 * 1024;
// Packets in a row that must follow each other before the walk is believed.
constexpr int kChainPackets = 3;
constexpr size_t kPackStuffingMask = 0x07;

enum class TailEnd { kUnknown, kWhole, kCut };

bool StartCodeAt(ByteReader bytes, size_t at) {
    return bytes.Has(at, kStartCodeBytes) && bytes.U8(at) == 0 && bytes.U8(at + 1) == 0 &&
           bytes.U8(at + 2) == 1;
}

bool OnlyZerosFrom(ByteReader bytes, size_t at) {
    for (size_t i = at; i < bytes.size(); ++i) {
        if (bytes.U8(i) != 0) {
            return false;
        }
    }
    return true;
}

// The length of the pack header at `at`, or 0 when it is none.
size_t PackHeaderBytes(ByteReader bytes, size_t at) {
    uint8_t marker = bytes.U8(at + kStartCodeBytes);
    if ((marker & kMpeg2PackMask) == kMpeg2PackBits) {
        return kMpeg2PackBytes + (bytes.U8(at + kMpeg2StuffingOffset) & kPackStuffingMask);
    }
    return (marker & kMpeg1PackMask) == kMpeg1PackBits ? kMpeg1PackBytes : 0;
}

// The bytes a pack, packet or end code at `at` takes, or 0 when there is none there.
size_t UnitBytes(ByteReader tail, size_t at) {
    uint8_t code = tail.U8(at + 3);
    if (code == kProgramEnd) {
        return kStartCodeBytes;
    }
    if (code == kPackStart) {
        return PackHeaderBytes(tail, at);
    }
    if (code >= kSystemHeader) {
        return kPesHeaderBytes + tail.BE16(at + kPesLengthOffset);
    }
    return 0;
}

// Walks packs and packets from the start code at `at` to the end of `tail`. Where it lost its
// way goes to `lostAt`; only a walk over a few packets in a row is believed.
TailEnd WalkFrom(ByteReader tail, size_t at, size_t& lostAt) {
    int packets = 0;
    auto judged = [&packets](TailEnd end) {
        return packets >= kChainPackets ? end : TailEnd::kUnknown;
    };
    while (at < tail.size()) {
        if (OnlyZerosFrom(tail, at)) {
            return judged(TailEnd::kWhole);  // padding after the last packet
        }
        lostAt = at;
        if (!tail.Has(at, kPesHeaderBytes)) {
            // A start code or packet header cut in two, or the end code.
            bool endCode = tail.Has(at, kStartCodeBytes) && StartCodeAt(tail, at) &&
                           tail.U8(at + 3) == kProgramEnd && at + kStartCodeBytes == tail.size();
            return judged(endCode ? TailEnd::kWhole : TailEnd::kCut);
        }
        size_t length = StartCodeAt(tail, at) ? UnitBytes(tail, at) : 0;
        if (length == 0) {
            return TailEnd::kUnknown;  // lost: not the packets we took them for
        }
        if (!tail.Has(at, length)) {
            return judged(TailEnd::kCut);  // the packet goes on past the end of the file
        }
        ++packets;
        at += length;
    }
    return judged(TailEnd::kWhole);
}

TailEnd JudgeTail(ByteReader tail) {
    for (size_t at = 0; at + kStartCodeBytes <= tail.size(); ++at) {
        if (StartCodeAt(tail, at) && tail.U8(at + 3) >= kPackStart) {
            size_t lostAt = at;
            TailEnd end = WalkFrom(tail, at, lostAt);
            if (end != TailEnd::kUnknown) {
                return end;
            }
            // The packets before the place it lost its way lead there again: go on after it.
            at = std::max(at, lostAt);
        }
    }
    return TailEnd::kUnknown;
}

}  // namespace

CutShortFinding FindMpegCutShort(const CutShortReadAt& read, uint64_t fileSize,
                                 double scannedSeconds) {
    CutShortFinding finding;
    finding.readableSeconds = scannedSeconds;
    std::vector<uint8_t> headBytes = ReadSpan(read, 0, riff::kRiffHeaderBytes);
    ByteReader head(headBytes);
    if (head.Matches(0, riff::kRiff) && head.Matches(riff::kFormTypeOffset, riff::kFormCdxa)) {
        uint32_t size = head.LE32(riff::kChunkSizeOffset);
        uint64_t promisedEnd = riff::kChunkHeaderBytes + uint64_t{size};
        finding.cutShort = size != 0 && promisedEnd > fileSize;
        return finding;
    }
    uint64_t tailStart = fileSize > kTailBytes ? fileSize - kTailBytes : 0;
    std::vector<uint8_t> tailBytes =
        ReadSpan(read, tailStart, static_cast<size_t>(fileSize - tailStart));
    finding.cutShort = JudgeTail(ByteReader(tailBytes)) == TailEnd::kCut;
    return finding;
}
