#include "platform/riff_walk.h"

#include <algorithm>

#include "platform/riff_chunks.h"
#include "platform/riff_format.h"

namespace riff {
namespace {

// Reads up to `want` bytes at `offset` into `out` a step at a time, so a size that claims more
// than the file holds costs no more memory than the file has.
void ReadGrowing(const ReadAt& readAt, uint64_t offset, size_t want, std::vector<uint8_t>& out) {
    out.clear();
    while (out.size() < want) {
        size_t have = out.size();
        size_t step = std::min(kHeaderListReadStep, want - have);
        out.resize(have + step);
        size_t got = std::min(readAt(offset + have, out.data() + have, step), step);
        out.resize(have + got);
        if (got < step) {
            break;
        }
    }
}

// Finds the "hdrl" list near the start of the file and reads its body (after the list type).
AviWalk ReadHeaderListBody(const ReadAt& readAt, std::vector<uint8_t>& body) {
    uint8_t start[kRiffHeaderBytes];
    ByteReader head(start, std::min(readAt(0, start, sizeof start), sizeof start));
    if (!head.Matches(0, kRiff) || !head.Matches(kFormTypeOffset, kFormAvi)) {
        return AviWalk::kNotAvi;
    }
    uint64_t pos = kRiffHeaderBytes;
    for (int i = 0; i < kMaxTopLevelChunks; ++i) {
        uint8_t chunk[kListHeaderBytes];
        ByteReader header(chunk, std::min(readAt(pos, chunk, sizeof chunk), sizeof chunk));
        if (!header.Has(0, sizeof chunk)) {
            break;
        }
        uint32_t size = header.LE32(kChunkSizeOffset);
        bool list = header.Matches(0, kList);
        if (list && header.Matches(kFormTypeOffset, kMovieList)) {
            break;  // the media data begins: there was no header list
        }
        if (list && header.Matches(kFormTypeOffset, kHeaderList) && size >= kFormTypeBytes) {
            size_t want =
                static_cast<size_t>(std::min<uint64_t>(size - kFormTypeBytes, kMaxHeaderListBytes));
            ReadGrowing(readAt, pos + sizeof chunk, want, body);
            return AviWalk::kOk;
        }
        pos += PaddedChunkBytes(size);
    }
    return AviWalk::kNoHeaderList;
}

// One "strl" list's chunks; false when it has no "strh", which makes no stream.
bool ReadStreamList(ByteReader strl, AviStreamChunks& stream) {
    bool haveHeader = false;
    bool haveFormat = false;
    ForEachChunk(strl, 0, [&](size_t at, ByteReader data) {
        if (strl.Matches(at, kStreamHeader) && !haveHeader) {
            stream.header = data;
            haveHeader = true;
        } else if (strl.Matches(at, kStreamFormat) && !haveFormat) {
            stream.format = data;
            haveFormat = true;
        } else if (strl.Matches(at, kStreamName)) {
            stream.name = data;
        }
        return true;
    });
    return haveHeader;
}

}  // namespace

AviWalk AviHeaderList::Read(const ReadAt& readAt) {
    m_mainHeader = ByteReader();
    m_streams.clear();
    AviWalk result = ReadHeaderListBody(readAt, m_body);
    if (result != AviWalk::kOk) {
        m_body.clear();
        return result;
    }
    ByteReader list(m_body);
    bool haveMainHeader = false;
    ForEachChunk(list, 0, [&](size_t at, ByteReader data) {
        if (list.Matches(at, kMainHeader) && !haveMainHeader) {
            m_mainHeader = data;
            haveMainHeader = true;
        } else if (list.Matches(at, kList) && data.Matches(0, kStreamList)) {
            AviStreamChunks stream;
            if (ReadStreamList(data.Sub(kFormTypeBytes, data.size()), stream)) {
                m_streams.push_back(stream);
            }
        }
        return true;
    });
    return AviWalk::kOk;
}

}  // namespace riff
