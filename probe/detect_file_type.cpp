#include "probe/detect_file_type.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

#include "engines/conversion/cdxa_margin.h"
#include "platform/read_fully.h"
#include "platform/riff_chunks.h"
#include "platform/riff_format.h"
#include "probe/probe_info.h"

namespace {

constexpr uint8_t kAsfHeaderStart[] = {0x30, 0x26, 0xB2, 0x75};
constexpr uint8_t kMpegSequenceHeader[] = {0x00, 0x00, 0x01, 0xB3};
constexpr uint8_t kMpegPackHeader[] = {0x00, 0x00, 0x01, 0xBA};
constexpr uint8_t kRealAudioStart[] = {'.', 'r', 'a', 0xFD};
// In a Video CD file the MPEG data of the first raw sector starts this far after "RIFF".
constexpr size_t kCdxaSectorDataOffset = cdxa::kUsualDataStart + cdxa::kMode2DataOffset;
static_assert(kCdxaSectorDataOffset == 68);

// The code decided by the word at `pos`, or nothing when that word decides nothing.
std::optional<FileTypeCode> TestWord(ByteReader head, size_t pos) {
    if (!head.Has(pos, 4)) {
        return std::nullopt;
    }
    if (head.Matches(pos, kAsfHeaderStart, 4)) {
        return kTypeAsf;
    }
    // A bare RealAudio file (a RealAudio header, then the frames) is Real Media too.
    if (head.Matches(pos, ".RMF") || head.Matches(pos, kRealAudioStart, 4)) {
        return kTypeRealMedia;
    }
    if (head.Matches(pos, "OggS")) {
        return kTypeOgg;
    }
    if (head.Matches(pos, kMpegSequenceHeader, 4) || head.Matches(pos, kMpegPackHeader, 4)) {
        return kTypeMpeg;
    }
    if (head.Matches(pos, riff::kRiff)) {
        size_t form = pos + riff::kFormTypeOffset;
        if (head.Matches(form, riff::kFormAvi)) {
            return kTypeAvi;
        }
        // The moved test always lies further on, so this recursion ends within the 128 bytes.
        if (head.Matches(form, riff::kFormCdxa)) {
            return TestWord(head, pos + kCdxaSectorDataOffset);
        }
        return TestWord(head, form);
    }
    return std::nullopt;
}

// Where the sectors of a RIFF "CDXA" file begin: after its "data" chunk header, found among the
// chunks within `head`; 0 when `head` is no CDXA file or its "data" chunk lies beyond it.
uint64_t CdxaSectorsStart(ByteReader head) {
    if (!head.Matches(0, riff::kRiff) || !head.Matches(riff::kFormTypeOffset, riff::kFormCdxa)) {
        return 0;
    }
    uint64_t start = 0;
    riff::ForEachChunk(head, riff::kRiffHeaderBytes, [&](size_t at, ByteReader) {
        if (!head.Matches(at, riff::kData)) {
            return true;
        }
        start = at + riff::kChunkHeaderBytes;
        return false;
    });
    return start;
}

}  // namespace

FileTypeCode DetectFileTypeInBytes(ByteReader head) {
    for (size_t k = 0; head.Has(k, 4); ++k) {
        if (auto code = TestWord(head, k)) {
            return *code;
        }
    }
    return kTypeUnknown;
}

FileTypeCode DetectFileType(const std::string& path) {
    g_probeInfo.typeCode = kTypeUnknown;
    // Non-blocking, so that a named pipe cannot hold the probe; only regular files are read.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return kTypeUnknown;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return kTypeUnknown;
    }
    uint8_t head[kDetectBytes];
    size_t got = 0;
    while (got < sizeof head) {
        ssize_t n = ::read(fd, head + got, sizeof head - got);
        if (n <= 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    FileTypeCode code = DetectFileTypeInBytes(ByteReader(head, got));
    // A Video CD track may open with empty sectors (the front margin): its MPEG data then begins
    // in a later sector than the first.
    uint64_t sectors = CdxaSectorsStart(ByteReader(head, got));
    if (code == kTypeUnknown && sectors != 0 && static_cast<uint64_t>(status.st_size) > sectors) {
        auto readAt = [fd](uint64_t offset, uint8_t* out, size_t count) {
            return PreadFully(fd, offset, out, count);
        };
        if (cdxa::FirstPackSector(readAt, sectors,
                                  static_cast<uint64_t>(status.st_size) - sectors) >= 0) {
            code = kTypeMpeg;
        }
    }
    ::close(fd);
    g_probeInfo.typeCode = code;
    return code;
}
