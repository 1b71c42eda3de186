#include "probe/asf_header_reader.h"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "engines/asf/asf_format.h"
#include "platform/com.h"
#include "platform/unicode.h"
#include "probe/header_file.h"

namespace {

using namespace asf;

// Where the fields the list shows stand in a Stream Properties Object.
constexpr size_t kAudioFormatTag = streamprops::kTypeSpecificData + waveformat::kFormatTag;
constexpr size_t kAudioAvgBytesPerSec =
    streamprops::kTypeSpecificData + waveformat::kAvgBytesPerSec;
constexpr size_t kVideoWidth = streamprops::kTypeSpecificData + videoinfo::kEncodedWidth;
constexpr size_t kVideoHeight = streamprops::kTypeSpecificData + videoinfo::kEncodedHeight;
constexpr size_t kVideoCompression =
    streamprops::kTypeSpecificData + videoinfo::kBitmapInfo + bitmapinfo::kCompression;
static_assert(kVideoCompression == 105);

constexpr size_t kStreamNumbers = 128;  // stream numbers are 7 bits; 0 is unused
constexpr size_t kBitrateStreams = 10;  // the table holds stream numbers 1 to 9

// What a stream number stands for in the stream map.
constexpr int kStreamUnmapped = -1;
constexpr int kStreamVideo = -2;

struct WalkState {
    std::array<int, kStreamNumbers> streamMap;
    std::array<uint32_t, kBitrateStreams> bitrateTable{};
    size_t nextNameSlot = 0;

    WalkState() { streamMap.fill(kStreamUnmapped); }
};

bool IsGuid(ByteReader bytes, size_t off, const GUID& guid) {
    return bytes.Has(off, kGuidBytes) && GuidFromBytes(bytes.data() + off) == guid;
}

// Up to four characters as text, ending early at a zero byte; nothing when the bytes are absent.
void CopyFourcc(ByteReader object, size_t off, char (&out)[5]) {
    if (!object.Has(off, 4)) {
        return;
    }
    size_t n = 0;
    while (n < 4 && object.U8(off + n) != 0) {
        out[n] = static_cast<char>(object.U8(off + n));
        ++n;
    }
    out[n] = '\0';
}

// One more audio stream seen; the count stays at its ceiling rather than wrap to zero.
unsigned CountAudioStream(ProbeInfo& info) {
    unsigned n = info.audioCount;
    if (info.audioCount < std::numeric_limits<uint8_t>::max()) {
        ++info.audioCount;
    }
    return n;
}

void ReadFileProperties(ByteReader object, ProbeInfo& info) {
    if (object.Has(fileprops::kPacketCount, 4)) {
        info.frameCount = object.LE32(fileprops::kPacketCount);
    }
    if (object.Has(fileprops::kSendDuration, 8)) {
        uint64_t seconds = object.LE64(fileprops::kSendDuration) / kHundredNsPerSecond;
        // A duration beyond the 32-bit field is shown as the largest one rather than wrapped.
        info.duration = seconds > std::numeric_limits<uint32_t>::max()
                            ? std::numeric_limits<uint32_t>::max()
                            : static_cast<uint32_t>(seconds);
    }
}

void ReadStreamProperties(ByteReader object, ProbeInfo& info, WalkState& state) {
    if (!object.Has(streamprops::kFlags, 1)) {
        return;  // no stream number: nothing to map the stream to
    }
    size_t number = object.U8(streamprops::kFlags) & streamprops::kStreamNumberMask;
    if (IsGuid(object, streamprops::kStreamType, kAudioMedia)) {
        unsigned n = CountAudioStream(info);
        state.streamMap[number] = static_cast<int>(n);
        if (n < kProbeAudioSlots) {
            if (object.Has(kAudioFormatTag, 2)) {
                info.audio[n].formatTag = object.LE16(kAudioFormatTag);
            }
            if (object.Has(kAudioAvgBytesPerSec, 4)) {
                info.audio[n].byteRate = object.LE32(kAudioAvgBytesPerSec);
            }
        }
    } else if (IsGuid(object, streamprops::kStreamType, kVideoMedia)) {
        state.streamMap[number] = kStreamVideo;
        if (object.Has(kVideoWidth, 4)) {
            info.width = object.LE32(kVideoWidth);
        }
        if (object.Has(kVideoHeight, 4)) {
            info.height = object.LE32(kVideoHeight);
        }
        CopyFourcc(object, kVideoCompression, info.videoCodec);
    }
}

void ReadCodecList(ByteReader object, ProbeInfo& info, WalkState& state) {
    if (!object.Has(codeclist::kEntryCount, 4)) {
        return;
    }
    uint32_t count = object.LE32(codeclist::kEntryCount);
    size_t pos = codeclist::kFirstEntry;
    // Each entry takes at least six bytes, so a huge count ends with the object's bytes.
    for (uint32_t i = 0; i < count; ++i) {
        if (!object.Has(pos, 4)) {
            return;
        }
        uint16_t type = object.LE16(pos);
        size_t nameChars = object.LE16(pos + 2);
        size_t namePos = pos + 4;
        if (!object.Has(namePos, 2 * nameChars)) {
            return;
        }
        size_t descPos = namePos + 2 * nameChars;
        if (!object.Has(descPos, 2)) {
            return;
        }
        size_t descChars = object.LE16(descPos);
        size_t infoLenPos = descPos + 2 + 2 * descChars;
        if (!object.Has(infoLenPos, 2)) {
            return;
        }
        size_t infoBytes = object.LE16(infoLenPos);
        size_t infoPos = infoLenPos + 2;
        if (!object.Has(infoPos, infoBytes)) {
            return;
        }

        if (type == kCodecTypeVideo) {
            if (infoBytes == codeclist::kFourccInfoBytes) {
                CopyFourcc(object, infoPos, info.videoCodec);
            }
        } else {
            if (state.nextNameSlot < kProbeAudioSlots) {
                std::string name = Utf8FromUtf16Le(object.data() + namePos, nameChars);
                ProbeAudioStream& slot = info.audio[state.nextNameSlot];
                CopyTextToSlot(name.data(), name.size(), slot.name, sizeof slot.name);
            }
            ++state.nextNameSlot;
        }
        pos = infoPos + infoBytes;
    }
}

void ReadStreamBitrates(ByteReader object, WalkState& state) {
    if (!object.Has(streambitrates::kRecordCount, 2)) {
        return;
    }
    uint16_t count = object.LE16(streambitrates::kRecordCount);
    for (size_t i = 0; i < count; ++i) {
        size_t rec = streambitrates::kFirstRecord + i * streambitrates::kRecordBytes;
        if (!object.Has(rec, streambitrates::kRecordBytes)) {
            return;
        }
        size_t number = object.U8(rec) & streamprops::kStreamNumberMask;
        if (number >= 1 && number < kBitrateStreams) {
            state.bitrateTable[number] = object.LE32(rec + streambitrates::kRecordBitrate) / 8;
        }
    }
}

// The bitrate records name the audio byte rates once stream 1 has one: streams 1, 2, ... in
// turn, up to the first without a record.
void ApplyBitrates(const WalkState& state, ProbeInfo& info) {
    if (state.bitrateTable[1] == 0) {
        return;
    }
    for (size_t number = 1; number < kBitrateStreams; ++number) {
        uint32_t rate = state.bitrateTable[number];
        if (rate == 0) {
            break;
        }
        int mapped = state.streamMap[number];
        if (mapped >= 0 && static_cast<size_t>(mapped) < kProbeAudioSlots) {
            info.audio[mapped].byteRate = rate;
        }
    }
}

}  // namespace

int ParseAsfHeader(ByteReader header, ProbeInfo& info) {
    if (!IsGuid(header, 0, kHeaderObject)) {
        return -1;
    }
    WalkState state;
    uint32_t headerSize = header.LE32(kObjectSizeField);
    size_t pos = kHeaderObjectFixed;
    while (pos < headerSize && header.Has(pos, kObjectHeaderSize)) {
        uint32_t size = header.LE32(pos + kObjectSizeField);
        if (size < kObjectHeaderSize) {
            break;  // cannot advance: the rest of the header is not trusted
        }
        // The object's fields are read only inside both the object and the bytes read.
        ByteReader object = header.Sub(pos, size);
        if (IsGuid(object, 0, kDataObject)) {
            break;
        }
        if (IsGuid(object, 0, kFileProperties)) {
            ReadFileProperties(object, info);
        } else if (IsGuid(object, 0, kStreamProperties)) {
            ReadStreamProperties(object, info, state);
        } else if (IsGuid(object, 0, kCodecList)) {
            ReadCodecList(object, info, state);
        } else if (IsGuid(object, 0, kStreamBitrateProperties)) {
            ReadStreamBitrates(object, state);
        }
        pos += size;
    }
    ApplyBitrates(state, info);
    return 0;
}

bool ReadAsfHeaderObject(const std::string& path, std::vector<uint8_t>& out) {
    out.clear();
    HeaderFile file;
    if (!file.Open(path)) {
        return false;
    }
    // The object's own size says how far to read; it is read a step at a time so that a size
    // that lies costs no more memory than the file really holds.
    constexpr size_t kReadStep = size_t{1} << 20;
    uint64_t wanted = kHeaderObjectFixed;
    while (out.size() < wanted) {
        size_t before = out.size();
        size_t step = static_cast<size_t>(std::min<uint64_t>(wanted - before, kReadStep));
        out.resize(before + step);
        size_t got = file.ReadAt(before, out.data() + before, step);
        out.resize(before + got);
        if (got < step) {
            break;  // the file ends first
        }
        if (before == 0 && out.size() >= kObjectHeaderSize) {
            uint64_t stated = ByteReader(out).LE64(kObjectSizeField);
            wanted = std::clamp<uint64_t>(stated, kHeaderObjectFixed, kMaxHeaderSize);
        }
    }
    return true;
}

int ReadAsfHeader(const std::string& path, ProbeInfo& info) {
    std::vector<uint8_t> header;
    if (!ReadAsfHeaderObject(path, header) || header.empty()) {
        return -1;
    }
    return ParseAsfHeader(ByteReader(header), info);
}
