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

#include "engines/conversion/mpeg_ps_audio_frames.h"
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
constexpr int kIntraPicture = 1;  // picture_coding_type
constexpr int kPredictedPicture = 2;
// Reference pictures remembered as places to end a cut input: seconds of them.
constexpr size_t kKeptAnchors = 256;
// How far before its pictures' end a cut input's sound may end at a seam.
constexpr int64_t kSeamAudioSearch = kClockHz / 2;
constexpr int kFrameRates[][2] = {{0, 1},  {24000, 1001}, {24, 1},       {25, 1}, {30000, 1001},
                                  {30, 1}, {50, 1},       {60000, 1001}, {60, 1}};

struct AudioFacts {
    PsAudioStream stream;
    int64_t bitRate = 0;
    int samplesPerFrame = 0;
    bool known = false;
};

// The first frame header of the stream's framing in `data`.
bool ReadAudioFacts(AudioFraming framing, const uint8_t* data, size_t size, AudioFacts* facts) {
    for (size_t i = 0; i < size; ++i) {
        AudioFrameHeader header;
        if (ReadAudioFrameHeader(framing, data + i, size - i, &header)) {
            facts->stream.codec = header.codec;
            facts->stream.sampleRate = header.sampleRate;
            facts->stream.channels = header.channels;
            facts->bitRate = header.bitRate;
            facts->samplesPerFrame = header.samplesPerFrame;
            facts->known = true;
            return true;
        }
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

    // A place the pictures can end: before a reference picture in the order of decoding, every
    // picture before it shown up to `endBefore`.
    struct Anchor {
        uint64_t at;
        int64_t endBefore;
        int64_t picturesBefore;
    };
    const std::vector<Anchor>& Anchors() const { return m_anchors; }

    // Whether the last picture stops before its bottom row of macroblocks: the stream was cut
    // between packs, inside it. MPEG-2 starts a slice on every row (an MPEG-1 slice may run
    // over rows, so its pictures are taken for whole), and a sequence end code after the
    // picture says the stream ends whole.
    bool LastPictureUnfinished() const {
        const int height = m_scan->scan.height;
        if (!m_sawExtension || m_scan->pictures == 0 || m_sequenceEnded || height <= 0 ||
            height > kMaxPlainSliceHeight) {
            return false;
        }
        const int frameRows = (height + kMacroblockRows - 1) / kMacroblockRows;
        const int rows = m_fieldPicture ? (frameRows + 1) / 2 : frameRows;
        return m_lastSliceRow + 1 < rows;
    }

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
        } else if (code == kExtensionStart && left >= 1 && (body[0] >> 4) == kSequenceExtensionId) {
            m_sawExtension = true;  // a sequence extension: MPEG-2 video
        } else if (code == kExtensionStart && left > kPictureStructureByte &&
                   (body[0] >> 4) == kPictureCodingExtensionId) {
            m_fieldPicture = (body[kPictureStructureByte] & kPictureStructureMask) != kFramePicture;
        } else if (code >= kFirstSlice && code <= kLastSlice) {
            m_lastSliceRow = std::max(m_lastSliceRow, code - kFirstSlice);
        } else if (code == kSequenceEnd) {
            m_sequenceEnded = true;
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
        if ((type == kIntraPicture || type == kPredictedPicture) && m_end >= 0) {
            m_anchors.push_back({boundary, m_end, m_scan->pictures});
            if (m_anchors.size() > kKeptAnchors) {
                m_anchors.erase(m_anchors.begin(), m_anchors.begin() + kKeptAnchors / 2);
            }
        }
        m_lastSliceRow = -1;
        m_fieldPicture = false;
        m_sequenceEnded = false;
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
    std::vector<Anchor> m_anchors;  // the last ones
    int m_lastSliceRow = -1;        // of the last picture
    bool m_fieldPicture = false;
    bool m_sequenceEnded = false;
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
    return FramingOfStream(key) != AudioFraming::kNone;
}

// Follows the audio streams: each one's facts and frames, and the times of the first one met,
// which stand for the audio of the file.
class AudioTracker {
public:
    // The payload of a PES packet of the audio stream `key`, at stream offset `position` in the
    // pack at `packAt`; the streams met so far are listed in `streams`.
    void Feed(uint16_t key, ByteReader payload, uint64_t position, uint64_t packAt, bool hasPts,
              int64_t pts, std::vector<PsAudioStream>* streams) {
        AudioFacts& facts = m_facts[key];
        if (facts.stream.key == 0) {
            facts.stream.key = key;
            streams->push_back(facts.stream);
        }
        const AudioFraming framing = FramingOfStream(key);
        const size_t skip = AudioDataOffset(framing);
        if (!facts.known) {
            Learn(framing, payload, skip, &facts, streams);
        }
        if (payload.size() > skip) {
            const uint32_t group = framing == AudioFraming::kLpcm
                                       ? LpcmGroupBytes(payload.data() + kAc3HeaderBytes)
                                       : 0;
            m_frames.try_emplace(key, framing, group)
                .first->second.Feed(position, packAt, payload.data() + skip, payload.size() - skip,
                                    hasPts ? pts : -1);
        }
        if (m_first == 0) {
            m_first = key;
        }
        if (key == m_first && hasPts) {
            if (m_start < 0 || TimeDifference(m_start, pts) < 0) {
                m_start = pts;
            }
            if (m_end < 0 || TimeDifference(m_end, pts) > 0) {
                m_end = pts;
            }
        }
    }

    // After the scan: where each stream ends whole (before the cut of an input cut short, and
    // at its own end), and the first stream's facts as the file's audio.
    void Summarize(PsScan* s) {
        for (const auto& [key, walker] : m_frames) {
            PsAudioCut cut;
            cut.key = key;
            if (s->cutShort && s->pictures > 0 && walker.CutBefore(s->cutAt, &cut)) {
                s->audioCuts.push_back(cut);
            }
        }
        for (const auto& [key, walker] : m_frames) {
            PsAudioCut tail;
            tail.key = key;
            if (walker.TrailingPart(&tail)) {
                s->audioTails.push_back(tail);
            }
        }
        if (m_first == 0) {
            return;
        }
        const AudioFacts& facts = m_facts[m_first];
        MediaScan& m = s->scan;
        m.hasAudio = true;
        m.audioCodec = facts.stream.codec.empty() ? "unknown" : facts.stream.codec;
        m.audioBitRate = facts.bitRate;
        m.audioSampleRate = facts.stream.sampleRate;
        m.audioChannels = facts.stream.channels;
        if (m_start >= 0 && facts.stream.sampleRate > 0) {
            int64_t span = TimeDifference(m_start, m_end);
            m.audioSampleCount =
                std::llround(static_cast<double>(span) / kClockHz * facts.stream.sampleRate) +
                facts.samplesPerFrame;
            m_end = ShiftTime(m_end, static_cast<int64_t>(facts.samplesPerFrame) * kClockHz /
                                         facts.stream.sampleRate);
        }
    }

    // The end of the first stream's last whole frame; false when not known.
    bool WholeEnd(int64_t* time) const {
        auto first = m_frames.find(m_first);
        return first != m_frames.end() && first->second.WholeEnd(time);
    }

    // Places to end each stream with a frame that ends in [from, to]; a stream whose frames'
    // times are not known ends as a cut at `cutAt` ends it, at no time.
    std::vector<PsTimedAudioCut> TimedCuts(int64_t from, int64_t to, uint64_t cutAt) const {
        std::vector<PsTimedAudioCut> cuts;
        for (const auto& [key, walker] : m_frames) {
            std::vector<PsTimedAudioCut> own = walker.TimedCuts(from, to);
            if (own.empty()) {
                own.emplace_back();
                if (!walker.CutBefore(cutAt, &own.back().cut)) {
                    continue;
                }
            }
            for (PsTimedAudioCut& timed : own) {
                timed.cut.key = key;
                cuts.push_back(timed);
            }
        }
        return cuts;
    }

    // The first stream's earliest time and the latest end (after Summarize); -1 when unknown.
    int64_t Start() const { return m_start; }
    int64_t End() const { return m_end; }

private:
    static void Learn(AudioFraming framing, ByteReader payload, size_t skip, AudioFacts* facts,
                      std::vector<PsAudioStream>* streams) {
        if (framing == AudioFraming::kLpcm) {
            facts->stream.codec = "pcm_dvd";
            facts->known = true;
        } else if (payload.size() > skip) {
            ReadAudioFacts(framing, payload.data() + skip, payload.size() - skip, facts);
        }
        if (facts->known) {
            for (PsAudioStream& a : *streams) {
                if (a.key == facts->stream.key) {
                    a = facts->stream;
                }
            }
        }
    }

    std::map<uint16_t, AudioFacts> m_facts;
    std::map<uint16_t, AudioFrameWalker> m_frames;
    uint16_t m_first = 0;
    int64_t m_start = -1;
    int64_t m_end = -1;
};

// A pack header: where the last one is, and the clock and rate of the first and the last.
void NotePack(const ByteReader& window, const PsUnit& unit, uint64_t position, PsScan* s) {
    s->lastPackAt = position;
    const uint8_t* scr = window.data() + kScrOffset;
    int64_t time = unit.mpeg2 ? ReadScrBase(scr) : ReadTimestamp(scr);
    if (s->firstScr < 0) {
        s->firstScr = time;
        s->mpeg2Packs = unit.mpeg2;
    }
    s->lastScr = time;
    s->lastMuxRate = PackMuxRate(window.data(), unit.mpeg2);
}

// The video's part of the summary: its codec, its times and, for an input cut short, where it
// ends with its last whole picture.
void SummarizeVideo(const VideoTracker& video, PsScan* s) {
    MediaScan& m = s->scan;
    m.hasVideo = s->videoId != 0 && s->pictures > 0;
    if (m.hasVideo) {
        m.videoCodec = video.Mpeg2() ? "mpeg2video" : "mpeg1video";
        m.formatName = video.Mpeg2() ? "MPEG-2" : "MPEG-1";
    } else {
        m.formatName = "mpeg";
    }
    s->videoStart = video.Start();
    s->fullEnd = video.End();
    s->videoEnd = video.End();
    m.frameCount = s->pictures;
    if (!s->cutShort && video.LastPictureUnfinished()) {
        // Every pack is whole, but the last picture is not: the file was cut at a pack's end
        // (or is one part of a title split in files, which the join puts together again).
        s->cutShort = true;
        s->cutBetweenPacks = true;
    }
    if (s->cutShort && s->pictures > 0) {
        s->cutAt = video.LastBoundary();
        s->videoEnd = video.EndBeforeLast();
        m.frameCount = s->pictures - 1;
    }
}

// For an input cut short: where it ends when a seam follows (PsSeamEnding), the latest place
// that ends the pictures by the end of the sound, within half a frame.
void FindSeamEnding(const VideoTracker& video, const AudioTracker& audio, PsScan* s) {
    int64_t soundEnd = -1;
    if (!s->cutShort || s->pictures == 0 || s->videoEnd < 0 || !audio.WholeEnd(&soundEnd)) {
        return;
    }
    const int64_t slack = s->frameTicks / 2;
    PsSeamEnding ending{s->cutAt, s->videoEnd, s->scan.frameCount, {}};
    bool found = TimeDifference(s->videoEnd, soundEnd) >= -slack;
    if (!found) {
        for (const VideoTracker::Anchor& anchor : video.Anchors()) {
            if (anchor.at <= s->cutAt && TimeDifference(anchor.endBefore, soundEnd) >= -slack) {
                ending = {anchor.at, anchor.endBefore, anchor.picturesBefore, {}};
                found = true;
            }
        }
    }
    if (found) {
        ending.audioCuts = audio.TimedCuts(ShiftTime(ending.videoEnd, -kSeamAudioSearch),
                                           ending.videoEnd, ending.videoCutAt);
        s->seamEnding = std::move(ending);
    }
}

// From the earliest time of any stream to the latest end.
double Duration(const PsScan& s, const AudioTracker& audio) {
    int64_t start = s.videoStart;
    if (audio.Start() >= 0 && (start < 0 || TimeDifference(start, audio.Start()) < 0)) {
        start = audio.Start();
    }
    int64_t end = s.fullEnd;
    if (audio.End() >= 0 && (end < 0 || TimeDifference(end, audio.End()) > 0)) {
        end = audio.End();
    }
    if (start < 0 || end < 0) {
        return 0;
    }
    return std::max<int64_t>(0, TimeDifference(start, end)) / static_cast<double>(kClockHz);
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
    AudioTracker audio;
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
            NotePack(window, unit, input.Position(), &s);
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
                audio.Feed(key, payload, input.Position(), s.lastPackAt, hasPts, pts, &s.audio);
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
    SummarizeVideo(video, &s);
    audio.Summarize(&s);
    FindSeamEnding(video, audio, &s);
    s.audioStart = audio.Start();
    s.scan.duration = Duration(s, audio);
    s.scan.standard = MpegStandard(s.scan);
    return 0;
}

int ScanProgramStreamCached(const std::string& path, PsScan* scan, const ScanProgress& progress,
                            std::string* error) {
    static RememberedScans<PsScan> remembered;
    return remembered.Get(
        path, scan, [&](PsScan* fresh) { return ScanProgramStream(path, fresh, progress, error); });
}
