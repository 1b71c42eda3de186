#include "probe/avi_header_walk.h"

#include <algorithm>
#include <array>
#include <vector>

#include "platform/riff_format.h"
#include "probe/header_file.h"

namespace {

constexpr size_t kBufferBytes = 16384;
constexpr size_t kMinimumBytes = 512;
// The walk keeps at least this many bytes ahead of its position before it refills.
constexpr size_t kRefillMargin = 100;

using riff::kChunkHeaderBytes;
// Between chunks it does not know, the walk moves on by a word and looks again.
constexpr size_t kStepBytes = 4;

// The stream record: the "strh" data followed directly by the start of the "strf" data.
constexpr size_t kStreamRecordBytes = 140;
constexpr size_t kRecordStreamType = riff::strh::kType;
constexpr size_t kRecordHandler = riff::strh::kHandler;
// With the usual 56-byte stream header: the BITMAPINFOHEADER's biCompression.
constexpr size_t kRecordCompression = riff::strh::kBytes + riff::strf_video::kCompression;
static_assert(kRecordCompression == 72);

using StreamRecord = std::array<uint8_t, kStreamRecordBytes>;

// The walk's window onto the file: up to kBufferBytes read from `start`.
class Window {
public:
    explicit Window(const AviReadAt& readAt) : m_readAt(readAt), m_bytes(kBufferBytes) {}

    // Reads the window at file position `start`; false when nothing could be read.
    bool Fill(uint64_t start) {
        m_start = start;
        m_size = m_readAt(start, m_bytes.data(), kBufferBytes);
        m_size = std::min(m_size, kBufferBytes);
        return m_size > 0;
    }

    ByteReader bytes() const { return ByteReader(m_bytes.data(), m_size); }
    size_t size() const { return m_size; }
    uint64_t start() const { return m_start; }
    // A short read means the file ends inside the window: reading again adds nothing.
    bool reachesFileEnd() const { return m_size < kBufferBytes; }

private:
    const AviReadAt& m_readAt;
    std::vector<uint8_t> m_bytes;
    uint64_t m_start = 0;
    size_t m_size = 0;
};

// Copies up to `count` bytes at `from` in the window into the record at `to`, keeping to both.
void CopyIntoRecord(ByteReader window, uint64_t from, size_t count, StreamRecord& record,
                    size_t to) {
    if (to >= record.size() || from >= window.size()) {
        return;
    }
    count = std::min<uint64_t>({count, record.size() - to, window.size() - from});
    std::copy_n(window.data() + from, count, record.begin() + to);
}

// Fills the record from the "strh" chunk at window position p and the "strf" data taken to
// follow it at once. A "strh" longer than the record fills the record alone.
void FillRecord(Window& window, size_t p, StreamRecord& record) {
    // The most the record can take lies within this many bytes of the "strh" id. When the
    // window ends before that, it is read again from the "strh" so that the record comes from
    // the file rather than stopping at the window's end.
    constexpr size_t kRecordReach = 2 * kChunkHeaderBytes + kStreamRecordBytes;
    if (!window.bytes().Has(p, kRecordReach) && !window.reachesFileEnd()) {
        if (!window.Fill(window.start() + p)) {
            return;
        }
        p = 0;
    }
    ByteReader bytes = window.bytes();
    if (!bytes.Has(p + riff::kChunkSizeOffset, 4)) {
        return;
    }
    uint64_t headerSize = bytes.LE32(p + riff::kChunkSizeOffset);
    uint64_t headerDataAt = p + kChunkHeaderBytes;
    CopyIntoRecord(bytes, headerDataAt, std::min<uint64_t>(headerSize, kStreamRecordBytes), record,
                   0);
    if (headerSize >= kStreamRecordBytes ||
        !ByteReader(record.data(), record.size()).Matches(kRecordStreamType, riff::kVideoStream)) {
        return;
    }
    uint64_t formatSizeAt = headerDataAt + headerSize + riff::kChunkSizeOffset;
    if (!bytes.Has(formatSizeAt, 4)) {
        return;
    }
    uint64_t formatSize = bytes.LE32(formatSizeAt);
    size_t room = kStreamRecordBytes - static_cast<size_t>(headerSize);
    CopyIntoRecord(bytes, formatSizeAt + 4, std::min<uint64_t>(room, formatSize), record,
                   static_cast<size_t>(headerSize));
}

bool IsSkippedChunk(ByteReader bytes, size_t p) {
    return bytes.Matches(p, riff::kJunk) || bytes.Matches(p, riff::kStreamName);
}

}  // namespace

int WalkAviSource(const AviReadAt& readAt, uint32_t& fourcc) {
    Window window(readAt);
    window.Fill(0);
    if (window.size() < kMinimumBytes) {
        return kAviWalkTooShort;
    }
    if (!window.bytes().Matches(riff::kFormTypeOffset, riff::kFormAvi)) {
        return kAviWalkNotAvi;
    }

    StreamRecord record{};
    bool haveRecord = false;
    uint64_t p = riff::kRiffHeaderBytes;  // position in the window
    for (;;) {
        ByteReader bytes = window.bytes();
        if (p >= bytes.size() || bytes.Matches(p, riff::kMovieList) ||
            bytes.Matches(p + 2, riff::kMovieList)) {
            break;
        }
        if (bytes.Matches(p, riff::kStreamHeader)) {
            // Only the first stream's record decides the result, so the walk ends here.
            FillRecord(window, static_cast<size_t>(p), record);
            haveRecord = true;
            break;
        }
        if (IsSkippedChunk(bytes, p)) {
            if (!bytes.Has(p + riff::kChunkSizeOffset, 4)) {
                break;  // the chunk's size lies past the end of the file
            }
            uint64_t dataSize = bytes.LE32(p + riff::kChunkSizeOffset);
            p += kChunkHeaderBytes + dataSize + (dataSize & 1);
        } else {
            p += kStepBytes;
        }
        // Keep a margin ahead: read on from 100 bytes before the end of the last read. After
        // a short read the file has no more bytes, so the walk runs out on what it has.
        if (p + kRefillMargin > window.size() && !window.reachesFileEnd()) {
            uint64_t keep = window.size() - kRefillMargin;
            if (!window.Fill(window.start() + keep)) {
                break;
            }
            p -= keep;
        }
    }

    ByteReader stream(record.data(), record.size());
    if (!haveRecord || !stream.Matches(kRecordStreamType, riff::kVideoStream)) {
        return kAviWalkNotVideo;
    }
    uint32_t compression = stream.LE32(kRecordCompression);
    fourcc = compression >= riff::strf_video::kLowestFourccCompression
                 ? compression
                 : stream.LE32(kRecordHandler);
    return kAviWalkOk;
}

int WalkAviBytes(ByteReader file, uint32_t& fourcc) {
    AviReadAt readAt = [file](uint64_t offset, uint8_t* out, size_t count) -> size_t {
        if (offset >= file.size()) {
            return 0;
        }
        size_t n = std::min<uint64_t>(count, file.size() - offset);
        std::copy_n(file.data() + offset, n, out);
        return n;
    };
    return WalkAviSource(readAt, fourcc);
}

int WalkAviHeaders(const std::string& path, uint32_t& fourcc) {
    HeaderFile file;
    if (!file.Open(path)) {
        return kAviWalkCannotOpen;
    }
    AviReadAt readAt = [&file](uint64_t offset, uint8_t* out, size_t count) {
        return file.ReadAt(offset, out, count);
    };
    return WalkAviSource(readAt, fourcc);
}
