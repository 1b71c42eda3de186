// The layout of RIFF files as the AVI reading, the probe and the conversion module meet them:
// AVI (with its OpenDML extension) and the Video CD's "CDXA" wrapper around raw CD sectors.
//
// Every chunk is a four-character id, a 32-bit little-endian size and that many bytes of data,
// padded to an even length. A "RIFF" or "LIST" chunk's data opens with a four-character type
// and holds further chunks. Offsets inside a chunk's data are counted from its first data byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace riff {

// Chunk header.
inline constexpr size_t kChunkIdOffset = 0;
inline constexpr size_t kChunkSizeOffset = 4;
inline constexpr size_t kChunkHeaderBytes = 8;
// The form type of a "RIFF" chunk, the list type of a "LIST": the first four data bytes.
inline constexpr size_t kFormTypeOffset = kChunkHeaderBytes;
inline constexpr size_t kFormTypeBytes = 4;
inline constexpr size_t kRiffHeaderBytes =
    kChunkHeaderBytes + kFormTypeBytes;                       // "RIFF", size, type
inline constexpr size_t kListHeaderBytes = kRiffHeaderBytes;  // "LIST", size, type
static_assert(kChunkSizeOffset + 4 == kChunkHeaderBytes);

// The bytes a chunk of `dataSize` data bytes takes in the file, header and padding included.
constexpr uint64_t PaddedChunkBytes(uint32_t dataSize) {
    return kChunkHeaderBytes + static_cast<uint64_t>(dataSize) + (dataSize & 1);
}

// Chunk ids and types.
inline constexpr std::string_view kRiff = "RIFF";
inline constexpr std::string_view kList = "LIST";
inline constexpr std::string_view kJunk = "JUNK";
inline constexpr std::string_view kFormAvi = "AVI ";
inline constexpr std::string_view kFormAviExtended = "AVIX";  // OpenDML: the RIFFs after the first
inline constexpr std::string_view kFormCdxa = "CDXA";
inline constexpr std::string_view kHeaderList = "hdrl";
inline constexpr std::string_view kStreamList = "strl";
inline constexpr std::string_view kMovieList = "movi";
inline constexpr std::string_view kOpenDmlList = "odml";
inline constexpr std::string_view kMainHeader = "avih";
inline constexpr std::string_view kStreamHeader = "strh";
inline constexpr std::string_view kStreamFormat = "strf";
inline constexpr std::string_view kStreamName = "strn";
inline constexpr std::string_view kOpenDmlHeader = "dmlh";
inline constexpr std::string_view kIndex = "idx1";
inline constexpr std::string_view kStreamIndex = "indx";  // OpenDML super index
inline constexpr std::string_view kData = "data";         // CDXA: the sectors
// The stream types of a "strh".
inline constexpr std::string_view kVideoStream = "vids";
inline constexpr std::string_view kAudioStream = "auds";

// AVIMAINHEADER, the data of "avih".
namespace avih {
inline constexpr size_t kMicroSecondsPerFrame = 0;
inline constexpr size_t kMaxBytesPerSecond = 4;
inline constexpr size_t kPaddingGranularity = 8;
inline constexpr size_t kFlags = 12;
inline constexpr size_t kTotalFrames = 16;  // of the first RIFF only
inline constexpr size_t kInitialFrames = 20;
inline constexpr size_t kStreams = 24;
inline constexpr size_t kSuggestedBufferSize = 28;
inline constexpr size_t kWidth = 32;
inline constexpr size_t kHeight = 36;
inline constexpr size_t kReserved = 40;  // four 32-bit words
inline constexpr size_t kBytes = 56;
static_assert(kReserved + 4 * 4 == kBytes);
}  // namespace avih

// The data of "dmlh": the frame count of the whole file.
namespace dmlh {
inline constexpr size_t kTotalFrames = 0;
}  // namespace dmlh

// AVISTREAMHEADER, the data of "strh".
namespace strh {
inline constexpr size_t kType = 0;
inline constexpr size_t kHandler = 4;
inline constexpr size_t kFlags = 8;
inline constexpr size_t kPriority = 12;  // 16 bits
inline constexpr size_t kLanguage = 14;  // 16 bits
inline constexpr size_t kInitialFrames = 16;
inline constexpr size_t kScale = 20;
inline constexpr size_t kRate = 24;
inline constexpr size_t kStart = 28;
inline constexpr size_t kLength = 32;
inline constexpr size_t kSuggestedBufferSize = 36;
inline constexpr size_t kQuality = 40;
inline constexpr size_t kSampleSize = 44;
inline constexpr size_t kFrame = 48;  // four signed 16-bit values: left, top, right, bottom
inline constexpr size_t kBytes = 56;
static_assert(kFrame + 4 * 2 == kBytes);
}  // namespace strh

// The data of a video stream's "strf": a BITMAPINFOHEADER.
namespace strf_video {
inline constexpr size_t kSize = 0;
inline constexpr size_t kWidth = 4;
inline constexpr size_t kHeight = 8;
inline constexpr size_t kPlanes = 12;    // 16 bits
inline constexpr size_t kBitCount = 14;  // 16 bits
inline constexpr size_t kCompression = 16;
inline constexpr size_t kSizeImage = 20;
inline constexpr size_t kXPelsPerMeter = 24;
inline constexpr size_t kYPelsPerMeter = 28;
inline constexpr size_t kColorsUsed = 32;
inline constexpr size_t kColorsImportant = 36;
inline constexpr size_t kBytes = 40;
static_assert(kColorsImportant + 4 == kBytes);
// Compression codes below this are numbers (0 = uncompressed), not FourCC characters.
inline constexpr uint32_t kLowestFourccCompression = 0x19FFFFFF;
}  // namespace strf_video

// The data of "idx1": entries of 16 bytes, one per chunk of the first "movi".
namespace idx1 {
inline constexpr size_t kChunkId = 0;
inline constexpr size_t kFlags = 4;
inline constexpr size_t kOffset = 8;  // from the "movi" type, or from the file start
inline constexpr size_t kSize = 12;
inline constexpr size_t kEntryBytes = 16;
inline constexpr uint32_t kKeyFrame = 0x10;
static_assert(kSize + 4 == kEntryBytes);
}  // namespace idx1

// The data of an OpenDML "indx" (AVISUPERINDEX and the standard index alike): a header, then
// entries of kLongsPerEntry 32-bit words each.
namespace indx {
inline constexpr size_t kLongsPerEntry = 0;  // 16 bits
inline constexpr size_t kIndexSubType = 2;   // 8 bits
inline constexpr size_t kIndexType = 3;      // 8 bits
inline constexpr size_t kEntriesInUse = 4;
inline constexpr size_t kChunkId = 8;
inline constexpr size_t kReserved = 12;  // the super index: three 32-bit words; a standard index:
                                         // the 64-bit base offset and one word
inline constexpr size_t kHeaderBytes = 24;
static_assert(kReserved + 3 * 4 == kHeaderBytes);
inline constexpr uint8_t kIndexOfIndexes = 0x00;
inline constexpr uint8_t kIndexOfChunks = 0x01;
// One super index entry: where a standard index lies, how long it is, the time it covers.
inline constexpr size_t kSuperEntryOffset = 0;  // 64 bits
inline constexpr size_t kSuperEntrySize = 8;
inline constexpr size_t kSuperEntryDuration = 12;
inline constexpr size_t kSuperEntryBytes = 16;
static_assert(kSuperEntryDuration + 4 == kSuperEntryBytes);
}  // namespace indx

}  // namespace riff

// The raw CD sectors of a Video CD file (RIFF "CDXA"), 2352 bytes each as read off the disc.
namespace cdxa {

inline constexpr size_t kSectorBytes = 2352;
inline constexpr size_t kSyncBytes = 12;
inline constexpr size_t kHeaderBytes = 4;           // minute, second, frame, mode
inline constexpr size_t kModeOffset = 15;           // the header's mode byte
inline constexpr size_t kSubheaderBytes = 8;        // Mode 2: file, channel, submode, coding, twice
inline constexpr size_t kSubmodeOffset = 18;        // first copy of the submode byte
inline constexpr uint8_t kSubmodeForm2 = 0x20;      // set: Mode 2 Form 2
inline constexpr size_t kMode1DataOffset = 16;      // sync + header
inline constexpr size_t kMode2DataOffset = 24;      // sync + header + subheader
inline constexpr size_t kForm1PayloadBytes = 2048;  // Mode 1 and Mode 2 Form 1
inline constexpr size_t kForm2PayloadBytes = 2324;  // Mode 2 Form 2 (the MPEG sectors)
static_assert(kModeOffset + 1 == kSyncBytes + kHeaderBytes);
static_assert(kMode1DataOffset == kSyncBytes + kHeaderBytes);
static_assert(kMode2DataOffset == kMode1DataOffset + kSubheaderBytes);
static_assert(kSubmodeOffset == kMode1DataOffset + 2);
// Where the sectors begin in the usual file: the RIFF header, a 16-byte "fmt " chunk, "data".
inline constexpr uint64_t kUsualDataStart =
    riff::kRiffHeaderBytes + riff::kChunkHeaderBytes + 16 + riff::kChunkHeaderBytes;
static_assert(kUsualDataStart == 44);

}  // namespace cdxa
