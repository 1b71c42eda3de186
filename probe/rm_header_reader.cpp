#include "probe/rm_header_reader.h"

#include <limits>
#include <string_view>
#include <vector>

#include "engines/realmedia/rm_format.h"
#include "probe/header_file.h"

namespace {

using namespace rm;

// After an MDPR's name: MIME size (8-bit), MIME, type-specific length (32-bit), type-specific data.
constexpr size_t kMdprTypeSpecificAfterMime = 4;
constexpr uint16_t kRaVersion3 = 3;
constexpr uint16_t kRaVersion4 = 4;
constexpr unsigned kSecondsPerMinute = 60;

constexpr std::string_view kAudioName = "Audio";
constexpr std::string_view kVideoName = "Video";
constexpr std::string_view kAudioMimePrefix = "audio/";
constexpr std::string_view kVideoMimePrefix = "video/";
// ffmpeg names its streams "The Audio Stream" and "The Video Stream".
constexpr std::string_view kWriterNamePrefix = "The ";

enum class StreamKind { kOther, kAudio, kVideo };

// True when the text of `size` bytes at `at` begins with `word`.
bool TextBeginsWith(ByteReader chunk, size_t at, size_t size, std::string_view word) {
    return size >= word.size() && chunk.Matches(at, word);
}

bool NameBeginsWith(ByteReader chunk, size_t nameSize, std::string_view word) {
    if (TextBeginsWith(chunk, kMdprName, nameSize, word)) {
        return true;
    }
    return TextBeginsWith(chunk, kMdprName, nameSize, kWriterNamePrefix) &&
           TextBeginsWith(chunk, kMdprName + kWriterNamePrefix.size(),
                          nameSize - kWriterNamePrefix.size(), word);
}

StreamKind KindOfStream(ByteReader chunk, size_t nameSize) {
    if (NameBeginsWith(chunk, nameSize, kAudioName)) {
        return StreamKind::kAudio;
    }
    if (NameBeginsWith(chunk, nameSize, kVideoName)) {
        return StreamKind::kVideo;
    }
    if (nameSize != 0) {
        return StreamKind::kOther;
    }
    // Early encoders left streams unnamed; their MIME type still says what they carry (event
    // and logical streams, also unnamed, have types of their own).
    size_t mimeSizeAt = kMdprName;
    if (!chunk.Has(mimeSizeAt, 1)) {
        return StreamKind::kOther;
    }
    size_t mimeSize = chunk.U8(mimeSizeAt);
    if (TextBeginsWith(chunk, mimeSizeAt + 1, mimeSize, kAudioMimePrefix)) {
        return StreamKind::kAudio;
    }
    if (TextBeginsWith(chunk, mimeSizeAt + 1, mimeSize, kVideoMimePrefix)) {
        return StreamKind::kVideo;
    }
    return StreamKind::kOther;
}

// Up to four characters at `off`, ending early at a zero byte or at the end of the chunk.
void AppendChars(ByteReader chunk, size_t off, std::string& out) {
    for (size_t i = 0; i < 4 && chunk.Has(off + i, 1) && chunk.U8(off + i) != 0; ++i) {
        out.push_back(static_cast<char>(chunk.U8(off + i)));
    }
}

// One more audio stream seen; the count stays at its ceiling rather than wrap to zero.
unsigned CountAudioStream(ProbeInfo& info) {
    unsigned n = info.audioCount;
    if (info.audioCount < std::numeric_limits<uint8_t>::max()) {
        ++info.audioCount;
    }
    return n;
}

// "RealAudio 8,cook-6" or ".ra4,dnet-2": version, codec FourCC, flavour.
std::string RealAudioName(ByteReader chunk, size_t t) {
    std::string name;
    if (chunk.Has(t + kRaVersionDigit, 1) && chunk.U8(t + kRaVersionDigit) == '5') {
        name = "RealAudio 8";
    } else {
        AppendChars(chunk, t + kRaVersionText, name);
    }
    name += ",";
    bool version4 = chunk.Has(t + kRaVersion, 2) && chunk.BE16(t + kRaVersion) == kRaVersion4;
    AppendChars(chunk, t + (version4 ? kRa4Fourcc : kRa5Fourcc), name);
    if (chunk.Has(t + kRaFlavor, 2)) {
        name += "-" + std::to_string(chunk.BE16(t + kRaFlavor));
    }
    return name;
}

void ReadAudioStream(ByteReader chunk, size_t t, ProbeInfo& info) {
    unsigned n = CountAudioStream(info);
    if (n >= kProbeAudioSlots) {
        return;
    }
    ProbeAudioStream& audio = info.audio[n];
    if (chunk.Has(kMdprAvgBitRate, 4)) {
        audio.byteRate = chunk.BE32(kMdprAvgBitRate) / 8;
    }
    std::string name = RealAudioName(chunk, t);
    CopyTextToSlot(name.data(), name.size(), audio.name, sizeof audio.name);
    audio.nameKnown = 1;
}

// A bare RealAudio file: one audio stream, the header at the start of the file, and the frames.
// The duration is what its count of audio bytes lasts at its byte rate.
void ReadBareRealAudio(ByteReader head, ProbeInfo& info) {
    CountAudioStream(info);
    ProbeAudioStream& audio = info.audio[0];
    bool version3 = head.Has(kRaVersion, 2) && head.BE16(kRaVersion) == kRaVersion3;
    std::string name = version3 ? std::string(kRa3Name) : RealAudioName(head, 0);
    CopyTextToSlot(name.data(), name.size(), audio.name, sizeof audio.name);
    audio.nameKnown = 1;
    uint32_t perMinute = 0;
    uint32_t audioBytes = 0;
    if (version3 && head.Has(kRa3AudioBytes, 4)) {
        perMinute = head.BE16(kRa3BytesPerMinute);
        audioBytes = head.BE32(kRa3AudioBytes);
    } else if (!version3 && head.Has(kRaBytesPerMinute, 4)) {
        perMinute = head.BE32(kRaBytesPerMinute);
        audioBytes = head.BE32(kRaAudioBytes);
    }
    audio.byteRate = perMinute / kSecondsPerMinute;
    if (audio.byteRate != 0) {
        info.duration = audioBytes / audio.byteRate;
    }
}

void ReadVideoStream(ByteReader chunk, size_t t, ProbeInfo& info) {
    if (chunk.Has(kMdprDuration, 4)) {
        info.videoDuration = chunk.BE32(kMdprDuration) / 1000;
    }
    if (chunk.Has(t + kVidoFourcc, 4)) {
        std::string fourcc;
        AppendChars(chunk, t + kVidoFourcc, fourcc);
        CopyTextToSlot(fourcc.data(), fourcc.size(), info.videoCodec, sizeof info.videoCodec);
    }
    if (chunk.Has(t + kVidoWidth, 2)) {
        info.width = chunk.BE16(t + kVidoWidth);
    }
    if (chunk.Has(t + kVidoHeight, 2)) {
        info.height = chunk.BE16(t + kVidoHeight);
    }
    if (chunk.Has(t + kVidoFrameRate, 2)) {
        info.frameRateMilli = chunk.BE16(t + kVidoFrameRate) * 1000u;
    }
}

void ReadMediaProperties(ByteReader chunk, ProbeInfo& info) {
    if (!chunk.Has(kMdprNameLength, 1)) {
        return;
    }
    size_t nameSize = chunk.U8(kMdprNameLength);
    StreamKind kind = KindOfStream(chunk, nameSize);
    if (kind == StreamKind::kOther) {
        return;
    }
    // The type-specific data lies after the name and the MIME type; its fields are read only
    // where they lie inside the chunk.
    size_t mimeSizeAt = kMdprName + nameSize;
    size_t t = chunk.Has(mimeSizeAt, 1)
                   ? mimeSizeAt + 1 + chunk.U8(mimeSizeAt) + kMdprTypeSpecificAfterMime
                   : chunk.size();  // past the chunk: no type-specific field is taken
    if (kind == StreamKind::kAudio) {
        ReadAudioStream(chunk, t, info);
    } else {
        ReadVideoStream(chunk, t, info);
    }
}

}  // namespace

int ParseRmHeader(ByteReader header, ProbeInfo& info) {
    if (header.size() == 0) {
        return -1;
    }
    if (header.Matches(0, kRaMagic, 4)) {
        ReadBareRealAudio(header, info);
        return 0;
    }
    size_t pos = 0;
    while (header.Has(pos, kChunkIdAndSize)) {
        if (header.Matches(pos, "DATA")) {
            break;
        }
        uint32_t size = header.BE32(pos + kChunkSize);
        if (size < kChunkIdAndSize) {
            break;  // cannot advance: the rest of the header is not trusted
        }
        // The chunk's fields are read only inside both the chunk and the bytes read.
        ByteReader chunk = header.Sub(pos, size);
        bool version0 = chunk.Has(kChunkVersion, 2) && chunk.BE16(kChunkVersion) == 0;
        if (version0 && chunk.Matches(0, "PROP")) {
            if (chunk.Has(kPropDuration, 4)) {
                info.duration = chunk.BE32(kPropDuration) / 1000;
            }
        } else if (version0 && chunk.Matches(0, "MDPR")) {
            ReadMediaProperties(chunk, info);
        }
        pos += size;
    }
    return 0;
}

int ReadRmHeader(const std::string& path, ProbeInfo& info) {
    std::vector<uint8_t> header;
    if (!ReadFileHead(path, kHeaderReadBytes, header) || header.empty()) {
        return -1;
    }
    return ParseRmHeader(ByteReader(header), info);
}
