#include "probe/asf_header_reader.h"

#include <array>
#include <limits>
#include <vector>

#include "platform/com.h"
#include "probe/header_file.h"
#include "platform/unicode.h"

namespace {

using GuidBytes = std::array<uint8_t, 16>;

// The on-disk bytes of a GUID written in its usual text form.
constexpr GuidBytes AsfGuid(const char (&text)[37]) {
    GUID g = GuidFromString(text);
    GuidBytes b{};
    for (int i = 0; i < 4; ++i) {
        b[i] = static_cast<uint8_t>(g.Data1 >> (8 * i));
    }
    b[4] = static_cast<uint8_t>(g.Data2);
    b[5] = static_cast<uint8_t>(g.Data2 >> 8);
    b[6] = static_cast<uint8_t>(g.Data3);
    b[7] = static_cast<uint8_t>(g.Data3 >> 8);
    for (int i = 0; i < 8; ++i) {
        b[8 + i] = g.Data4[i];
    }
    return b;
}

constexpr GuidBytes kHeaderObject = AsfGuid("75B22630-668E-11CF-A6D9-00AA0062CE6C");
constexpr GuidBytes kFilePropertiesObject = AsfGuid("8CABDCA1-A947-11CF-8EE4-00C00C205365");
constexpr GuidBytes kStreamPropertiesObject = AsfGuid("B7DC0791-A9B7-11CF-8EE6-00C00C205365");
constexpr GuidBytes kCodecListObject = AsfGuid("86D15240-311D-11D0-A3A4-00A0C90348F6");
constexpr GuidBytes kStreamBitratePropertiesObject =
    AsfGuid("7BF875CE-468D-11D1-8D82-006097C9A2B2");
constexpr GuidBytes kDataObject = AsfGuid("75B22636-668E-11CF-A6D9-00AA0062CE6C");
constexpr GuidBytes kAudioMedia = AsfGuid("F8699E40-5B4D-11CF-A8FD-00805F5C442B");
constexpr GuidBytes kVideoMedia = AsfGuid("BC19EFC0-5B4D-11CF-A8FD-00805F5C442B");

// Every object: GUID, 64-bit size of the whole object (only the low half is used).
constexpr size_t kObjectSizeOffset = 16;
constexpr size_t kObjectHeaderBytes = 24;

// Header Object: GUID, size, child count (32-bit), two reserved bytes, then the children.
constexpr size_t kHeaderFirstChild = 30;

// File Properties Object.
constexpr size_t kFpDataPacketsCount = 56;  // 64-bit; the low half is the frame count
constexpr size_t kFpSendDuration = 72;      // 64-bit, 100-ns units
constexpr uint64_t kHundredNsPerSecond = 10'000'000;

// Stream Properties Object.
constexpr size_t kSpStreamType = 24;
constexpr size_t kSpFlags = 72;  // low byte: stream number in bits 0-6
constexpr uint8_t kStreamNumberMask = 0x7F;
constexpr size_t kSpTypeSpecific = 78;
// Audio: a WAVEFORMATEX at the type-specific data.
constexpr size_t kSpAudioFormatTag = kSpTypeSpecific + 0;
constexpr size_t kSpAudioAvgBytesPerSec = kSpTypeSpecific + 8;
// Video: encoded width and height, a flag byte, the format size, then a BITMAPINFOHEADER.
constexpr size_t kSpVideoWidth = kSpTypeSpecific + 0;
constexpr size_t kSpVideoHeight = kSpTypeSpecific + 4;
constexpr size_t kSpVideoBitmapInfo = kSpTypeSpecific + 11;
constexpr size_t kSpVideoCompression = kSpVideoBitmapInfo + 16;
static_assert(kSpVideoCompression == 105);

// Codec List Object.
constexpr size_t kClEntryCount = 40;
constexpr size_t kClFirstEntry = 44;
constexpr uint16_t kCodecTypeVideo = 1;
constexpr size_t kCodecFourccInfoBytes = 4;

// Stream Bitrate Properties Object.
constexpr size_t kSbRecordCount = 24;
constexpr size_t kSbFirstRecord = 26;
constexpr size_t kSbRecordBytes = 6;  // flags (16-bit), average bitrate (32-bit, bits/s)
constexpr size_t kSbRecordBitrate = 2;

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

bool IsGuid(ByteReader bytes, size_t off, const GuidBytes& guid) {
    return bytes.Matches(off, guid.data(), guid.size());
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
    if (object.Has(kFpDataPacketsCount, 4)) {
        info.frameCount = object.LE32(kFpDataPacketsCount);
    }
    if (object.Has(kFpSendDuration, 8)) {
        uint64_t seconds = object.LE64(kFpSendDuration) / kHundredNsPerSecond;
        // A duration beyond the 32-bit field is shown as the largest one rather than wrapped.
        info.duration = seconds > std::numeric_limits<uint32_t>::max()
                            ? std::numeric_limits<uint32_t>::max()
                            : static_cast<uint32_t>(seconds);
    }
}

void ReadStreamProperties(ByteReader object, ProbeInfo& info, WalkState& state) {
    if (!object.Has(kSpFlags, 1)) {
        return;  // no stream number: nothing to map the stream to
    }
    size_t number = object.U8(kSpFlags) & kStreamNumberMask;
    if (IsGuid(object, kSpStreamType, kAudioMedia)) {
        unsigned n = CountAudioStream(info);
        state.streamMap[number] = static_cast<int>(n);
        if (n < kProbeAudioSlots) {
            if (object.Has(kSpAudioFormatTag, 2)) {
                info.audio[n].formatTag = object.LE16(kSpAudioFormatTag);
            }
            if (object.Has(kSpAudioAvgBytesPerSec, 4)) {
                info.audio[n].byteRate = object.LE32(kSpAudioAvgBytesPerSec);
            }
        }
    } else if (IsGuid(object, kSpStreamType, kVideoMedia)) {
        state.streamMap[number] = kStreamVideo;
        if (object.Has(kSpVideoWidth, 4)) {
            info.width = object.LE32(kSpVideoWidth);
        }
        if (object.Has(kSpVideoHeight, 4)) {
            info.height = object.LE32(kSpVideoHeight);
        }
        CopyFourcc(object, kSpVideoCompression, info.videoCodec);
    }
}

void ReadCodecList(ByteReader object, ProbeInfo& info, WalkState& state) {
    if (!object.Has(kClEntryCount, 4)) {
        return;
    }
    uint32_t count = object.LE32(kClEntryCount);
    size_t pos = kClFirstEntry;
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
            if (infoBytes == kCodecFourccInfoBytes) {
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
    if (!object.Has(kSbRecordCount, 2)) {
        return;
    }
    uint16_t count = object.LE16(kSbRecordCount);
    for (size_t i = 0; i < count; ++i) {
        size_t rec = kSbFirstRecord + i * kSbRecordBytes;
        if (!object.Has(rec, kSbRecordBytes)) {
            return;
        }
        size_t number = object.U8(rec) & kStreamNumberMask;
        if (number >= 1 && number < kBitrateStreams) {
            state.bitrateTable[number] = object.LE32(rec + kSbRecordBitrate) / 8;
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
    uint32_t headerSize = header.LE32(kObjectSizeOffset);
    size_t pos = kHeaderFirstChild;
    while (pos < headerSize && header.Has(pos, kObjectHeaderBytes)) {
        uint32_t size = header.LE32(pos + kObjectSizeOffset);
        if (size < kObjectHeaderBytes) {
            break;  // cannot advance: the rest of the header is not trusted
        }
        // The object's fields are read only inside both the object and the bytes read.
        ByteReader object = header.Sub(pos, size);
        if (IsGuid(object, 0, kDataObject)) {
            break;
        }
        if (IsGuid(object, 0, kFilePropertiesObject)) {
            ReadFileProperties(object, info);
        } else if (IsGuid(object, 0, kStreamPropertiesObject)) {
            ReadStreamProperties(object, info, state);
        } else if (IsGuid(object, 0, kCodecListObject)) {
            ReadCodecList(object, info, state);
        } else if (IsGuid(object, 0, kStreamBitratePropertiesObject)) {
            ReadStreamBitrates(object, state);
        }
        pos += size;
    }
    ApplyBitrates(state, info);
    return 0;
}

int ReadAsfHeader(const std::string& path, ProbeInfo& info) {
    std::vector<uint8_t> header;
    if (!ReadFileHead(path, kHeaderReadBytes, header) || header.empty()) {
        return -1;
    }
    return ParseAsfHeader(ByteReader(header), info);
}
