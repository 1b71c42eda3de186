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
inline constexpr size_t kChunkSize = 4;
inline constexpr size_t kChunkVersion = 8;
inline constexpr size_t kChunkIdAndSize = 8;  // the least a chunk can take
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
inline constexpr size_t kMdprNameLength = 40;  // u8, then the name, then the MIME type's u8
inline constexpr size_t kMdprName = 41;
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

// RealAudio header: the type-specific data of an audio stream, and the start of a bare .ra
// file. Offsets from its start.
inline constexpr char kRaMagic[] = ".ra\xfd";
inline constexpr size_t kRaVersion = 4;  // u16: 3, 4 or 5
// Version 3 (14.4 only) has a layout of its own.
inline constexpr size_t kRa3HeaderLength = 6;  // u16: bytes after offset 8
inline constexpr size_t kRa3HeaderBase = 8;
inline constexpr size_t kRa3BytesPerMinute = 16;  // u16
inline constexpr size_t kRa3AudioBytes = 18;      // u32
inline constexpr size_t kRa3FixedBytes = 18;      // what describes the codec
inline constexpr uint32_t kRa3FrameBytes = 20;    // 14.4: 20 ms per frame
inline constexpr char kRa3Name[] = ".ra3,lpcJ";
// Versions 4 and 5.
inline constexpr size_t kRaVersionText = 8;    // ".ra4" or ".ra5"
inline constexpr size_t kRaVersionDigit = 11;  // the digit of that text
inline constexpr size_t kRaDataSize = 12;      // u32; describes one file only
inline constexpr size_t kRaHeaderSize = 18;    // u32: header length - 16
inline constexpr size_t kRaHeaderSizeBase = 16;
inline constexpr size_t kRaFlavor = 22;           // u16
inline constexpr size_t kRaCodedFrameSize = 24;   // u32
inline constexpr size_t kRaAudioBytes = 28;       // u32; 0 when the encoder did not count
inline constexpr size_t kRaBytesPerMinute = 32;   // u32
inline constexpr size_t kRaBytesPerMinute2 = 36;  // u32: the same again, or 0
inline constexpr size_t kRaSubPacketHeight = 40;
inline constexpr size_t kRaFrameSize = 42;
inline constexpr size_t kRaSubPacketSize = 44;
inline constexpr size_t kRa4SampleRate = 48;
inline constexpr size_t kRa4SampleSize = 52;
inline constexpr size_t kRa4Channels = 54;
inline constexpr size_t kRa4Interleaver = 56;  // u8 length + id
inline constexpr size_t kRa4Fourcc = 62;       // u8 length + FourCC
inline constexpr size_t kRa4Strings = 69;      // title, author, copyright, comment
inline constexpr size_t kRa4StringCount = 4;
inline constexpr size_t kRa5SampleRate = 54;
inline constexpr size_t kRa5SampleSize = 58;
inline constexpr size_t kRa5Channels = 60;
inline constexpr size_t kRa5Interleaver = 62;
inline constexpr size_t kRa5Fourcc = 66;
inline constexpr size_t kRa5CodecDataLength = 74;  // u32
inline constexpr size_t kRa5CodecData = 78;

// Interleavers that spread each block of sub-packet-height packets over one another, so that a
// block plays only whole ("Int0", "vbrs" and "vbrf" packets stand alone).
inline constexpr const char* kBlockInterleavers[] = {"genr", "Int4", "sipr"};

// RealVideo type-specific data: size u32, "VIDO", FourCC, width u16, height u16, bit count u16,
// pad u16 x2, frame rate u32 (16.16), then the codec's own data.
inline constexpr char kVidoMagic[] = "VIDO";
inline constexpr size_t kVidoMagicAt = 4;
inline constexpr size_t kVidoFourcc = 8;
inline constexpr size_t kVidoWidth = 12;
inline constexpr size_t kVidoHeight = 14;
inline constexpr size_t kVidoFrameRate = 22;  // u32, 16.16; its high u16 is the whole part
inline constexpr size_t kVidoMinBytes = 26;

// PROP flags written when input 1 sets none.
inline constexpr uint16_t kPropFlagSaveEnabled = 0x1;

// The largest offset a 32-bit field can hold: a joined file must end at or below it.
inline constexpr uint64_t kMaxFileBytes = 0xFFFFFFFFull;

}  // namespace rm
