#include "engines/conversion/mpeg_ps_scan.h"

#include <sys/stat.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>

#include "engines/conversion/mpeg_ps_facts.h"
#include "engines/conversion/mpeg_ps_input.h"
#include "engines/conversion/mpeg_ps_units.h"
#include "engines/conversion/remembered_scans.h"

using namespace mpegps;

namespace {

// Bytes at the start of the stream looked at for its pack size (as the FFmpeg scan does).
constexpr size_t kPackProbeBytes = 65536;
// A PES packet at most: its six header bytes and a 16-bit length.
constexpr size_t kMaxUnitBytes = kPesHeaderBytes + 0xFFFF;
constexpr size_t kSequenceHeaderBytes = 8;  // after the start code: size, aspect, rate, ...
constexpr size_t kPictureHeaderBytes = 2;
constexpr int kMp2SamplesPerFrame = 1152;
constexpr int kMp1SamplesPerFrame = 384;
constexpr int kAc3SamplesPerFrame = 1536;

constexpr int kFrameRates[][2] = {{0, 1},  {24000, 1001}, {24, 1},       {25, 1}, {30000, 1001},
                                  {30, 1}, {50, 1},       {60000, 1001}, {60, 1}};

// MPEG-1 audio: bit rates (kbit/s) by version 1 layer, and sample rates by version.
constexpr int kMpaBitRates[3][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}};
constexpr int kMpaLsfBitRates[2][16] = {
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}};
constexpr int kMpaRates[3] = {44100, 48000, 32000};
constexpr int kAc3Rates[3] = {48000, 44100, 32000};
constexpr int kAc3BitRates[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                  192, 224, 256, 320, 384, 448, 512, 576, 640};
constexpr int kAc3Channels[8] = {2, 1, 2, 3, 3, 4, 4, 5};

struct AudioFacts {
    PsAudioStream stream;
    int64_t bitRate = 0;
    int samplesPerFrame = 0;
    bool known = false;
};

// The first MPEG audio frame header in `data`.
bool ReadMpegAudio(const uint8_t* data, size_t size, AudioFacts* facts) {
    for (size_t i = 0; i + 4 <= size; ++i) {
        if (data[i] != 0xFF || (data[i + 1] & 0xE0) != 0xE0) {
            continue;
        }
        int version = (data[i + 1] >> 3) & 0x03;  // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
        int layer = 4 - ((data[i + 1] >> 1) & 0x03);
        int rateIndex = (data[i + 2] >> 2) & 0x03;
        int bitIndex = data[i + 2] >> 4;
        if (version == 1 || layer == 4 || rateIndex == 3 || bitIndex == 15) {
            continue;
        }
        bool lsf = version != 3;
        int kbps =
            lsf ? kMpaLsfBitRates[layer == 1 ? 0 : 1][bitIndex] : kMpaBitRates[layer - 1][bitIndex];
        int rate = kMpaRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
        facts->stream.codec = layer == 1 ? "mp1" : layer == 2 ? "mp2" : "mp3";
        facts->stream.sampleRate = rate;
        facts->stream.channels = (data[i + 3] >> 6) == 3 ? 1 : 2;
        facts->bitRate = 1000LL * kbps;
        facts->samplesPerFrame = layer == 1            ? kMp1SamplesPerFrame
                                 : (layer == 3 && lsf) ? kMp2SamplesPerFrame / 2
                                                       : kMp2SamplesPerFrame;
        facts->known = true;
        return true;
    }
    return false;
}

bool ReadAc3(const uint8_t* data, size_t size, AudioFacts* facts) {
    for (size_t i = 0; i + 7 <= size; ++i) {
        if (data[i] != 0x0B || data[i + 1] != 0x77) {
            continue;
        }
        int fscod = data[i + 4] >> 6;
        int frmsizecod = data[i + 4] & 0x3F;
        if (fscod == 3 || frmsizecod / 2 >= 19) {
            continue;
        }
        facts->stream.codec = "ac3";
        facts->stream.sampleRate = kAc3Rates[fscod];
        facts->stream.channels = kAc3Channels[data[i + 6] >> 5];
        facts->bitRate = 1000LL * kAc3BitRates[frmsizecod / 2];
        facts->samplesPerFrame = kAc3SamplesPerFrame;
        facts->known = true;
        return true;
    }
    return false;
}

// The first i in [from, end) with data[i] and data[i + 1] both zero (data[end] is readable), or
// end. Compressed video holds two zero bytes in a row only at start codes (and in stuffing), so
// this skips the data sixteen bytes at a time.
size_t FindZeroPair(const uint8_t* data, size_t from, size_t end) {
    size_t i = from;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    while (i + 17 <= end) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 1));
        unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, zero), _mm_cmpeq_epi8(b, zero))));
        if (mask != 0) {
            return i + static_cast<size_t>(__builtin_ctz(mask));
        }
        i += 16;
    }
#endif
    for (; i < end; ++i) {
        if (data[i] == 0 && data[i + 1] == 0) {
            return i;
        }
    }
    return end;
}

// One audio stream's frames, walked through its PES packets, so that a stream that is cut
// short can end with its last whole frame. MPEG audio and AC-3 at 48 or 32 kHz.
class AudioFrameWalker {
public:
    static constexpr size_t kKeptRecords = 512;

    void Feed(uint64_t pesAt, const uint8_t* data, size_t size, bool ac3) {
        m_packets.push_back({pesAt, m_esBytes, size});
        if (m_packets.size() > kKeptRecords) {
            m_packets.erase(m_packets.begin(), m_packets.begin() + kKeptRecords / 2);
        }
        uint64_t base = m_esBytes;
        size_t at = 0;
        while (true) {
            if (m_searching) {
                if (at >= size) {
                    break;
                }
                const void* hit = std::memchr(data + at, ac3 ? 0x0B : 0xFF, size - at);
                if (hit == nullptr) {
                    break;
                }
                at = static_cast<size_t>(static_cast<const uint8_t*>(hit) - data);
                m_headerAt = base + at;
                m_headerHave = 0;
                m_searching = false;
            } else if (m_headerHave == 0) {
                if (m_headerAt >= base + size) {
                    break;  // the next frame starts in a later packet
                }
                at = static_cast<size_t>(m_headerAt - base);
            }
            size_t take = std::min(sizeof m_header - m_headerHave, size - at);
            std::memcpy(m_header + m_headerHave, data + at, take);
            m_headerHave += take;
            at += take;
            if (m_headerHave < sizeof m_header) {
                break;  // the header goes on in the next packet
            }
            uint64_t bytes = FrameBytes(ac3);
            m_headerHave = 0;
            if (bytes == 0) {
                // No frame here after all: look again from the byte after the sync byte.
                m_searching = true;
                at = m_headerAt + 1 >= base ? static_cast<size_t>(m_headerAt + 1 - base) : 0;
                continue;
            }
            m_headerAt += bytes;
            m_frameEnds.push_back(m_headerAt);
            if (m_frameEnds.size() > kKeptRecords) {
                m_frameEnds.erase(m_frameEnds.begin(), m_frameEnds.begin() + kKeptRecords / 2);
            }
        }
        m_esBytes += size;
    }

    // Where this stream must end when everything from stream offset `cutAt` on is left out.
    bool CutBefore(uint64_t cutAt, PsAudioCut* cut) const {
        uint64_t kept = 0;
        for (const Packet& p : m_packets) {
            if (p.at < cutAt) {
                kept = p.esStart + p.bytes;
            }
        }
        uint64_t whole = 0;
        for (uint64_t end : m_frameEnds) {
            if (end <= kept) {
                whole = std::max(whole, end);
            }
        }
        for (const Packet& p : m_packets) {
            if (p.esStart < whole && whole <= p.esStart + p.bytes) {
                cut->pesAt = p.at;
                cut->keepBytes = static_cast<size_t>(whole - p.esStart);
                return true;
            }
            if (p.esStart >= whole) {
                cut->pesAt = p.at;
                cut->keepBytes = 0;
                return true;
            }
        }
        return false;
    }

private:
    struct Packet {
        uint64_t at;
        uint64_t esStart;
        size_t bytes;
    };

    // The length of the frame whose first bytes are m_header; 0 when they are no frame header.
    uint64_t FrameBytes(bool ac3) const {
        const uint8_t* h = m_header;
        if (ac3) {
            int fscod = h[4] >> 6;
            int code = h[4] & 0x3F;
            if (h[0] != 0x0B || h[1] != 0x77 || code / 2 >= 19 || (fscod != 0 && fscod != 2)) {
                return 0;
            }
            return static_cast<uint64_t>(kAc3BitRates[code / 2]) * (fscod == 0 ? 4 : 6);
        }
        if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) {
            return 0;
        }
        int version = (h[1] >> 3) & 0x03;
        int layer = 4 - ((h[1] >> 1) & 0x03);
        int rateIndex = (h[2] >> 2) & 0x03;
        int bitIndex = h[2] >> 4;
        if (version == 1 || layer == 4 || rateIndex == 3 || bitIndex == 0 || bitIndex == 15) {
            return 0;
        }
        bool lsf = version != 3;
        int kbps =
            lsf ? kMpaLsfBitRates[layer == 1 ? 0 : 1][bitIndex] : kMpaBitRates[layer - 1][bitIndex];
        int rate = kMpaRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
        int padding = (h[2] >> 1) & 1;
        if (layer == 1) {
            return static_cast<uint64_t>((12000 * kbps / rate + padding) * 4);
        }
        int factor = (layer == 3 && lsf) ? 72000 : 144000;
        return static_cast<uint64_t>(factor * kbps / rate + padding);
    }

    std::vector<Packet> m_packets;
    std::vector<uint64_t> m_frameEnds;
    uint8_t m_header[5] = {};
    size_t m_headerHave = 0;
    bool m_searching = true;
    uint64_t m_headerAt = 0;  // stream offset of the next frame's header
    uint64_t m_esBytes = 0;
};

// Follows the video stream: its first sequence header, and each picture with its times.
class VideoTracker {
public:
    explicit VideoTracker(PsScan* scan) : m_scan(scan) {}

    void Feed(const uint8_t* data, size_t size, uint64_t position, bool hasPts, int64_t pts,
              bool hasDts, int64_t dts) {
        m_pendingPts = hasPts;
        m_pts = pts;
        m_dts = hasDts ? dts : pts;
        m_pendingDts = hasDts;
        // A start code split over two packets is found with the carried bytes before this one.
        if (m_carry > 0) {
            uint8_t joined[6] = {};
            std::memcpy(joined, m_carryBytes, m_carry);
            size_t extra = std::min<size_t>(size, 3);
            std::memcpy(joined + m_carry, data, extra);
            for (size_t i = 0; i + 3 < m_carry + extra; ++i) {
                if (i < m_carry && joined[i] == 0 && joined[i + 1] == 0 && joined[i + 2] == 1) {
                    StartCode(joined[i + 3], nullptr, 0, position);
                }
            }
        }
        size_t from = 0;
        while (from + 3 < size) {
            size_t at = FindZeroPair(data, from, size - 3);
            if (at + 3 >= size) {
                break;
            }
            if (data[at + 2] == 1) {
                StartCode(data[at + 3], data + at + 4, size - at - 4, position + at);
                from = at + 3;
            } else {
                from = at + 1;
            }
        }
        m_carry = std::min<size_t>(size, 3);
        std::memcpy(m_carryBytes, data + size - m_carry, m_carry);
    }

    // The times of the pictures: display start and end over all, and over all but the last.
    int64_t Start() const { return m_start; }
    int64_t End() const { return m_end; }
    int64_t EndBeforeLast() const { return m_endBeforeLast; }
    uint64_t LastBoundary() const { return m_lastBoundary; }

private:
    void StartCode(uint8_t code, const uint8_t* body, size_t left, uint64_t position) {
        if (code == kSequenceHeader || code == kGopStart) {
            if (!m_boundaryPending) {
                m_boundaryPending = true;
                m_boundary = position;
            }
            if (code == kSequenceHeader && !m_sawSequence && left >= kSequenceHeaderBytes) {
                m_sawSequence = true;
                m_scan->scan.width = (body[0] << 4) | (body[1] >> 4);
                m_scan->scan.height = ((body[1] & 0x0F) << 8) | body[2];
                m_scan->aspectCode = body[3] >> 4;
                m_scan->frameRateCode = body[3] & 0x0F;
                int num = 0;
                int den = 1;
                if (MpegFrameRate(m_scan->frameRateCode, &num, &den)) {
                    m_scan->scan.frameRate = static_cast<double>(num) / den;
                    m_scan->frameTicks = kClockHz * den / num;
                }
            }
        } else if (code == kExtensionStart && !m_sawExtension && left >= 1 &&
                   (body[0] >> 4) == kSequenceExtensionId) {
            m_sawExtension = true;  // a sequence extension: MPEG-2 video
        } else if (code == kPictureStart) {
            Picture(body, left, position);
        }
    }

    void Picture(const uint8_t* body, size_t left, uint64_t position) {
        int type = left >= kPictureHeaderBytes ? (body[1] >> 3) & 0x07 : 0;
        int64_t ticks = m_scan->frameTicks;
        int64_t dts = m_lastDts < 0 ? -1 : m_lastDts + ticks;
        int64_t shown = -1;
        if (m_pendingPts) {
            shown = m_pts;
            dts = m_pendingDts ? m_dts : (type == 3 || dts < 0 ? m_pts : dts);
            m_pendingPts = false;
        } else if (type == 3) {
            shown = dts;
        }
        m_lastDts = dts;
        if (shown < 0) {
            // An I or P picture without a time is shown after the B pictures that follow it.
            shown = dts < 0 ? -1 : dts + ticks;
        }
        uint64_t boundary = m_boundaryPending ? m_boundary : position;
        m_boundaryPending = false;
        m_lastBoundary = boundary;
        m_endBeforeLast = m_end;
        ++m_scan->pictures;
        if (shown >= 0) {
            if (m_start < 0 || TimeDifference(m_start, shown) < 0) {
                m_start = shown;
            }
            int64_t end = ShiftTime(shown, ticks);
            if (m_end < 0 || TimeDifference(m_end, end) > 0) {
                m_end = end;
            }
        }
    }

public:
    bool Mpeg2() const { return m_sawExtension; }

private:
    PsScan* m_scan;
    uint8_t m_carryBytes[3] = {};
    size_t m_carry = 0;
    bool m_pendingPts = false;
    bool m_pendingDts = false;
    int64_t m_pts = 0;
    int64_t m_dts = 0;
    int64_t m_lastDts = -1;
    int64_t m_start = -1;
    int64_t m_end = -1;
    int64_t m_endBeforeLast = -1;
    bool m_boundaryPending = false;
    uint64_t m_boundary = 0;
    uint64_t m_lastBoundary = 0;
    bool m_sawSequence = false;
    bool m_sawExtension = false;
};

uint16_t StreamKey(uint8_t id, ByteReader payload) {
    if (id == kPrivateStream1) {
        return static_cast<uint16_t>(id << 8 | payload.U8(0));
    }
    return static_cast<uint16_t>(id << 8);
}

bool IsAudioKey(uint16_t key) {
    uint8_t id = key >> 8;
    uint8_t sub = key & 0xFF;
    return (id >= kFirstAudioStream && id <= kLastAudioStream) ||
           (id == kPrivateStream1 &&
            ((sub >= kFirstAc3 && sub <= kLastAc3) || (sub >= kFirstLpcm && sub <= kLastLpcm)));
}

}  // namespace

bool MpegFrameRate(int code, int* num, int* den) {
    if (code <= 0 || code > 8) {
        return false;
    }
    *num = kFrameRates[code][0];
    *den = kFrameRates[code][1];
    return true;
}

int ScanProgramStream(const std::string& path, PsScan* out, const ScanProgress& progress,
                      std::string* error) {
    *out = PsScan{};
    PsScan& s = *out;
    PsInput input;
    if (!input.Open(path, error)) {
        return -ENOENT;
    }
    s.scan.videoCd = input.VideoCd();
    ByteReader head = input.Window(kPackProbeBytes);
    s.scan.packBytes = MpegPackBytes(head.data(), std::min(head.size(), kPackProbeBytes));

    VideoTracker video(&s);
    std::map<uint16_t, AudioFacts> audioFacts;
    std::map<uint16_t, AudioFrameWalker> audioFrames;
    uint16_t firstAudio = 0;
    int64_t audioStart = -1;
    int64_t audioEnd = -1;
    uint64_t lastReport = 0;
    uint64_t reportStep = std::max<uint64_t>(input.FileBytes() / 100, 1);
    while (true) {
        ByteReader window = input.Window(kMaxUnitBytes);
        if (window.size() == 0) {
            break;
        }
        PsUnit unit = ReadPsUnit(window);
        if (unit.kind == PsUnitKind::kIncomplete) {
            s.cutShort = true;  // the stream breaks off inside a unit
            break;
        }
        if (unit.kind == PsUnitKind::kEnd) {
            ++s.endCodes;
            s.lastEndCodeAt = input.Position();
        } else if (unit.kind == PsUnitKind::kPack) {
            s.lastPackAt = input.Position();
            const uint8_t* scr = window.data() + kScrOffset;
            int64_t time = unit.mpeg2 ? ReadScrBase(scr) : ReadTimestamp(scr);
            if (s.firstScr < 0) {
                s.firstScr = time;
                s.mpeg2Packs = unit.mpeg2;
            }
            s.lastScr = time;
            s.lastMuxRate = PackMuxRate(window.data(), unit.mpeg2);
        } else if (unit.kind == PsUnitKind::kPes && unit.payloadOffset < unit.size) {
            const uint8_t* data = window.data();
            ByteReader payload = window.Sub(unit.payloadOffset, unit.size - unit.payloadOffset);
            bool hasPts = unit.ptsOffset != 0;
            int64_t pts = hasPts ? ReadTimestamp(data + unit.ptsOffset) : 0;
            bool isVideo = unit.code >= kFirstVideoStream && unit.code <= kLastVideoStream;
            if (isVideo && (s.videoId == 0 || s.videoId == unit.code)) {
                s.videoId = unit.code;
                bool hasDts = unit.dtsOffset != 0;
                int64_t dts = hasDts ? ReadTimestamp(data + unit.dtsOffset) : 0;
                video.Feed(payload.data(), payload.size(), input.Position() + unit.payloadOffset,
                           hasPts, pts, hasDts, dts);
            }
            uint16_t key = StreamKey(unit.code, payload);
            if (IsAudioKey(key)) {
                AudioFacts& facts = audioFacts[key];
                if (facts.stream.key == 0) {
                    facts.stream.key = key;
                    s.audio.push_back(facts.stream);
                }
                if (!facts.known) {
                    bool privateStream = unit.code == kPrivateStream1;
                    uint8_t sub = key & 0xFF;
                    if (privateStream && sub >= kFirstLpcm) {
                        facts.stream.codec = "pcm_dvd";
                        facts.known = true;
                    } else if (privateStream) {
                        if (payload.size() > kAc3HeaderBytes) {
                            ReadAc3(payload.data() + kAc3HeaderBytes,
                                    payload.size() - kAc3HeaderBytes, &facts);
                        }
                    } else {
                        ReadMpegAudio(payload.data(), payload.size(), &facts);
                    }
                    if (facts.known) {
                        for (PsAudioStream& a : s.audio) {
                            if (a.key == key) {
                                a = facts.stream;
                            }
                        }
                    }
                }
                uint8_t sub = key & 0xFF;
                bool ac3 = unit.code == kPrivateStream1 && sub >= kFirstAc3 && sub <= kLastAc3;
                if (unit.code != kPrivateStream1 || ac3) {
                    size_t skip = ac3 ? kAc3HeaderBytes : 0;
                    if (payload.size() > skip) {
                        audioFrames[key].Feed(input.Position(), payload.data() + skip,
                                              payload.size() - skip, ac3);
                    }
                }
                if (firstAudio == 0) {
                    firstAudio = key;
                }
                if (key == firstAudio && hasPts) {
                    if (audioStart < 0 || TimeDifference(audioStart, pts) < 0) {
                        audioStart = pts;
                    }
                    if (audioEnd < 0 || TimeDifference(audioEnd, pts) > 0) {
                        audioEnd = pts;
                    }
                }
            }
        }
        input.Advance(unit.size);
        if (progress && input.FileOffset() >= lastReport + reportStep) {
            lastReport = input.FileOffset();
            progress(std::min(100.0, 100.0 * static_cast<double>(lastReport) /
                                         static_cast<double>(input.FileBytes())));
        }
    }
    if (input.Failed()) {
        *error = "Cannot read " + path + ": " + std::strerror(EIO);
        return -EIO;
    }
    s.streamBytes = input.Position() + input.Window(1).size();
    if (progress) {
        progress(100.0);
    }

    MediaScan& m = s.scan;
    m.hasVideo = s.videoId != 0 && s.pictures > 0;
    if (m.hasVideo) {
        m.videoCodec = video.Mpeg2() ? "mpeg2video" : "mpeg1video";
        m.formatName = video.Mpeg2() ? "MPEG-2" : "MPEG-1";
    } else {
        m.formatName = "mpeg";
    }
    s.videoStart = video.Start();
    s.fullEnd = video.End();
    s.videoEnd = video.End();
    m.frameCount = s.pictures;
    if (s.cutShort && s.pictures > 0) {
        s.cutAt = video.LastBoundary();
        s.videoEnd = video.EndBeforeLast();
        m.frameCount = s.pictures - 1;
        for (const auto& [key, walker] : audioFrames) {
            PsAudioCut cut;
            cut.key = key;
            if (walker.CutBefore(s.cutAt, &cut)) {
                s.audioCuts.push_back(cut);
            }
        }
    }
    if (firstAudio != 0) {
        const AudioFacts& facts = audioFacts[firstAudio];
        m.hasAudio = true;
        m.audioCodec = facts.stream.codec.empty() ? "unknown" : facts.stream.codec;
        m.audioBitRate = facts.bitRate;
        m.audioSampleRate = facts.stream.sampleRate;
        m.audioChannels = facts.stream.channels;
        if (audioStart >= 0 && facts.stream.sampleRate > 0) {
            int64_t span = TimeDifference(audioStart, audioEnd);
            m.audioSampleCount =
                std::llround(static_cast<double>(span) / kClockHz * facts.stream.sampleRate) +
                facts.samplesPerFrame;
            audioEnd = ShiftTime(audioEnd, static_cast<int64_t>(facts.samplesPerFrame) * kClockHz /
                                               facts.stream.sampleRate);
        }
    }
    // From the earliest time of any stream to the latest end.
    int64_t start = s.videoStart;
    if (audioStart >= 0 && (start < 0 || TimeDifference(start, audioStart) < 0)) {
        start = audioStart;
    }
    int64_t end = s.fullEnd;
    if (audioEnd >= 0 && (end < 0 || TimeDifference(end, audioEnd) > 0)) {
        end = audioEnd;
    }
    if (start >= 0 && end >= 0) {
        m.duration =
            std::max<int64_t>(0, TimeDifference(start, end)) / static_cast<double>(kClockHz);
    }
    m.standard = MpegStandard(m);
    return 0;
}

int ScanProgramStreamCached(const std::string& path, PsScan* scan, const ScanProgress& progress,
                            std::string* error) {
    static RememberedScans<PsScan> remembered;
    return remembered.Get(
        path, scan, [&](PsScan* fresh) { return ScanProgramStream(path, fresh, progress, error); });
}
