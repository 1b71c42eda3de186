// The one walk over an AVI file's header chunks, for the AVI file interface and the probe: the
// "hdrl" list is found among the first top-level chunks and read (bounded), then its "avih"
// and each stream's "strh", "strf" and "strn" are handed out in file order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/bytes.h"

namespace riff {

// Reads up to `count` bytes at file position `offset` into `out`; returns how many it read.
using ReadAt = std::function<size_t(uint64_t offset, uint8_t* out, size_t count)>;

// Bounds on how far a hostile file can send the walk.
inline constexpr int kMaxTopLevelChunks = 256;
inline constexpr uint64_t kMaxHeaderListBytes = 1u << 20;
inline constexpr size_t kHeaderListReadStep = 16384;

// One "strl" list that has a "strh": each chunk's data clamped to the bytes read, empty when
// the list has no such chunk.
struct AviStreamChunks {
    ByteReader header;  // the first "strh"
    ByteReader format;  // the first "strf"
    ByteReader name;    // the last "strn"
};

enum class AviWalk {
    kOk,
    kNotAvi,        // the file does not open with "RIFF" .... "AVI "
    kNoHeaderList,  // no "hdrl" list before "movi", the file's end or the chunk bound
};

// The header list of one AVI file, read once; the chunks it hands out point into it.
class AviHeaderList {
public:
    AviHeaderList() = default;
    AviHeaderList(const AviHeaderList&) = delete;
    AviHeaderList& operator=(const AviHeaderList&) = delete;

    AviWalk Read(const ReadAt& readAt);

    // The "avih" data; empty when the list has none.
    ByteReader mainHeader() const { return m_mainHeader; }
    // The streams in the order of their "strl" lists.
    const std::vector<AviStreamChunks>& streams() const { return m_streams; }

private:
    std::vector<uint8_t> m_body;
    ByteReader m_mainHeader;
    std::vector<AviStreamChunks> m_streams;
};

}  // namespace riff
