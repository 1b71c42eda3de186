// Test support: MPEG program stream units built byte by byte, and a walk over a whole stream's
// units for the checks of the tests.
#pragma once

#include <cstdint>
#include <vector>

#include "engines/conversion/mpeg_ps_units.h"

namespace kjtest {

inline void PutTimestamp(std::vector<uint8_t>& out, uint8_t prefix, int64_t t) {
    uint8_t b[5] = {static_cast<uint8_t>(prefix << 4)};
    WriteTimestamp(b, t);
    out.insert(out.end(), b, b + 5);
}

// An MPEG-2 pack header with SCR base `scr` and a mux rate of 10.08 Mbit/s.
inline std::vector<uint8_t> Mpeg2PackHeader(int64_t scr) {
    std::vector<uint8_t> p = {0, 0, 1, 0xBA, 0x44, 0, 0x04, 0, 0x04, 0x01, 0x01, 0x89, 0xC3, 0xF8};
    WriteScrBase(p.data() + 4, scr);
    return p;
}

// An MPEG-2 PES packet of `id` (and private stream 1 `subId` when id is 0xBD) with a PTS and
// `payload` bytes of data.
inline std::vector<uint8_t> Mpeg2Pes(uint8_t id, int subId, int64_t pts,
                                     const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> body = {0x81, 0x80, 5};
    PutTimestamp(body, 0x2, pts);
    if (subId >= 0) {
        body.push_back(static_cast<uint8_t>(subId));
    }
    body.insert(body.end(), payload.begin(), payload.end());
    std::vector<uint8_t> p = {
        0, 0, 1, id, static_cast<uint8_t>(body.size() >> 8), static_cast<uint8_t>(body.size())};
    p.insert(p.end(), body.begin(), body.end());
    return p;
}

// A DVD subpicture pack of `packBytes` bytes: pack header, a subpicture PES (private stream 1,
// sub id 0x20) with `pts`, and a padding packet filling the rest.
inline std::vector<uint8_t> SubpicturePack(int64_t scr, int64_t pts, size_t packBytes = 2048) {
    std::vector<uint8_t> pack = Mpeg2PackHeader(scr);
    // A tiny subpicture unit: its size, the offset of its control sequence, and that sequence.
    std::vector<uint8_t> unit = {0x00, 0x0A, 0x00, 0x04, 0x00, 0x00, 0x00, 0x08, 0x01, 0xFF};
    std::vector<uint8_t> pes = Mpeg2Pes(0xBD, 0x20, pts, unit);
    pack.insert(pack.end(), pes.begin(), pes.end());
    size_t left = packBytes - pack.size() - 6;
    std::vector<uint8_t> padding = {
        0, 0, 1, 0xBE, static_cast<uint8_t>(left >> 8), static_cast<uint8_t>(left)};
    padding.resize(6 + left, 0xFF);
    pack.insert(pack.end(), padding.begin(), padding.end());
    return pack;
}

// Every unit of a whole stream, with where it lies.
struct WalkedUnit {
    size_t at;
    PsUnit unit;
};
inline std::vector<WalkedUnit> WalkUnits(const std::vector<uint8_t>& bytes) {
    std::vector<WalkedUnit> units;
    for (size_t at = 0; at < bytes.size();) {
        PsUnit unit = ReadPsUnit(ByteReader(bytes.data() + at, bytes.size() - at));
        if (unit.kind == PsUnitKind::kIncomplete || unit.size == 0) {
            break;
        }
        units.push_back({at, unit});
        at += unit.size;
    }
    return units;
}

}  // namespace kjtest
