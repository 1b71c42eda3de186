#include "probe/avi_header_walk.h"

#include <algorithm>
#include <array>

#include "platform/riff_format.h"
#include "probe/header_file.h"

namespace {

constexpr size_t kMinimumBytes = 512;

// The stream record: the "strh" data followed directly by the start of the "strf" data.
constexpr size_t kStreamRecordBytes = 140;
constexpr size_t kRecordStreamType = riff::strh::kType;
constexpr size_t kRecordHandler = riff::strh::kHandler;
// With the usual 56-byte stream header: the BITMAPINFOHEADER's biCompression.
constexpr size_t kRecordCompression = riff::strh::kBytes + riff::strf_video::kCompression;
static_assert(kRecordCompression == 72);

using StreamRecord = std::array<uint8_t, kStreamRecordBytes>;

// Copies up to `count` bytes of `from` into the record at `to`, keeping to both.
void CopyIntoRecord(ByteReader from, size_t count, StreamRecord& record, size_t to) {
    if (to >= record.size()) {
        return;
    }
    count = std::min({count, record.size() - to, from.size()});
    std::copy_n(from.data(), count, record.begin() + to);
}

// The record of a stream: its "strh" data, then (for a video stream whose "strh" leaves room)
// its "strf" data. A "strh" as long as the record fills the record alone.
StreamRecord RecordOf(const riff::AviStreamChunks& stream) {
    StreamRecord record{};
    size_t headerSize = stream.header.size();
    CopyIntoRecord(stream.header, headerSize, record, 0);
    if (headerSize >= kStreamRecordBytes ||
        !ByteReader(record.data(), record.size()).Matches(kRecordStreamType, riff::kVideoStream)) {
        return record;
    }
    CopyIntoRecord(stream.format, kStreamRecordBytes - headerSize, record, headerSize);
    return record;
}

// The walk's answer from the first stream: its FourCC when it is video.
int FirstStreamFourcc(const riff::AviHeaderList& header, uint32_t& fourcc) {
    if (header.streams().empty()) {
        return kAviWalkNotVideo;
    }
    StreamRecord record = RecordOf(header.streams().front());
    ByteReader stream(record.data(), record.size());
    if (!stream.Matches(kRecordStreamType, riff::kVideoStream)) {
        return kAviWalkNotVideo;
    }
    uint32_t compression = stream.LE32(kRecordCompression);
    fourcc = compression >= riff::strf_video::kLowestFourccCompression
                 ? compression
                 : stream.LE32(kRecordHandler);
    return kAviWalkOk;
}

}  // namespace

AviHeaderFourccs ReadAviHeaderFourccs(const AviReadAt& readAt) {
    AviHeaderFourccs result;
    riff::AviHeaderList header;
    bool walked = header.Read(readAt) == riff::AviWalk::kOk;
    for (const riff::AviStreamChunks& stream : header.streams()) {
        if (stream.header.Matches(riff::strh::kType, riff::kVideoStream)) {
            result.haveVideoHandler = true;
            result.videoHandler = stream.header.Has(riff::strh::kHandler, 4)
                                      ? stream.header.LE32(riff::strh::kHandler)
                                      : 0;
            break;
        }
    }

    uint8_t head[kMinimumBytes];
    size_t headBytes = std::min(readAt(0, head, sizeof head), sizeof head);
    if (headBytes < kMinimumBytes) {
        result.code = kAviWalkTooShort;
    } else if (!ByteReader(head, headBytes).Matches(riff::kFormTypeOffset, riff::kFormAvi)) {
        result.code = kAviWalkNotAvi;
    } else if (!walked) {
        result.code = kAviWalkNotVideo;
    } else {
        result.code = FirstStreamFourcc(header, result.fourcc);
    }
    return result;
}

int WalkAviSource(const AviReadAt& readAt, uint32_t& fourcc) {
    AviHeaderFourccs found = ReadAviHeaderFourccs(readAt);
    if (found.code == kAviWalkOk) {
        fourcc = found.fourcc;
    }
    return found.code;
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
