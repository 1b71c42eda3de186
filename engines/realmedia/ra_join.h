// Bare RealAudio files (".ra\xfd" at the start instead of ".RMF"): a RealAudio header, then the
// coded frames back to back. Such files are joined into one of their own kind: the first file's
// header, with its count of audio bytes made the sum, then every input's frames in order, so
// that each input starts where the one before it ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engines/realmedia/rm_codec.h"
#include "engines/realmedia/rm_format.h"
#include "engines/realmedia/rm_joiner.h"
#include "platform/bytes.h"
#include "platform/com.h"

namespace rm {

// The header fields of a bare file are those of rm_format.h (a bare file starts with the header).
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
