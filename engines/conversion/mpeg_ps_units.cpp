#include "engines/conversion/mpeg_ps_units.h"

#include <cstring>

#include "engines/conversion/mpeg_ps_facts.h"

using namespace mpegps;

namespace {

bool IsStartCode(ByteReader b, size_t at) {
    return b.U8(at) == 0 && b.U8(at + 1) == 0 && b.U8(at + 2) == 1 && b.Has(at, 3);
}

// Bytes to skip from the start of `b` to the next place a start code may begin.
size_t JunkBytes(ByteReader b) {
    const uint8_t* data = b.data();
    size_t size = b.size();
    size_t from = 1;
    while (from + 2 < size) {
        const void* one = std::memchr(data + from + 2, 0x01, size - from - 2);
        if (one == nullptr) {
            break;
        }
        size_t at = static_cast<size_t>(static_cast<const uint8_t*>(one) - data) - 2;
        if (data[at] == 0 && data[at + 1] == 0 &&
            (!b.Has(at + 3, 1) || data[at + 3] >= kProgramEnd)) {
            return at;
        }
        from = at + 1;
    }
    // The last two bytes may begin a start code that the next bytes complete.
    return size > 2 ? size - 2 : size;
}

PsUnit ReadPack(ByteReader b) {
    PsUnit unit;
    unit.code = kPackStart;
    if (!b.Has(kScrOffset, 1)) {
        unit.kind = PsUnitKind::kIncomplete;
        return unit;
    }
    uint8_t mark = b.U8(kScrOffset);
    if ((mark & kMpeg2PackMask) == kMpeg2PackBits) {
        unit.mpeg2 = true;
        if (!b.Has(kMpeg2StuffingOffset, 1)) {
            unit.kind = PsUnitKind::kIncomplete;
            unit.size = kMpeg2PackBytes;
            return unit;
        }
        unit.size = kMpeg2PackBytes + (b.U8(kMpeg2StuffingOffset) & 0x07);
    } else if ((mark & kMpeg1PackMask) == kMpeg1PackBits) {
        unit.size = kMpeg1PackBytes;
    } else {
        unit.kind = PsUnitKind::kJunk;
        unit.size = JunkBytes(b);
        return unit;
    }
    unit.kind = b.Has(0, unit.size) ? PsUnitKind::kPack : PsUnitKind::kIncomplete;
    return unit;
}

// The timestamp fields of a PES packet of `size` bytes; false when its header is malformed.
bool ReadPesHeader(ByteReader b, size_t size, PsUnit* unit) {
    if (PesWithoutHeader(unit->code)) {
        unit->payloadOffset = kPesHeaderBytes;
        return true;
    }
    uint8_t first = b.U8(kPesHeaderBytes);
    if (size > kPesHeaderBytes && (first & kMpeg2PesMask) == kMpeg2PesBits) {
        unit->mpeg2 = true;
        if (size < kMpeg2PesFieldsOffset) {
            return false;
        }
        uint8_t flags = b.U8(kMpeg2PesFlagsOffset);
        size_t fieldsEnd = kMpeg2PesFieldsOffset + b.U8(kMpeg2PesHeaderLengthOffset);
        if (fieldsEnd > size) {
            return false;
        }
        size_t at = kMpeg2PesFieldsOffset;
        if ((flags & kPtsFlag) != 0) {
            unit->ptsOffset = at;
            at += kTimestampBytes;
            if ((flags & kDtsFlag) != 0) {
                unit->dtsOffset = at;
                at += kTimestampBytes;
            }
        }
        if ((flags & kEscrFlag) != 0) {
            unit->escrOffset = at;
            at += kScrBytes;
        }
        if (at > fieldsEnd) {
            unit->ptsOffset = unit->dtsOffset = unit->escrOffset = 0;
            return false;
        }
        unit->payloadOffset = fieldsEnd;
        return true;
    }
    size_t at = kPesHeaderBytes;
    for (size_t n = 0; at < size && b.U8(at) == kMpeg1Stuffing && n < kMpeg1MaxStuffing; ++n) {
        ++at;
    }
    if (at < size && (b.U8(at) & kMpeg1StdMask) == kMpeg1StdBits) {
        at += kMpeg1StdBytes;
    }
    if (at >= size) {
        return false;
    }
    uint8_t times = b.U8(at) & kTimesMask;
    if (times == kPtsOnly && at + kTimestampBytes <= size) {
        unit->ptsOffset = at;
        at += kTimestampBytes;
    } else if (times == kPtsAndDts && at + 2 * kTimestampBytes <= size) {
        unit->ptsOffset = at;
        unit->dtsOffset = at + kTimestampBytes;
        at += 2 * kTimestampBytes;
    } else if (b.U8(at) == kMpeg1NoTimes) {
        ++at;
    } else {
        return false;
    }
    unit->payloadOffset = at;
    return true;
}

}  // namespace

bool PesWithoutHeader(uint8_t id) {
    return id == kProgramStreamMap || id == kPaddingStream || id == kPrivateStream2 ||
           id == kEcmStream || id == kEmmStream || id == kDsmccStream || id == kH2221TypeE ||
           id == kDirectory;
}

PsUnit ReadPsUnit(ByteReader b) {
    PsUnit unit;
    if (b.size() == 0) {
        return unit;
    }
    if (!IsStartCode(b, 0)) {
        unit.size = JunkBytes(b);
        return unit;
    }
    if (!b.Has(3, 1)) {
        unit.kind = PsUnitKind::kIncomplete;
        return unit;
    }
    unit.code = b.U8(3);
    if (unit.code < kProgramEnd) {
        unit.size = JunkBytes(b);
        return unit;
    }
    if (unit.code == kProgramEnd) {
        unit.kind = PsUnitKind::kEnd;
        unit.size = kStartCodeBytes;
        return unit;
    }
    if (unit.code == kPackStart) {
        return ReadPack(b);
    }
    if (!b.Has(kPesLengthOffset, 2)) {
        unit.kind = PsUnitKind::kIncomplete;
        return unit;
    }
    unit.size = kPesHeaderBytes + b.BE16(kPesLengthOffset);
    if (!b.Has(0, unit.size)) {
        unit.kind = PsUnitKind::kIncomplete;
        return unit;
    }
    if (unit.code == kSystemHeader) {
        unit.kind = PsUnitKind::kSystemHeader;
        return unit;
    }
    unit.kind = PsUnitKind::kPes;
    if (!ReadPesHeader(b, unit.size, &unit)) {
        // A header that does not parse: the packet is kept as it is, its data unread.
        unit.ptsOffset = unit.dtsOffset = unit.escrOffset = 0;
        unit.payloadOffset = unit.size;
    }
    return unit;
}

int64_t ReadTimestamp(const uint8_t* at) {
    return (static_cast<int64_t>((at[0] >> 1) & 0x07) << 30) | (static_cast<int64_t>(at[1]) << 22) |
           (static_cast<int64_t>(at[2] >> 1) << 15) | (static_cast<int64_t>(at[3]) << 7) |
           (at[4] >> 1);
}

void WriteTimestamp(uint8_t* at, int64_t t) {
    at[0] = static_cast<uint8_t>((at[0] & 0xF0) | (((t >> 30) & 0x07) << 1) | 1);
    at[1] = static_cast<uint8_t>(t >> 22);
    at[2] = static_cast<uint8_t>((((t >> 15) & 0x7F) << 1) | 1);
    at[3] = static_cast<uint8_t>(t >> 7);
    at[4] = static_cast<uint8_t>(((t & 0x7F) << 1) | 1);
}

int64_t ReadScrBase(const uint8_t* at) {
    return (static_cast<int64_t>((at[0] >> 3) & 0x07) << 30) |
           (static_cast<int64_t>(at[0] & 0x03) << 28) | (static_cast<int64_t>(at[1]) << 20) |
           (static_cast<int64_t>(at[2] >> 3) << 15) | (static_cast<int64_t>(at[2] & 0x03) << 13) |
           (static_cast<int64_t>(at[3]) << 5) | (at[4] >> 3);
}

void WriteScrBase(uint8_t* at, int64_t t) {
    at[0] = static_cast<uint8_t>((at[0] & 0xC0) | (((t >> 30) & 0x07) << 3) | 0x04 |
                                 ((t >> 28) & 0x03));
    at[1] = static_cast<uint8_t>(t >> 20);
    at[2] = static_cast<uint8_t>((((t >> 15) & 0x1F) << 3) | 0x04 | ((t >> 13) & 0x03));
    at[3] = static_cast<uint8_t>(t >> 5);
    at[4] = static_cast<uint8_t>(((t & 0x1F) << 3) | 0x04 | (at[4] & 0x03));
}

int64_t ShiftTime(int64_t time, int64_t shift) {
    int64_t t = (time + shift) % kTimeWrap;
    return t < 0 ? t + kTimeWrap : t;
}

int64_t TimeDifference(int64_t a, int64_t b) {
    int64_t d = (b - a) % kTimeWrap;
    if (d < 0) {
        d += kTimeWrap;
    }
    return d >= kTimeWrap / 2 ? d - kTimeWrap : d;
}

int64_t PackMuxRate(const uint8_t* p, bool mpeg2) {
    if (mpeg2) {
        return (static_cast<int64_t>(p[10]) << 14) | (p[11] << 6) | (p[12] >> 2);
    }
    return (static_cast<int64_t>(p[9] & 0x7F) << 15) | (p[10] << 7) | (p[11] >> 1);
}
