// The units of an MPEG program stream (packs, system headers, PES packets, the end code), read
// with bounded reads from a window of bytes, and the 33-bit clock fields they carry. No FFmpeg.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/bytes.h"

enum class PsUnitKind {
    kPack,  // a pack header (the packets of the pack follow as units of their own)
    kSystemHeader,
    kPes,         // a PES packet of any stream, padding and private streams included
    kEnd,         // the program end code
    kJunk,        // bytes that are no unit: skipped up to the next possible start code
    kIncomplete,  // the unit runs past the bytes given
};

struct PsUnit {
    PsUnitKind kind = PsUnitKind::kJunk;
    size_t size = 0;  // bytes of the unit (for kIncomplete: bytes it needs, when known)
    uint8_t code = 0;
    bool mpeg2 = false;        // pack: MPEG-2 layout; PES: MPEG-2 header
    size_t payloadOffset = 0;  // PES: where its data begins inside the unit
    size_t ptsOffset = 0;      // PES: 0 when it carries no PTS
    size_t dtsOffset = 0;      // PES: 0 when it carries no DTS
    size_t escrOffset = 0;     // PES: 0 when it carries no ESCR
};

// The unit at the start of `bytes`. Bytes at the end of the stream that cannot begin a unit are
// kJunk, so every call takes at least one byte when `bytes` is not empty.
PsUnit ReadPsUnit(ByteReader bytes);

// True for stream ids whose PES packets carry no timestamp header (padding, private stream 2,
// the stream map, ...).
bool PesWithoutHeader(uint8_t streamId);

// 33-bit clock fields. `at` points at the field's first byte; the caller has checked that the
// field lies inside the unit.
int64_t ReadTimestamp(const uint8_t* at);        // PTS, DTS, MPEG-1 SCR (5 bytes)
void WriteTimestamp(uint8_t* at, int64_t time);  // keeps the 4-bit prefix
int64_t ReadScrBase(const uint8_t* at);          // MPEG-2 SCR and ESCR (6 bytes)
void WriteScrBase(uint8_t* at, int64_t base);    // keeps the extension and the top 2 bits

// The program_mux_rate of the pack header at `pack` (its whole header lies inside the unit), in
// units of 50 bytes per second.
int64_t PackMuxRate(const uint8_t* pack, bool mpeg2);

// `time` moved by `shift`, within the 33-bit range.
int64_t ShiftTime(int64_t time, int64_t shift);
// b - a for two 33-bit times, taken as the nearest difference across a wrap.
int64_t TimeDifference(int64_t a, int64_t b);
