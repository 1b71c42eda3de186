#include "wmjoin/wm_check_facts.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <numeric>

#include "engines/asf/asf_format.h"
#include "engines/asf/asf_header_parser.h"
#include "engines/asf/media_type.h"
#include "engines/asf/profile.h"
#include "probe/asf_header_reader.h"
#include "probe/format_tags.h"
#include "wmjoin/wm_stream_table.h"

namespace {

constexpr uint64_t kAsfTicksPerSecond = 10'000'000;
constexpr size_t kBitmapCompression = 16;  // within BITMAPINFOHEADER
constexpr size_t kWaveChannels = 2;        // within WAVEFORMATEX
constexpr size_t kWaveSamplesPerSec = 4;

std::string FourCCText(uint32_t fourcc) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>((fourcc >> (8 * i)) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

std::string FormatTagText(uint16_t tag) {
    std::string name;
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%04X", tag);
    return AcmFormatTagName(tag, name) ? name + " (" + hex + ")" : std::string(hex);
}

// A media type block in memory the engine's comparison may read and change.
class PlacedType {
public:
    explicit PlacedType(const std::vector<uint8_t>& block)
        : m_words((block.size() + sizeof(uint64_t) - 1) / sizeof(uint64_t) + 1) {
        if (block.size() >= sizeof(WM_MEDIA_TYPE)) {
            asf::PlaceMediaTypeBlock(block, Type());
            m_placed = true;
        }
    }
    WM_MEDIA_TYPE* Type() { return reinterpret_cast<WM_MEDIA_TYPE*>(m_words.data()); }
    bool placed() const { return m_placed; }

private:
    std::vector<uint64_t> m_words;
    bool m_placed = false;
};

std::string Kbps(uint32_t bitrate) {
    return std::to_string((bitrate + 500) / 1000) + " kbps";
}

struct FormatField {
    size_t offset;  // in the format bytes after the WM_MEDIA_TYPE
    size_t size;    // 0: to the end
    const char* name;
};

// VIDEOINFOHEADER with its BITMAPINFOHEADER, and WAVEFORMATEX: the fields a difference can lie
// in, for naming it.
constexpr FormatField kVideoFields[] = {
    {0, 32, "picture rectangles"}, {32, 4, "bit rate"},       {36, 4, "error rate"},
    {40, 8, "frame duration"},     {48, 12, "bitmap header"}, {60, 2, "planes"},
    {62, 2, "bit depth"},          {64, 4, "compression"},    {68, 4, "image size"},
    {72, 8, "pixel density"},      {80, 8, "palette"},        {88, 0, "codec data"},
};
constexpr FormatField kAudioFields[] = {
    {0, 2, "format tag"},       {2, 2, "channels"},    {4, 4, "sample rate"},
    {8, 4, "bit rate"},         {12, 2, "block size"}, {14, 2, "bits per sample"},
    {16, 2, "codec data size"}, {18, 0, "codec data"},
};

std::string HexBytes(const std::vector<uint8_t>& block, size_t from, size_t to) {
    std::string text;
    constexpr size_t kShown = 8;
    for (size_t i = from; i < to && i < block.size() && i < from + kShown; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", block[i]);
        text += (text.empty() ? "" : " ") + std::string(hex);
    }
    if (to > from + kShown && block.size() > from + kShown) {
        text += " ...";
    }
    return text.empty() ? std::string("none") : text;
}

// The codec data words a decoder reads, named for a user: a difference in them is why a file
// is refused although its picture size, rates and channels are the first file's.
struct CodecDataWord {
    uint16_t formatTag;
    size_t offset;  // within the codec data
    size_t size;
    const char* name;
};
constexpr CodecDataWord kCodecDataWords[] = {
    {asf::unread::kWma2Tag, asf::unread::kWma2EncodeOptions, 2,
     "codec data (encoder options, which the decoder reads)"},
    {asf::unread::kWma1Tag, asf::unread::kWma1EncodeOptions, 2,
     "codec data (encoder options, which the decoder reads)"},
};

// Names the first field in which two media type blocks differ where a decoder reads them, with
// both values in hex (bit rates in kbps).
void DescribeFormatDifference(const JoinCheckFacts::StreamFormat& first,
                              const JoinCheckFacts::StreamFormat& other, const char* what,
                              CheckFinding& finding) {
    const size_t head = sizeof(WM_MEDIA_TYPE);
    const std::vector<uint8_t>& a = first.block;
    const std::vector<uint8_t>& b = other.block;
    PlacedType placed(a);
    const std::vector<uint8_t> read =
        placed.placed() ? FormatBitsRead(placed.Type()) : std::vector<uint8_t>();
    size_t at = head;
    while (at < a.size() && at < b.size() &&
           ((a[at] ^ b[at]) & (at - head < read.size() ? read[at - head] : 0xFF)) == 0) {
        ++at;
    }
    finding.field = std::string(what) + " format";
    size_t from = at;
    size_t to = std::max(a.size(), b.size());
    if (first.video || first.audio) {
        const FormatField* fields = first.video ? kVideoFields : kAudioFields;
        size_t count = first.video ? std::size(kVideoFields) : std::size(kAudioFields);
        for (size_t i = 0; i < count; ++i) {
            size_t start = head + fields[i].offset;
            size_t end = fields[i].size == 0 ? to : start + fields[i].size;
            if (at >= start && at < end) {
                finding.field = std::string(what) + " " + fields[i].name;
                from = start;
                to = end;
                break;
            }
        }
    }
    if (first.audio && a.size() >= head + asf::kWaveFormatExSize) {
        const uint16_t tag = static_cast<uint16_t>(a[head] | a[head + 1] << 8);
        const size_t rate = head + asf::waveformat::kAvgBytesPerSec;
        if (at >= rate && at < rate + 4 && b.size() >= rate + 4) {
            finding.field = std::string(what) + " bit rate (the decoder sets its coding from it)";
            finding.value = Kbps(ByteReader(b).LE32(rate) * 8);
            finding.firstValue = Kbps(ByteReader(a).LE32(rate) * 8);
            return;
        }
        for (const CodecDataWord& word : kCodecDataWords) {
            const size_t start = head + asf::kWaveFormatExSize + word.offset;
            if (word.formatTag == tag && at >= start && at < start + word.size) {
                finding.field = std::string(what) + " " + word.name;
                from = start;
                to = start + word.size;
            }
        }
    }
    finding.value = HexBytes(b, from, to);
    finding.firstValue = HexBytes(a, from, to);
}

}  // namespace

// What the Windows Media join compares beyond the named fields: every stream of the first file
// needs a stream of the other whose media type matches by the joiner's own comparison. Only
// told when none of the named fields already differ.
std::optional<CheckFinding> WmStreamFormatRule(const JoinCheckFacts& first,
                                               const JoinCheckFacts& other) {
    if (first.kind != kKindWmv || other.kind != kKindWmv || first.streamFormats.empty() ||
        other.streamFormats.empty() || !SameNamedFields(first, other)) {
        return std::nullopt;
    }
    std::vector<bool> taken(other.streamFormats.size(), false);
    for (const JoinCheckFacts::StreamFormat& mine : first.streamFormats) {
        bool matched = false;
        for (size_t j = 0; j < other.streamFormats.size() && !matched; ++j) {
            const JoinCheckFacts::StreamFormat& theirs = other.streamFormats[j];
            if (taken[j] || theirs.variableRate != mine.variableRate) {
                continue;
            }
            PlacedType a(mine.block);
            PlacedType b(theirs.block);
            if (a.placed() && b.placed() &&
                CompareMediaTypes(a.Type(), b.Type(), mine.variableRate ? 1 : 0)) {
                taken[j] = true;
                matched = true;
            }
        }
        if (matched) {
            continue;
        }
        const char* what = mine.video ? "video" : mine.audio ? "audio" : "other";
        for (const JoinCheckFacts::StreamFormat& theirs : other.streamFormats) {
            if (theirs.video != mine.video || theirs.audio != mine.audio) {
                continue;
            }
            CheckFinding finding;
            finding.refuses = true;
            if (theirs.variableRate != mine.variableRate) {
                finding.field = std::string(what) + " bit rate";
                finding.value = theirs.variableRate ? "variable" : "constant";
                finding.firstValue = mine.variableRate ? "variable" : "constant";
            } else {
                DescribeFormatDifference(mine, theirs, what, finding);
            }
            return finding;
        }
        CheckFinding finding;
        finding.refuses = true;
        finding.field = std::string(what) + " stream";
        finding.value = "none";
        finding.firstValue = "one";
        return finding;
    }
    return std::nullopt;
}

void ReadAsfFacts(JoinCheckFacts& facts) {
    std::vector<uint8_t> bytes;
    if (ReadAsfHeaderObject(facts.path, bytes)) {
        AddAsfHeaderFacts(ByteReader(bytes), facts);
    }
}

void AddAsfHeaderFacts(ByteReader bytes, JoinCheckFacts& facts) {
    asf::Header header;
    if (FAILED(asf::ParseHeaderObject(bytes, &header))) {
        return;
    }
    facts.streamCount = static_cast<int>(header.streams.size());
    // The container's first video and audio streams say what the record only named.
    facts.hasVideo = false;
    facts.hasAudio = false;
    facts.videoCodec.clear();
    facts.audioCodec.clear();
    facts.streamFormats.clear();
    for (const asf::ProfileStream& stream : asf::ProfileFromHeader(header).streams) {
        JoinCheckFacts::StreamFormat format;
        format.video = stream.info.IsVideo();
        format.audio = stream.info.IsAudio();
        format.variableRate = stream.vbr;
        format.bitrate = stream.bitrate;
        asf::BuildMediaTypeBlock(stream.info, stream.bitrate, &format.block);
        facts.streamFormats.push_back(std::move(format));
    }
    for (const asf::StreamInfo& stream : header.streams) {
        ByteReader data(stream.typeSpecific);
        if (stream.IsVideo() && !facts.hasVideo) {
            facts.hasVideo = true;
            ByteReader bitmap =
                data.Sub(asf::videoinfo::kBitmapInfo, asf::videoinfo::kBitmapInfoSize);
            facts.videoCodec = FourCCText(bitmap.LE32(kBitmapCompression));
            // A damaged header may give any 64-bit value: reduced in unsigned arithmetic, and
            // a frame time past what the fraction holds is not known.
            uint64_t perFrame = stream.hasExtended ? stream.extended.avgTimePerFrame : 0;
            if (perFrame > 0 && perFrame <= static_cast<uint64_t>(INT64_MAX)) {
                uint64_t g = std::gcd(kAsfTicksPerSecond, perFrame);
                facts.rateNum = static_cast<int64_t>(kAsfTicksPerSecond / g);
                facts.rateDen = static_cast<int64_t>(perFrame / g);
            }
        } else if (stream.IsAudio() && !facts.hasAudio) {
            facts.hasAudio = true;
            facts.audioCodec = FormatTagText(data.LE16(0));
            facts.channels = data.LE16(kWaveChannels);
            facts.sampleRate = static_cast<int>(data.LE32(kWaveSamplesPerSec));
        }
    }
}
