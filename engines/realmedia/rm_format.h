// Fixed layouts of the RealMedia container: chunk ids, header sizes and field offsets.
// Every number in the file is big-endian; times are milliseconds.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rm {

// A chunk id as a big-endian u32 read from the file ("PROP" -> 0x50524F50).
constexpr uint32_t ChunkId(const char (&s)[5]) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 8) |
           static_cast<uint32_t>(static_cast<uint8_t>(s[3]));
}

inline constexpr uint32_t kIdRmf = ChunkId(".RMF");
inline constexpr uint32_t kIdProp = ChunkId("PROP");
inline constexpr uint32_t kIdMdpr = ChunkId("MDPR");
inline constexpr uint32_t kIdCont = ChunkId("CONT");
inline constexpr uint32_t kIdData = ChunkId("DATA");
inline constexpr uint32_t kIdIndx = ChunkId("INDX");
// Metadata chunks some writers put after the data.
inline constexpr uint32_t kIdRmmd = ChunkId("RMMD");
inline constexpr uint32_t kIdRjmd = ChunkId("RJMD");

// Every chunk: id u32, size u32 (whole chunk), object version u16.
inline constexpr size_t kChunkHeadBytes = 10;

// ".RMF": file version u32, number of headers u32.
inline constexpr size_t kRmfBytes = 18;
inline constexpr size_t kRmfHeaderCount = 14;

// "PROP", version 0.
inline constexpr size_t kPropBytes = 50;
inline constexpr size_t kPropMaxBitRate = 10;
inline constexpr size_t kPropAvgBitRate = 14;
inline constexpr size_t kPropMaxPacket = 18;
inline constexpr size_t kPropAvgPacket = 22;
inline constexpr size_t kPropPackets = 26;
inline constexpr size_t kPropDuration = 30;
inline constexpr size_t kPropPreroll = 34;
inline constexpr size_t kPropIndexOffset = 38;
inline constexpr size_t kPropDataOffset = 42;
inline constexpr size_t kPropStreams = 46;
inline constexpr size_t kPropFlags = 48;

// "MDPR", version 0; the name, MIME type and type-specific data follow the fixed part.
inline constexpr size_t kMdprStream = 10;
inline constexpr size_t kMdprMaxBitRate = 12;
inline constexpr size_t kMdprAvgBitRate = 16;
inline constexpr size_t kMdprMaxPacket = 20;
inline constexpr size_t kMdprAvgPacket = 24;
inline constexpr size_t kMdprStartTime = 28;
inline constexpr size_t kMdprPreroll = 32;
inline constexpr size_t kMdprDuration = 36;
inline constexpr size_t kMdprNameLength = 40;
inline constexpr size_t kMdprFixedBytes = 46;  // with empty name, MIME type and data

// "DATA": version u16, packets u32, offset of the next DATA chunk u32; then packets.
inline constexpr size_t kDataHeadBytes = 18;
inline constexpr size_t kDataPackets = 10;
inline constexpr size_t kDataNext = 14;

// "INDX": version u16, entries u32, stream u16, offset of the next INDX u32; then entries of
// version u16, timestamp u32, packet offset u32, packet number u32.
inline constexpr size_t kIndxHeadBytes = 20;
inline constexpr size_t kIndxEntryBytes = 14;

// Packet header: version u16, length u16 (whole packet), stream u16, timestamp u32, then
// version 0: group u8, flags u8; version 1: ASM rule u16, ASM flags u8.
inline constexpr size_t kPacketHeadV0 = 12;
inline constexpr size_t kPacketHeadV1 = 13;
inline constexpr size_t kPacketLength = 2;
inline constexpr size_t kPacketStream = 4;
inline constexpr size_t kPacketTimestamp = 6;
inline constexpr size_t kPacketFlagsV0 = 11;
inline constexpr size_t kPacketAsmFlagsV1 = 12;
inline constexpr uint8_t kKeyFrameFlag = 0x02;
inline constexpr size_t kMaxPacketBytes = 0xFFFF;

// PROP flags written when input 1 sets none.
inline constexpr uint16_t kPropFlagSaveEnabled = 0x1;

// The largest offset a 32-bit field can hold: a joined file must end at or below it.
inline constexpr uint64_t kMaxFileBytes = 0xFFFFFFFFull;

}  // namespace rm
