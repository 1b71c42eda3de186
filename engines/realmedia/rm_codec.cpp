#include "engines/realmedia/rm_codec.h"

#include <cstring>

#include "engines/realmedia/rm_format.h"
#include "platform/bytes.h"

namespace rm {

namespace {
std::string Text4(const ByteReader& r, size_t at) {
    if (!r.Has(at, 4)) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(r.data() + at), 4);
}

std::string Fps(uint32_t fixed) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f fps", fixed / 65536.0);
    return text;
}

// Fields of a RealAudio header (versions 4 and 5) that describe one file or only size its
// buffers; no decoder reads them, so two files that differ in them alone play as one stream:
// - T+12 "data size": not reliable, every encoder writes its own constant;
// - T+28 total audio bytes: how much audio this one file holds;
// - T+32 and T+36 bytes per minute: the bit rate, as information; the decoder takes its frame
//   and block sizes from the flavor, the sizes at T+24 and T+40..44 and the codec data, which
//   are compared.
constexpr size_t kRaFieldsNoDecoderReads[] = {kRaDataSize, kRaAudioBytes, kRaBytesPerMinute,
                                              kRaBytesPerMinute2};

// Bytes equal apart from the 4-byte fields at `skipped`.
bool EqualExcept(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                 const size_t (&skipped)[4]) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        bool skip = false;
        for (size_t field : skipped) {
            skip = skip || (i >= field && i < field + 4);
        }
        if (!skip && a[i] != b[i]) {
            return false;
        }
    }
    return true;
}
}  // namespace

bool ParseAudioFormat(const std::vector<uint8_t>& typeData, AudioFormat& f) {
    ByteReader r(typeData);
    if (!r.Matches(0, kRaMagic, 4) || !r.Has(0, 6)) {
        return false;
    }
    f = AudioFormat{};
    f.version = r.BE16(kRaVersion);
    if (f.version == 3) {
        // 14.4 audio: fixed 8 kHz mono 20-byte frames; its FourCC is the header's last field.
        f.sampleRate = 8000;
        f.channels = 1;
        f.sampleSize = 16;
        f.codedFrameSize = 20;
        f.fourcc = "lpcJ";
        return true;
    }
    if (f.version != 4 && f.version != 5) {
        return false;
    }
    const bool v5 = f.version == 5;
    if (!r.Has(0, (v5 ? kRa5Fourcc : kRa4Fourcc) + 4)) {
        return false;
    }
    f.flavor = r.BE16(kRaFlavor);
    f.codedFrameSize = r.BE32(kRaCodedFrameSize);
    f.subPacketHeight = r.BE16(kRaSubPacketHeight);
    f.frameSize = r.BE16(kRaFrameSize);
    f.subPacketSize = r.BE16(kRaSubPacketSize);
    if (v5) {
        f.sampleRate = r.BE16(kRa5SampleRate);
        f.sampleSize = r.BE16(kRa5SampleSize);
        f.channels = r.BE16(kRa5Channels);
        f.interleaver = Text4(r, kRa5Interleaver);
        f.fourcc = Text4(r, kRa5Fourcc);
    } else {
        f.sampleRate = r.BE16(kRa4SampleRate);
        f.sampleSize = r.BE16(kRa4SampleSize);
        f.channels = r.BE16(kRa4Channels);
        f.interleaver = r.U8(kRa4Interleaver) == 4 ? Text4(r, kRa4Interleaver + 1) : "";
        f.fourcc = Text4(r, kRa4Fourcc);
    }
    return true;
}

bool ParseVideoFormat(const std::vector<uint8_t>& typeData, VideoFormat& f) {
    ByteReader r(typeData);
    if (!r.Has(0, kVidoMinBytes) || !r.Matches(kVidoMagicAt, kVidoMagic, 4)) {
        return false;
    }
    f.fourcc = Text4(r, kVidoFourcc);
    f.width = r.BE16(kVidoWidth);
    f.height = r.BE16(kVidoHeight);
    f.frameRate = r.BE32(kVidoFrameRate);
    return true;
}

bool PlaysInBlocks(const AudioFormat& format) {
    if (format.subPacketHeight <= 1) {
        return false;
    }
    for (const char* interleaver : kBlockInterleavers) {
        if (format.interleaver == interleaver) {
            return true;
        }
    }
    return false;
}

bool IsCopyableAudioCodec(const std::string& fourcc) {
    for (const char* known : {"cook", "atrc", "sipr", "raac", "racp", "dnet", "28_8", "lpcJ"}) {
        if (fourcc == known) {
            return true;
        }
    }
    return false;
}

bool IsCopyableVideoCodec(const std::string& fourcc) {
    return fourcc == "RV10" || fourcc == "RV20" || fourcc == "RV30" || fourcc == "RV40";
}

std::string DescribeAudioDifference(const std::vector<uint8_t>& first,
                                    const std::vector<uint8_t>& other) {
    AudioFormat a;
    AudioFormat b;
    bool pa = ParseAudioFormat(first, a);
    bool pb = ParseAudioFormat(other, b);
    if (pa && pb && (a.version == 4 || a.version == 5)) {
        if (EqualExcept(first, other, kRaFieldsNoDecoderReads)) {
            return {};
        }
    } else if (first == other) {
        return {};
    }
    if (!pa || !pb) {
        return "its audio header differs";
    }
    if (a.fourcc != b.fourcc) {
        return "the audio codec is " + b.fourcc + ", not " + a.fourcc;
    }
    if (a.sampleRate != b.sampleRate) {
        return "the audio sample rate is " + std::to_string(b.sampleRate) + " Hz, not " +
               std::to_string(a.sampleRate) + " Hz";
    }
    if (a.channels != b.channels) {
        return "the audio has " + std::to_string(b.channels) + " channels, not " +
               std::to_string(a.channels);
    }
    if (a.flavor != b.flavor || a.frameSize != b.frameSize) {
        return "the audio bit rate setting (flavor " + std::to_string(b.flavor) + ", frame " +
               std::to_string(b.frameSize) + " bytes) is not the first file's (flavor " +
               std::to_string(a.flavor) + ", frame " + std::to_string(a.frameSize) + " bytes)";
    }
    return "its audio codec settings differ";
}

std::string DescribeVideoDifference(const std::vector<uint8_t>& first,
                                    const std::vector<uint8_t>& other) {
    if (first == other) {
        return {};
    }
    VideoFormat a;
    VideoFormat b;
    if (!ParseVideoFormat(first, a) || !ParseVideoFormat(other, b)) {
        return "its video header differs";
    }
    if (a.fourcc != b.fourcc) {
        return "the video codec is " + b.fourcc + ", not " + a.fourcc;
    }
    if (a.width != b.width || a.height != b.height) {
        return "the picture is " + std::to_string(b.width) + "x" + std::to_string(b.height) +
               ", not " + std::to_string(a.width) + "x" + std::to_string(a.height);
    }
    if (a.frameRate != b.frameRate) {
        return "the frame rate is " + Fps(b.frameRate) + ", not " + Fps(a.frameRate);
    }
    return "its video codec settings differ";
}

}  // namespace rm
