// Bare RealAudio files (".ra\xfd" at the start instead of ".RMF"): a RealAudio header, then the
// coded frames back to back. Such files are joined into one of their own kind: the first file's
// header, with its count of audio bytes made the sum, then every input's frames in order, so
// that each input starts where the one before it ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engines/realmedia/rm_codec.h"
#include "engines/realmedia/rm_joiner.h"
#include "platform/bytes.h"
#include "platform/com.h"

namespace rm {

// Header fields of a bare file (offsets from the start of the file).
inline constexpr size_t kRa3HeaderLength = 6;  // u16: bytes after offset 8
inline constexpr size_t kRa3HeaderBase = 8;
inline constexpr size_t kRa3AudioBytes = 18;    // u32
inline constexpr size_t kRa3FixedBytes = 18;    // what describes the codec
inline constexpr uint32_t kRa3FrameBytes = 20;  // 14.4: 20 ms per frame
inline constexpr size_t kRaHeaderSize = 18;     // v4/v5, u32: header length - 16
inline constexpr size_t kRaHeaderSizeBase = 16;
inline constexpr size_t kRaAudioBytes = 28;  // v4/v5, u32; 0 when the encoder did not count
inline constexpr size_t kRa4Strings = 69;    // v4: title, author, copyright, comment
inline constexpr size_t kRa4StringCount = 4;
inline constexpr size_t kRa5CodecDataLength = 74;  // u32
inline constexpr size_t kRa5CodecData = 78;
// The most a bare header can take: its strings are short.
inline constexpr size_t kBareHeaderReadBytes = 64 * 1024;

struct BareRealAudio {
    AudioFormat format;
    std::vector<uint8_t> header;  // the bytes before the first frame
    std::vector<uint8_t> codec;   // what describes the codec, for comparing files
    uint64_t audioStart = 0;
    uint64_t audioBytes = 0;  // whole frames (or interleave blocks) only
    bool counted = false;     // the header gave the number of audio bytes
};

// True when `head` begins with the RealAudio signature.
bool IsBareRealAudio(ByteReader head);

// Reads the header of a bare RealAudio file of `fileSize` bytes from its first bytes. False,
// with the reason in *why, when it is not one this module can copy.
bool ParseBareRealAudio(ByteReader head, uint64_t fileSize, BareRealAudio& out, std::string* why);

// Joins bare RealAudio files; S_OK, or a failure code with the account in *text. A failed or
// stopped run leaves no output file behind.
HRESULT JoinBareRealAudio(const std::vector<std::string>& inputs, const std::string& output,
                          JoinObserver* observer, std::string* text);

// True when the file at `path` starts with the RealAudio signature.
bool IsBareRealAudioFile(const std::string& path);

}  // namespace rm
