// On-disk facts of the ASF container: object ids, fixed layouts and field codes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/com.h"

namespace asf {

// ---- Object ids ----
inline constexpr GUID kHeaderObject = GuidFromString("75B22630-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr GUID kDataObject = GuidFromString("75B22636-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr GUID kSimpleIndexObject = GuidFromString("33000890-E5B1-11CF-89F4-00A0C90349CB");
inline constexpr GUID kIndexObject = GuidFromString("D6E229D3-35DA-11D1-9034-00A0C90349BE");
inline constexpr GUID kFileProperties = GuidFromString("8CABDCA1-A947-11CF-8EE4-00C00C205365");
inline constexpr GUID kStreamProperties = GuidFromString("B7DC0791-A9B7-11CF-8EE6-00C00C205365");
inline constexpr GUID kHeaderExtension = GuidFromString("5FBF03B5-A92E-11CF-8EE3-00C00C205365");
inline constexpr GUID kCodecList = GuidFromString("86D15240-311D-11D0-A3A4-00A0C90348F6");
inline constexpr GUID kScriptCommand = GuidFromString("1EFB1A30-0B62-11D0-A39B-00A0C90348F6");
inline constexpr GUID kMarker = GuidFromString("F487CD01-A951-11CF-8EE6-00C00C205365");
inline constexpr GUID kBitrateMutualExclusion =
    GuidFromString("D6E229DC-35DA-11D1-9034-00A0C90349BE");
inline constexpr GUID kContentDescription = GuidFromString("75B22633-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr GUID kExtendedContentDescription =
    GuidFromString("D2D0A440-E307-11D2-97F0-00A0C95EA850");
inline constexpr GUID kStreamBitrateProperties =
    GuidFromString("7BF875CE-468D-11D1-8D82-006097C9A2B2");
inline constexpr GUID kContentEncryption = GuidFromString("2211B3FB-BD23-11D2-B4B7-00A0C955FC6E");
inline constexpr GUID kExtendedContentEncryption =
    GuidFromString("298AE614-2622-4C17-B935-DAE07EE9289C");
inline constexpr GUID kDigitalSignature = GuidFromString("2211B3FC-BD23-11D2-B4B7-00A0C955FC6E");
inline constexpr GUID kAdvancedContentEncryption =
    GuidFromString("43058533-6981-49E6-9B74-AD12CB86D58C");
inline constexpr GUID kPadding = GuidFromString("1806D474-CADF-4509-A4BA-9AABCB96AAE8");
inline constexpr GUID kExtendedStreamProperties =
    GuidFromString("14E6A5CB-C672-4332-8399-A96952065B5A");
inline constexpr GUID kAdvancedMutualExclusion =
    GuidFromString("A08649CF-4775-4670-8A16-6E35357566CD");
inline constexpr GUID kGroupMutualExclusion =
    GuidFromString("D1465A40-5A79-4338-B71B-E36B8FD6C249");
inline constexpr GUID kStreamPrioritization =
    GuidFromString("D4FED15B-88D3-454F-81F0-ED5C45999E24");
inline constexpr GUID kBandwidthSharing = GuidFromString("A69609E6-517B-11D2-B6AF-00C04FD908E9");
inline constexpr GUID kLanguageList = GuidFromString("7C4346A9-EFE0-4BFC-B229-393EDE415C85");
inline constexpr GUID kMetadata = GuidFromString("C5F8CBEA-5BAF-4877-8467-AA8C44FA4CCA");
inline constexpr GUID kMetadataLibrary = GuidFromString("44231C94-9498-49D1-A141-1D134E457054");
inline constexpr GUID kIndexParameters = GuidFromString("D6E229DF-35DA-11D1-9034-00A0C90349BE");

// ---- Stream types and other ids ----
inline constexpr GUID kAudioMedia = GuidFromString("F8699E40-5B4D-11CF-A8FD-00805F5C442B");
inline constexpr GUID kVideoMedia = GuidFromString("BC19EFC0-5B4D-11CF-A8FD-00805F5C442B");
inline constexpr GUID kCommandMedia = GuidFromString("59DACFC0-59E6-11D0-A3AC-00A0C90348F6");
inline constexpr GUID kJfifMedia = GuidFromString("B61BE100-5B4E-11CF-A8FD-00805F5C442B");
inline constexpr GUID kDegradableJpegMedia = GuidFromString("35907DE0-E415-11CF-A917-00805F5C442B");
inline constexpr GUID kFileTransferMedia = GuidFromString("91BD222C-F21C-497A-8B6D-5AA86BFC0185");
inline constexpr GUID kBinaryMedia = GuidFromString("3AFB65E2-47EF-40F2-AC2C-70A90D71D343");
inline constexpr GUID kNoErrorCorrection = GuidFromString("20FB5700-5B55-11CF-A8FD-00805F5C442B");
inline constexpr GUID kAudioSpread = GuidFromString("BFC3CD50-618F-11CF-8BB2-00AA00B4E220");
inline constexpr GUID kReserved1 = GuidFromString("ABD3D211-A9BA-11CF-8EE6-00C00C205365");
inline constexpr GUID kReserved2 = GuidFromString("86D15241-311D-11D0-A3A4-00A0C90348F6");
inline constexpr GUID kReserved3 = GuidFromString("4B1ACBE3-100B-11D0-A39B-00A0C90348F6");
inline constexpr GUID kReserved4 = GuidFromString("4CFEDB20-75F6-11CF-9C0F-00A0C90349CB");
inline constexpr GUID kPayloadExtSampleDuration =
    GuidFromString("C6BD9450-867F-4907-83A3-C77921B733AD");

// ---- Object framing ----
inline constexpr size_t kGuidBytes = 16;
inline constexpr size_t kObjectSizeField = 16;    // u64, after the GUID
inline constexpr size_t kObjectHeaderSize = 24;   // GUID + u64 size
inline constexpr size_t kHeaderObjectFixed = 30;  // + child count u32, reserved u8 u8
inline constexpr uint8_t kHeaderReserved1 = 0x01;
inline constexpr uint8_t kHeaderReserved2 = 0x02;
inline constexpr size_t kDataObjectFixed = 50;  // + file id, packet count u64, reserved u16
inline constexpr uint16_t kDataObjectReserved = 0x0101;
inline constexpr size_t kHeaderExtensionFixed = 46;
inline constexpr uint16_t kHeaderExtensionReserved = 6;
inline constexpr size_t kSimpleIndexFixed = 56;
inline constexpr size_t kSimpleIndexEntrySize = 6;

// File Properties (offsets from the object start).
namespace fileprops {
inline constexpr size_t kFileId = 24;
inline constexpr size_t kFileSize = 40;
inline constexpr size_t kCreationDate = 48;
inline constexpr size_t kPacketCount = 56;
inline constexpr size_t kPlayDuration = 64;
inline constexpr size_t kSendDuration = 72;
inline constexpr size_t kPreroll = 80;
inline constexpr size_t kFlags = 88;
inline constexpr size_t kMinPacketSize = 92;
inline constexpr size_t kMaxPacketSize = 96;
inline constexpr size_t kMaxBitrate = 100;
inline constexpr size_t kSize = 104;
inline constexpr uint32_t kFlagBroadcast = 0x1;
inline constexpr uint32_t kFlagSeekable = 0x2;
}  // namespace fileprops

// Stream Properties.
namespace streamprops {
inline constexpr size_t kStreamType = 24;
inline constexpr size_t kErrorCorrectionType = 40;
inline constexpr size_t kTimeOffset = 56;
inline constexpr size_t kTypeSpecificLength = 64;
inline constexpr size_t kErrorCorrectionLength = 68;
inline constexpr size_t kFlags = 72;
inline constexpr size_t kReserved = 74;
inline constexpr size_t kTypeSpecificData = 78;
inline constexpr uint16_t kStreamNumberMask = 0x7F;
inline constexpr uint16_t kEncryptedFlag = 0x8000;
}  // namespace streamprops

// Video type-specific data (offsets within that data).
namespace videoinfo {
inline constexpr size_t kEncodedWidth = 0;
inline constexpr size_t kEncodedHeight = 4;
inline constexpr size_t kReservedFlags = 8;
inline constexpr size_t kFormatDataSize = 9;
inline constexpr size_t kBitmapInfo = 11;
inline constexpr size_t kBitmapInfoSize = 40;
}  // namespace videoinfo

inline constexpr size_t kWaveFormatExSize = 18;
// WAVEFORMATEX and BITMAPINFOHEADER fields the readers use (offsets within those records).
namespace waveformat {
inline constexpr size_t kFormatTag = 0;
inline constexpr size_t kChannels = 2;
inline constexpr size_t kSamplesPerSec = 4;
inline constexpr size_t kAvgBytesPerSec = 8;
}  // namespace waveformat
namespace bitmapinfo {
inline constexpr size_t kCompression = 16;  // the FourCC
}  // namespace bitmapinfo

// Fields of a stream's media type that no decoder reads: two inputs that differ only in them
// play as one stream, so the join leaves them out of its comparison. Offsets are within the
// format bytes (VIDEOINFOHEADER with its BITMAPINFOHEADER, or WAVEFORMATEX) and, for codec
// data, within the bytes that follow those records. The output keeps the first file's values;
// its stream bit rates and buffer windows are raised to the largest, so every packet fits.
// The bit rates and buffer sizes of the Stream Properties, Extended Stream Properties and
// Stream Bitrate Properties, and the File Properties' largest bit rate, size buffers only and
// are never compared.
namespace unread {
// VIDEOINFOHEADER dwBitRate: the nominal rate, for a player's buffering; every video decoder
// works from the bitstream and the BITMAPINFOHEADER.
inline constexpr size_t kVideoBitRate = 32;
inline constexpr size_t kVideoCodecData = 88;  // after VIDEOINFOHEADER + BITMAPINFOHEADER
// WMV2 codec data, first 16 bits MSB first: frame rate (5 bits) and bit rate in 1024 bit/s
// (11 bits). Its decoder stores the bit rate and never uses it (the intra prediction mode that
// once followed it is fixed off). The frame rate is no more read, but stays compared: a file
// without Extended Stream Properties states its frame rate only there, and files of two frame
// rates are a difference the user is told of. The coding flags and slice count that follow are
// read.
inline constexpr uint8_t kWmv2HintMask[] = {0x07, 0xFF};
// WMV3 (VC-1 Simple and Main profile) sequence header, first 16 bits, MSB first: PROFILE (2),
// two reserved bits, then FRMRTQ_POSTPROC (3) and BITRTQ_POSTPROC (5), the quantized frame
// and bit rate given for post-processing only; nothing in a picture's decoding depends on them.
// The Advanced profile (PROFILE 3) carries its sequence header in the stream and is compared.
inline constexpr uint8_t kWmv3HintMask[] = {0x0F, 0xF0};
inline constexpr uint8_t kVc1AdvancedProfile = 3;  // the two top bits of the first byte
// WAVEFORMATEX nAvgBytesPerSec, for MPEG audio only: its decoder takes the rate of every
// frame from that frame's header. The WMA 1 and 2 decoders derive their noise coding, band
// limit and superframe offsets from this rate, so for them it is compared.
inline constexpr size_t kWaveAvgBytesPerSec = 8;
inline constexpr uint16_t kMpegAudioTag = 0x0055;
// WMA 2 codec data: samples per block (u32 at 0) and super block size (u32 at 6) describe the
// encoder's settings; the decoder takes its frame length from the sample rate and version and
// reads only the encoder options (u16 at 4). WMA 1: samples per block (u16 at 0), options at 2.
inline constexpr uint16_t kWma1Tag = 0x0160;
inline constexpr uint16_t kWma2Tag = 0x0161;
// Masks of the bits no decoder reads, from the codec data's first byte.
inline constexpr uint8_t kWma2UnreadMask[] = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
inline constexpr uint8_t kWma1UnreadMask[] = {0xFF, 0xFF, 0, 0};
inline constexpr size_t kWma2EncodeOptions = 4;
inline constexpr size_t kWma1EncodeOptions = 2;
}  // namespace unread

// Codec List: reserved GUID, entry count u32, then entries of type u16, name length u16 (chars),
// name, description length u16 (chars), description, information length u16, information.
namespace codeclist {
inline constexpr size_t kEntryCount = 40;
inline constexpr size_t kFirstEntry = 44;
inline constexpr size_t kFourccInfoBytes = 4;  // a video entry's information: its FourCC
}  // namespace codeclist

// Stream Bitrate Properties: record count u16, then records of flags u16 (the stream number in
// the low 7 bits) and average bitrate u32 (bits/s).
namespace streambitrates {
inline constexpr size_t kRecordCount = 24;
inline constexpr size_t kFirstRecord = 26;
inline constexpr size_t kRecordBytes = 6;
inline constexpr size_t kRecordBitrate = 2;
}  // namespace streambitrates

inline constexpr uint64_t kHundredNsPerSecond = 10'000'000;  // ASF times count 100 ns

// Extended Stream Properties.
namespace extprops {
inline constexpr size_t kStartTime = 24;
inline constexpr size_t kEndTime = 32;
inline constexpr size_t kDataBitrate = 40;
inline constexpr size_t kBufferSize = 44;
inline constexpr size_t kInitialBufferFullness = 48;
inline constexpr size_t kAltDataBitrate = 52;
inline constexpr size_t kAltBufferSize = 56;
inline constexpr size_t kAltInitialBufferFullness = 60;
inline constexpr size_t kMaxObjectSize = 64;
inline constexpr size_t kFlags = 68;
inline constexpr size_t kStreamNumber = 72;
inline constexpr size_t kLanguageIndex = 74;
inline constexpr size_t kAvgTimePerFrame = 76;
inline constexpr size_t kNameCount = 84;
inline constexpr size_t kExtensionSystemCount = 86;
inline constexpr size_t kVariableData = 88;
inline constexpr uint32_t kFlagSeekable = 0x2;
inline constexpr uint16_t kVariableExtensionSize = 0xFFFF;
}  // namespace extprops

// Marker Object entries: offset u64, time u64, entry length u16, then the bytes the entry
// length counts: send time u32, flags u32, description length u32 (chars), description,
// and any padding.
inline constexpr size_t kMarkerEntryLengthField = 16;
inline constexpr size_t kMarkerEntryFixed = 18;
inline constexpr size_t kMarkerEntryAfterLength = 12;

// Codec List entry types as stored (not the API's WMT_CODEC_INFO_TYPE).
inline constexpr uint16_t kCodecTypeVideo = 1;
inline constexpr uint16_t kCodecTypeAudio = 2;
inline constexpr uint16_t kCodecTypeUnknown = 0xFFFF;

// Attribute value types as stored in ECD / Metadata / Metadata Library.
inline constexpr uint16_t kValueString = 0;
inline constexpr uint16_t kValueBytes = 1;
inline constexpr uint16_t kValueBool = 2;
inline constexpr uint16_t kValueDword = 3;
inline constexpr uint16_t kValueQword = 4;
inline constexpr uint16_t kValueWord = 5;
inline constexpr uint16_t kValueGuid = 6;

// ---- Data packets ----
namespace packet {
inline constexpr uint8_t kErrorCorrectionPresent = 0x80;
inline constexpr uint8_t kErrorCorrectionLengthMask = 0x0F;
inline constexpr uint8_t kErrorCorrectionOpaque = 0x10;
inline constexpr uint8_t kErrorCorrectionLengthTypeMask = 0x60;
// Length type flags.
inline constexpr uint8_t kMultiplePayloads = 0x01;
inline constexpr int kSequenceTypeShift = 1;
inline constexpr int kPaddingTypeShift = 3;
inline constexpr int kPacketLengthTypeShift = 5;
// Property flags.
inline constexpr int kReplicatedTypeShift = 0;
inline constexpr int kOffsetTypeShift = 2;
inline constexpr int kObjectNumberTypeShift = 4;
inline constexpr int kStreamNumberTypeShift = 6;
// Payload flags (multiple payloads).
inline constexpr uint8_t kPayloadCountMask = 0x3F;
inline constexpr int kPayloadLengthTypeShift = 6;
inline constexpr uint8_t kStreamNumberMask = 0x7F;
inline constexpr uint8_t kKeyFrameBit = 0x80;
inline constexpr uint8_t kCompressedReplicatedLength = 1;
inline constexpr size_t kMinReplicatedLength = 8;

// What this writer emits: "82 00 00", multiple payloads with a WORD padding length, replicated
// data BYTE, offset DWORD, object number BYTE, stream BYTE, payload lengths WORD.
inline constexpr uint8_t kWriterEcFlags = 0x82;
inline constexpr uint8_t kWriterLengthTypeFlags = 0x11;
inline constexpr uint8_t kWriterPropertyFlags = 0x5D;
inline constexpr uint8_t kWriterPayloadFlags = 0x80;
inline constexpr size_t kWriterPacketHeaderSize = 3 + 1 + 1 + 2 + 4 + 2 + 1;
inline constexpr size_t kWriterPayloadHeaderSize = 1 + 1 + 4 + 1 + 2;  // + replicated data
inline constexpr size_t kMaxPayloadsPerPacket = 63;
}  // namespace packet

// Size of a field whose length-type code is 0..3 (absent, BYTE, WORD, DWORD).
constexpr size_t LengthTypeSize(unsigned code) {
    return code == 0 ? 0 : code == 1 ? 1 : code == 2 ? 2 : 4;
}

// Limits that keep hostile files from costing memory.
inline constexpr uint64_t kMaxHeaderSize = 64ull << 20;
inline constexpr uint32_t kMaxPacketSize = 1u << 20;
inline constexpr uint32_t kMaxMediaObjectSize = 64u << 20;

// 100-ns units per millisecond.
inline constexpr uint64_t kUnitsPerMs = 10000;

// A count of milliseconds from a file (a preroll is a 64-bit field) in 100-ns units; a value
// too large for them gives the largest time rather than wrapping round to a small one.
constexpr uint64_t UnitsFromMs(uint64_t ms) {
    return ms > ~uint64_t{0} / kUnitsPerMs ? ~uint64_t{0} : ms * kUnitsPerMs;
}

// The size of a picture dimension that a BITMAPINFOHEADER may store negated (a top-down
// bitmap); the most negative 32-bit value has no positive twin in 32 bits, but its size does.
constexpr uint32_t PictureDimension(uint32_t stored) {
    return (stored & 0x80000000u) != 0 ? 0u - stored : stored;
}

}  // namespace asf
