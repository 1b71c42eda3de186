#include "engines/realmedia/rm_joiner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "engines/realmedia/edit_text.h"
#include "engines/realmedia/rm_codec.h"
#include "engines/realmedia/rm_content_span.h"
#include "engines/realmedia/rm_video_payload.h"
#include "engines/realmedia/rmedit.h"
#include "platform/bytes.h"
#include "platform/output_writer.h"
#include "platform/read_fully.h"

namespace rm {

namespace {
// Index entries of one stream lie at least this far apart (and one at each input's start).
constexpr uint32_t kIndexSpacingMs = 1000;

std::string StreamKind(const MediaProperties& m) {
    return m.IsVideo() ? "video" : m.IsAudio() ? "audio" : "\"" + m.mime + "\"";
}

uint32_t Clamp32(uint64_t v) {
    return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
}

uint32_t BitRate(uint64_t payloadBytes, uint32_t durationMs) {
    return durationMs == 0 ? 0 : Clamp32(payloadBytes * 8 * 1000 / durationMs);
}

// Picks the packets an index points at: the first packet of a key frame (or of an audio
// interleave block), at least kIndexSpacingMs after the previous entry, and the first such
// packet of every input so that a seek to a seam lands on it.
class IndexPicker {
public:
    void StartInput() { m_streams.clear(); }
    bool Take(uint16_t stream, uint32_t timestamp, bool key,
              const std::vector<IndexEntry>& entries) {
        State& s = m_streams[stream];
        bool frameStart = !s.seen || !s.key || s.timestamp != timestamp;
        s.seen = true;
        s.key = key;
        s.timestamp = timestamp;
        if (!key || !frameStart) {
            return false;
        }
        bool take =
            !s.taken || entries.empty() || timestamp >= entries.back().timestamp + kIndexSpacingMs;
        s.taken = true;
        return take;
    }

private:
    struct State {
        bool seen = false;
        bool key = false;
        bool taken = false;
        uint32_t timestamp = 0;
    };
    std::map<uint16_t, State> m_streams;
};

// Reports each whole percent once, in order, so that a listener that acts on some of them
// (every third, say) sees all of them.
class PercentReporter {
public:
    PercentReporter(JoinObserver* observer, uint64_t total)
        : m_observer(observer), m_total(total) {}
    bool Report(uint64_t done) {
        uint32_t percent =
            m_total == 0 ? 100
                         : static_cast<uint32_t>(std::min<uint64_t>(100, done * 100 / m_total));
        while (m_observer != nullptr && m_sent < static_cast<int>(percent)) {
            ++m_sent;
            if (!m_observer->Progress(static_cast<uint32_t>(m_sent))) {
                return false;
            }
        }
        return true;
    }

private:
    JoinObserver* m_observer;
    uint64_t m_total;
    int m_sent = -1;
};
}  // namespace

uint32_t ContentEnd(const RmHeader& header, uint32_t lastTimestamp) {
    uint64_t end = std::max<uint64_t>(header.props.duration, uint64_t{lastTimestamp} + 1);
    for (const MediaProperties& m : header.streams) {
        if (!m.IsLogical()) {
            end = std::max<uint64_t>(end, m.duration);
        }
    }
    return Clamp32(end);
}

uint64_t AlignToVideoFrames(uint64_t ms, uint32_t frameRate) {
    constexpr uint64_t kOne = 65536;  // 1.0 in 16.16
    if (frameRate < kOne || frameRate > 240 * kOne) {
        return ms;
    }
    // Frame k starts at k * 65536000 / rate ms; take the first k at or after `ms`, then its
    // time rounded up to whole ms.
    const uint64_t scale = 1000 * kOne;
    uint64_t frames = ms * frameRate / scale;
    auto start = [&](uint64_t k) { return (k * scale + frameRate - 1) / frameRate; };
    while (start(frames) < ms) {
        ++frames;
    }
    return start(frames);
}

HRESULT Joiner::Join(const std::vector<std::string>& inputs, const std::string& output,
                     JoinObserver* observer, std::string* text) {
    m_inputs.clear();
    m_plan = JoinPlan{};
    if (inputs.empty() || output.empty()) {
        return Fail(text, RMEDIT_E_NO_INPUT, "No input or no output file was given.");
    }
    HRESULT hr = OpenInputs(inputs, text);
    if (SUCCEEDED(hr)) {
        hr = CheckStreams(text);
    }
    if (SUCCEEDED(hr)) {
        hr = PlanOutput(text);
    }
    if (SUCCEEDED(hr)) {
        hr = WriteOutput(output, observer, text);
    }
    m_inputs.clear();
    return hr;
}

HRESULT Joiner::OpenInputs(const std::vector<std::string>& paths, std::string* text) {
    for (const std::string& path : paths) {
        auto input = std::make_unique<Input>();
        input->path = path;
        input->name = BaseName(path);
        if (!input->source.Open(path)) {
            return Fail(text, RMEDIT_E_BAD_FILE,
                        "Cannot open " + input->name + ": " + std::strerror(errno) + ".");
        }
        std::string why;
        if (FAILED(ReadHeader(input->source, input->header, &why))) {
            return Fail(text, RMEDIT_E_BAD_FILE, input->name + " cannot be joined: " + why + ".");
        }
        for (const MediaProperties& m : input->header.streams) {
            if (m.mime.find("encrypted") != std::string::npos) {
                return Fail(text, RMEDIT_E_ENCRYPTED,
                            "Source Video has been encrypted: " + input->name + " (stream " +
                                std::to_string(m.stream) + ", " + m.mime + ").");
            }
        }
        if (input->header.dataOffset == 0) {
            return Fail(text, RMEDIT_E_NO_DATA,
                        "There is no data in the input file " + input->name + ".");
        }
        input->size = input->source.Size();
        input->source.Close();
        m_inputs.push_back(std::move(input));
    }
    return S_OK;
}

HRESULT Joiner::Reopen(Input& in, std::string* text) {
    if (!in.source.Open(in.path)) {
        return Fail(text, RMEDIT_E_BAD_FILE,
                    "Cannot open " + in.name + ": " + std::strerror(errno) + ".");
    }
    if (in.source.Size() != in.size) {
        in.source.Close();
        return Fail(text, RMEDIT_E_BAD_FILE, in.name + " changed while it was being joined.");
    }
    return S_OK;
}

// A stream's media properties are not compared: their bit rates, packet sizes and preroll only
// size a player's buffers and its start time and duration tell of one file, so no decoder reads
// them. The joined header takes the largest rates and preroll of all inputs (BuildHeader), and
// its own packet sizes and duration. What decoders read, the type-specific data, is compared.
HRESULT Joiner::CheckStreams(std::string* text) {
    const Input& first = *m_inputs.front();
    for (const MediaProperties& m : first.header.streams) {
        if (m.IsAudio()) {
            AudioFormat f;
            if (!ParseAudioFormat(m.typeData, f) || !IsCopyableAudioCodec(f.fourcc)) {
                return Fail(text, RMEDIT_E_AUDIO_FORMAT,
                            std::string(DescribeEditCode(RMEDIT_E_AUDIO_FORMAT)) + ": stream " +
                                std::to_string(m.stream) + " of " + first.name + " (" +
                                (f.fourcc.empty() ? m.mime : f.fourcc) + ") cannot be copied.");
            }
        } else if (m.IsVideo()) {
            VideoFormat f;
            if (!ParseVideoFormat(m.typeData, f) || !IsCopyableVideoCodec(f.fourcc)) {
                return Fail(text, RMEDIT_E_VIDEO_FORMAT,
                            std::string(DescribeEditCode(RMEDIT_E_VIDEO_FORMAT)) + ": stream " +
                                std::to_string(m.stream) + " of " + first.name + " (" +
                                (f.fourcc.empty() ? m.mime : f.fourcc) + ") cannot be copied.");
            }
        }
    }
    for (size_t i = 1; i < m_inputs.size(); ++i) {
        const Input& in = *m_inputs[i];
        for (const MediaProperties& want : first.header.streams) {
            if (want.IsLogical()) {
                continue;  // the first file's logical streams are kept; others' are not used
            }
            const MediaProperties* got = in.header.Stream(want.stream);
            if (got == nullptr || got->mime != want.mime) {
                HRESULT code = want.IsVideo() ? RMEDIT_E_NO_VIDEO_MATCH : RMEDIT_E_NO_AUDIO_MATCH;
                return Fail(text, code,
                            std::string(want.IsVideo() ? "Can't find matched video stream"
                                                       : "Can't find matched audio stream") +
                                " in the source files: " + in.name + " has no " + StreamKind(want) +
                                " stream " + std::to_string(want.stream) + " like " + first.name +
                                ".");
            }
            if (want.IsVideo()) {
                std::string diff = DescribeVideoDifference(want.typeData, got->typeData);
                if (!diff.empty()) {
                    return Fail(text, RMEDIT_E_VIDEO_MISMATCH,
                                "The video stream of the source files are mismatch: in " + in.name +
                                    " " + diff + " as in " + first.name + ".");
                }
            } else if (want.IsAudio()) {
                std::string diff = DescribeAudioDifference(want.typeData, got->typeData);
                if (!diff.empty()) {
                    return Fail(text, RMEDIT_E_AUDIO_MISMATCH,
                                "The audio stream of the source files are mismatch: in " + in.name +
                                    " " + diff + " as in " + first.name + ".");
                }
            } else if (want.typeData != got->typeData) {
                return Fail(text, RMEDIT_E_AUDIO_MISMATCH,
                            "The " + StreamKind(want) + " stream " + std::to_string(want.stream) +
                                " of " + in.name + " is not described as in " + first.name + ".");
            }
        }
        for (const MediaProperties& extra : in.header.streams) {
            const MediaProperties* known = first.header.Stream(extra.stream);
            if (!extra.IsLogical() && (known == nullptr || known->IsLogical())) {
                HRESULT code = extra.IsVideo() ? RMEDIT_E_VIDEO_MISMATCH : RMEDIT_E_AUDIO_MISMATCH;
                return Fail(text, code,
                            in.name + " has a " + StreamKind(extra) + " stream " +
                                std::to_string(extra.stream) + " that " + first.name +
                                " does not have.");
            }
        }
    }
    return S_OK;
}

// Where the plan has got to while inputs are placed one after another.
struct Joiner::PlanCursor {
    std::map<uint16_t, size_t> slot;  // stream number -> plan.streams
    uint64_t offset = 0;              // where the next packet goes in the output
    uint64_t seam = 0;                // where the input being placed starts in the output
    uint32_t frameRate = 0;           // of the first video stream: the seams keep to its frame grid
    IndexPicker picker;
    std::vector<uint8_t> scratch;  // a video payload with its frame times shifted
};

// What one reading of an input found.
struct Joiner::InputReading {
    explicit InputReading(const RmHeader& header) : span(header) {}

    ContentSpan span;                     // where its kept units start and end
    std::map<uint16_t, uint32_t> counts;  // packets kept per stream
    uint32_t read = 0;                    // packets read, kept or not
    uint32_t packets = 0;                 // packets kept
    uint32_t lastTimestamp = 0;
    InputDamage damage;
    bool dropsAny = false;  // the reading found units the input does not finish
    std::map<uint16_t, std::vector<DropRange>> drops;
};

HRESULT Joiner::PlanOutput(std::string* text) {
    const RmHeader& firstHeader = m_inputs.front()->header;
    JoinPlan& plan = m_plan;
    PlanCursor cursor;
    std::vector<const MediaProperties*> ordered;
    for (const MediaProperties& m : firstHeader.streams) {
        ordered.push_back(&m);
    }
    std::sort(
        ordered.begin(), ordered.end(),
        [](const MediaProperties* a, const MediaProperties* b) { return a->stream < b->stream; });
    for (const MediaProperties* m : ordered) {
        cursor.slot[m->stream] = plan.streams.size();
        plan.streams.push_back(StreamTotals{m->stream, 0, 0, 0, {}});
        VideoFormat f;
        if (cursor.frameRate == 0 && m->IsVideo() && ParseVideoFormat(m->typeData, f)) {
            cursor.frameRate = f.frameRate;
        }
    }
    for (const HeaderChunk& c : firstHeader.chunks) {
        plan.headerBytes += c.bytes.size();
    }
    cursor.offset = plan.headerBytes + kDataHeadBytes;
    for (size_t i = 0; i < m_inputs.size(); ++i) {
        if (HRESULT hr = PlaceInput(i, cursor, text); FAILED(hr)) {
            return hr;
        }
    }
    plan.duration = static_cast<uint32_t>(cursor.seam);
    plan.packetBytes = cursor.offset - plan.headerBytes - kDataHeadBytes;
    // Streams without packets (logical ones) get no index: readers take an index of a stream
    // they do not show for an error.
    std::erase_if(plan.streams, [](const StreamTotals& s) { return s.packets == 0; });
    for (const StreamTotals& s : plan.streams) {
        plan.indexBytes += kIndxHeadBytes + kIndxEntryBytes * s.index.size();
    }
    if (plan.TotalBytes() > m_sizeLimit) {
        return Fail(text, RMEDIT_E_TOO_LARGE,
                    "The joined file would be " + std::to_string(plan.TotalBytes()) +
                        " bytes; a Real Media file cannot be larger than 4 GB (" +
                        std::to_string(m_sizeLimit) + " bytes). Nothing was written.");
    }
    return S_OK;
}

HRESULT Joiner::PlaceInput(size_t i, PlanCursor& cursor, std::string* text) {
    Input& in = *m_inputs[i];
    JoinPlan& plan = m_plan;
    if (HRESULT opened = Reopen(in, text); FAILED(opened)) {
        return opened;
    }
    // A reading finds the frames and audio blocks the input does not finish and the lead its
    // streams share; when either is not what the reading assumed, the input is placed again
    // with what it found (at most twice more: the lead of what is kept is known once the
    // left-out units are).
    const std::vector<StreamTotals> streamsBefore = plan.streams;
    const uint32_t packetsBefore = plan.packets;
    const uint32_t maxPayloadBefore = plan.maxPayload;
    const uint64_t offsetBefore = cursor.offset;
    InputReading reading(in.header);
    uint32_t lead = 0;  // assumed until a reading has found it
    int64_t shift = 0;
    for (int attempt = 0;; ++attempt) {
        if (attempt > 0) {
            plan.streams = streamsBefore;
            plan.packets = packetsBefore;
            plan.maxPayload = maxPayloadBefore;
            cursor.offset = offsetBefore;
        }
        // The first input keeps its lead; a later one starts at the seam, its lead dropped.
        shift = i == 0 ? 0 : static_cast<int64_t>(cursor.seam) - lead;
        reading = InputReading(in.header);
        if (HRESULT hr = ReadInput(in, shift, cursor, reading, text); FAILED(hr)) {
            return hr;
        }
        const bool newDrops = attempt == 0 && in.drops.empty() && reading.dropsAny;
        if (newDrops) {
            in.drops = reading.drops;
        }
        const bool leadMoved = i > 0 && reading.span.Start() != lead;
        if ((newDrops || leadMoved) && attempt < 2) {
            lead = reading.span.Start();
            continue;
        }
        for (const MediaProperties& m : m_inputs.front()->header.streams) {
            if ((m.IsAudio() || m.IsVideo()) && reading.counts[m.stream] == 0) {
                return Fail(text, RMEDIT_E_EMPTY_STREAM,
                            "The video or audio stream is empty: the " + StreamKind(m) +
                                " stream " + std::to_string(m.stream) + " of " + in.name +
                                " has no packets.");
            }
        }
        break;
    }
    if (reading.packets == 0) {
        return Fail(text, RMEDIT_E_NO_DATA, "There is no data in the input file " + in.name + ".");
    }
    in.source.Close();
    plan.inputPackets.push_back(reading.packets);
    plan.shifts.push_back(shift);
    plan.starts.push_back(static_cast<uint32_t>(cursor.seam));
    // The input ends where its last stream ends; its header's durations tell what a file cut
    // short has lost.
    InputDamage& damage = reading.damage;
    const uint64_t end = reading.span.End();
    damage.fullMs = ContentEnd(in.header, reading.lastTimestamp);
    damage.joinedMs = Clamp32(damage.cutShort ? std::min<uint64_t>(end, damage.fullMs) : end);
    plan.damage.push_back(damage);
    cursor.seam = static_cast<uint64_t>(shift + static_cast<int64_t>(end));
    if (i + 1 < m_inputs.size()) {
        cursor.seam = AlignToVideoFrames(cursor.seam, cursor.frameRate);  // the next start
    }
    if (cursor.seam > 0xFFFFFFFFull) {
        return Fail(text, RMEDIT_E_TOO_LARGE,
                    "The joined file would last longer than a Real Media file can tell.");
    }
    return S_OK;
}

HRESULT Joiner::ReadInput(Input& in, int64_t shift, PlanCursor& cursor, InputReading& reading,
                          std::string* text) {
    const RmHeader& firstHeader = m_inputs.front()->header;
    JoinPlan& plan = m_plan;
    cursor.picker.StartInput();
    PacketReader reader(in.source, in.header);
    UnitTracker tracker(in.header);
    DropFilter filter(&in.drops);
    uint32_t resyncs = 0;
    Packet p;
    std::string why;
    HRESULT hr;
    while ((hr = reader.Next(p, &why)) == S_OK) {
        ++reading.read;
        if (reader.Resyncs() != resyncs) {
            resyncs = reader.Resyncs();
            tracker.Damage(p.offset);
        }
        tracker.Follow(p);
        auto it = cursor.slot.find(p.stream);
        const MediaProperties* m = firstHeader.Stream(p.stream);
        if (it == cursor.slot.end() || m->IsLogical() || !filter.Keep(p)) {
            continue;  // a stream the output does not have, or a unit not whole
        }
        reading.span.Add(p);
        const int64_t timestamp = p.timestamp + shift;
        if (timestamp > 0xFFFFFFFFll) {
            return Fail(text, RMEDIT_E_TOO_LARGE,
                        "The joined file would last longer than a Real Media file can tell (" +
                            in.name + ").");
        }
        size_t length = p.length;
        if (m->IsVideo() &&
            ShiftPackedFrameTimes(p.bytes + p.HeaderBytes(), p.length - p.HeaderBytes(), shift,
                                  cursor.scratch)) {
            length = p.HeaderBytes() + cursor.scratch.size();
            if (length > kMaxPacketBytes) {
                return Fail(text, RMEDIT_E_VIDEO_FORMAT,
                            "A video packet of " + in.name + " at " + std::to_string(p.offset) +
                                " would outgrow the largest packet with its shifted times.");
            }
        }
        StreamTotals& s = plan.streams[it->second];
        // Below the lead assumed only while a reading is finding the lead.
        const uint32_t placed = static_cast<uint32_t>(std::max<int64_t>(timestamp, 0));
        if (cursor.picker.Take(p.stream, placed, p.keyFrame, s.index)) {
            s.index.push_back(IndexEntry{placed, Clamp32(cursor.offset), plan.packets});
        }
        uint32_t payload = static_cast<uint32_t>(length - p.HeaderBytes());
        ++s.packets;
        s.payloadBytes += payload;
        s.maxPayload = std::max(s.maxPayload, payload);
        plan.maxPayload = std::max(plan.maxPayload, payload);
        ++reading.counts[p.stream];
        ++reading.packets;
        if (plan.packets == 0xFFFFFFFFu) {
            return Fail(text, RMEDIT_E_TOO_LARGE, "The joined file would hold too many packets.");
        }
        ++plan.packets;
        cursor.offset += length;
        reading.lastTimestamp = std::max(reading.lastTimestamp, p.timestamp);
    }
    if (FAILED(hr)) {
        return Fail(text, hr, in.name + " cannot be joined: " + why + ".");
    }
    tracker.End();
    InputDamage& damage = reading.damage;
    damage.cutShort = reader.CutShort();
    damage.damagedPackets = reader.DamagedPackets();
    if (reading.read == 0) {
        return Fail(
            text, RMEDIT_E_NO_DATA,
            damage.cutShort ? in.name +
                                  " is cut short before its first whole packet: there "
                                  "is nothing in it to join."
            : damage.damagedPackets > 0
                ? "None of the packets of " + in.name + " can be read: they are all damaged."
                : "There is no data in the input file " + in.name + ".");
    }
    if (uint64_t{damage.damagedPackets} * 2 > uint64_t{reading.read} + damage.damagedPackets) {
        return Fail(text, RMEDIT_E_BAD_FILE,
                    "More than half of the packets of " + in.name + " are damaged (" +
                        std::to_string(damage.damagedPackets) + " of about " +
                        std::to_string(reading.read + damage.damagedPackets) +
                        "): it is refused rather than joined with most of it left out.");
    }
    reading.dropsAny = tracker.DropsAny();
    if (reading.dropsAny) {
        reading.drops = tracker.Drops();
    }
    return S_OK;
}

std::vector<uint8_t> Joiner::BuildHeader() const {
    const RmHeader& first = m_inputs.front()->header;
    const JoinPlan& plan = m_plan;
    // The largest buffer any input asks for, so that every packet fits.
    uint32_t preroll = 0;
    std::map<uint16_t, std::pair<uint32_t, uint32_t>> largest;  // stream: max bit rate, preroll
    for (const auto& in : m_inputs) {
        preroll = std::max(preroll, in->header.props.preroll);
        for (const MediaProperties& m : in->header.streams) {
            auto& [rate, wait] = largest[m.stream];
            rate = std::max(rate, m.maxBitRate);
            wait = std::max(wait, m.preroll);
        }
    }
    uint32_t headerCount = 2;  // .RMF and DATA
    for (const HeaderChunk& c : first.chunks) {
        headerCount += c.id == kIdProp || c.id == kIdCont || c.id == kIdMdpr;
    }
    std::map<uint16_t, const StreamTotals*> totals;
    for (const StreamTotals& s : plan.streams) {
        totals[s.stream] = &s;
    }
    const uint32_t indexOffset = Clamp32(plan.headerBytes + kDataHeadBytes + plan.packetBytes);
    ByteWriter out;
    for (size_t i = 0; i < first.chunks.size(); ++i) {
        const HeaderChunk& c = first.chunks[i];
        const size_t at = out.size();
        out.Bytes(c.bytes.data(), c.bytes.size());
        if (c.id == kIdRmf && c.bytes.size() >= kRmfBytes) {
            out.PatchBE32(at + kRmfHeaderCount, headerCount);
        } else if (c.id == kIdProp) {
            uint64_t payload = 0;
            uint32_t maxRate = 0;
            for (const StreamTotals& s : plan.streams) {
                payload += s.payloadBytes;
            }
            uint32_t avgRate = BitRate(payload, plan.duration);
            for (const MediaProperties& m : first.streams) {
                maxRate = Clamp32(uint64_t{maxRate} + largest[m.stream].first);
            }
            out.PatchBE32(at + kPropMaxBitRate, std::max(maxRate, avgRate));
            out.PatchBE32(at + kPropPreroll, preroll);
            out.PatchBE32(at + kPropAvgBitRate, avgRate);
            out.PatchBE32(at + kPropMaxPacket, plan.maxPayload);
            out.PatchBE32(at + kPropAvgPacket,
                          plan.packets == 0 ? 0 : static_cast<uint32_t>(payload / plan.packets));
            out.PatchBE32(at + kPropPackets, plan.packets);
            out.PatchBE32(at + kPropDuration, plan.duration);
            out.PatchBE32(at + kPropIndexOffset, indexOffset);
            out.PatchBE32(at + kPropDataOffset, Clamp32(plan.headerBytes));
            uint8_t streams[2] = {static_cast<uint8_t>(first.streams.size() >> 8),
                                  static_cast<uint8_t>(first.streams.size())};
            std::memcpy(out.bytes().data() + at + kPropStreams, streams, 2);
        }
    }
    // Media properties of streams with packets: the joined sizes, rates and duration.
    for (const MediaProperties& m : first.streams) {
        const StreamTotals* s = totals[m.stream];
        if (m.IsLogical() || s == nullptr || s->packets == 0) {
            continue;
        }
        size_t at = 0;
        for (size_t i = 0; i < m.chunk; ++i) {
            at += first.chunks[i].bytes.size();
        }
        uint32_t avgRate = BitRate(s->payloadBytes, plan.duration);
        out.PatchBE32(at + kMdprMaxBitRate, std::max(largest[m.stream].first, avgRate));
        out.PatchBE32(at + kMdprPreroll, largest[m.stream].second);
        out.PatchBE32(at + kMdprAvgBitRate, avgRate);
        out.PatchBE32(at + kMdprMaxPacket, s->maxPayload);
        out.PatchBE32(at + kMdprAvgPacket, static_cast<uint32_t>(s->payloadBytes / s->packets));
        out.PatchBE32(at + kMdprDuration, plan.duration);
    }
    // The DATA chunk's head: one chunk holds every packet.
    out.BE32(kIdData)
        .BE32(Clamp32(kDataHeadBytes + plan.packetBytes))
        .BE16(0)
        .BE32(plan.packets)
        .BE32(0);
    return std::move(out.bytes());
}

std::vector<uint8_t> Joiner::BuildIndex() const {
    ByteWriter out;
    uint64_t at = m_plan.headerBytes + kDataHeadBytes + m_plan.packetBytes;
    for (size_t i = 0; i < m_plan.streams.size(); ++i) {
        const StreamTotals& s = m_plan.streams[i];
        uint64_t size = kIndxHeadBytes + kIndxEntryBytes * s.index.size();
        bool last = i + 1 == m_plan.streams.size();
        out.BE32(kIdIndx)
            .BE32(Clamp32(size))
            .BE16(0)
            .BE32(static_cast<uint32_t>(s.index.size()))
            .BE16(s.stream)
            .BE32(last ? 0 : Clamp32(at + size));
        for (const IndexEntry& e : s.index) {
            out.BE16(0).BE32(e.timestamp).BE32(e.offset).BE32(e.packetNumber);
        }
        at += size;
    }
    return std::move(out.bytes());
}

HRESULT Joiner::WriteOutput(const std::string& output, JoinObserver* observer, std::string* text) {
    const std::string outName = BaseName(output);
    struct stat outStat {};
    if (::stat(output.c_str(), &outStat) == 0) {
        for (const auto& in : m_inputs) {
            struct stat inStat {};
            if (::stat(in->path.c_str(), &inStat) == 0 && inStat.st_dev == outStat.st_dev &&
                inStat.st_ino == outStat.st_ino) {
                return Fail(text, RMEDIT_E_READ_ONLY,
                            "The output " + outName + " is one of the inputs; it was not written.");
            }
        }
    }
    // Nothing is at the output path until the whole file is written.
    OutputWriter out;
    auto cannotWrite = [&](int error) { return CannotWriteText(outName, error); };
    if (int error = out.Open(output)) {
        return Fail(text, RMEDIT_E_READ_ONLY, cannotWrite(error));
    }
    auto abandon = [&](HRESULT code, const std::string& account) {
        out.Abandon();
        return Fail(text, code, account);
    };
    const uint64_t total = m_plan.TotalBytes();
    std::vector<uint8_t> header = BuildHeader();
    out.Write(header.data(), header.size());
    uint64_t written = header.size();
    if (observer != nullptr) {
        observer->Started();
    }
    PercentReporter percent(observer, total);
    const RmHeader& firstHeader = m_inputs.front()->header;
    std::vector<uint8_t> scratch;
    uint8_t head[kPacketHeadV1];
    for (size_t i = 0; i < m_inputs.size(); ++i) {
        Input& in = *m_inputs[i];
        std::string why;
        if (HRESULT opened = Reopen(in, &why); FAILED(opened)) {
            return abandon(opened, why);
        }
        const int64_t shift = m_plan.shifts[i];
        uint32_t packets = 0;
        PacketReader reader(in.source, in.header);
        DropFilter filter(&in.drops);
        Packet p;
        HRESULT hr;
        while ((hr = reader.Next(p, &why)) == S_OK) {
            const MediaProperties* m = firstHeader.Stream(p.stream);
            if (m == nullptr || m->IsLogical() || !filter.Keep(p)) {
                continue;
            }
            const size_t headBytes = p.HeaderBytes();
            const uint8_t* payload = p.bytes + headBytes;
            size_t payloadBytes = p.length - headBytes;
            if (m->IsVideo() && ShiftPackedFrameTimes(payload, payloadBytes, shift, scratch)) {
                payload = scratch.data();
                payloadBytes = scratch.size();
            }
            std::memcpy(head, p.bytes, headBytes);
            const size_t length = headBytes + payloadBytes;
            const auto timestamp = static_cast<uint32_t>(p.timestamp + shift);
            head[kPacketLength] = static_cast<uint8_t>(length >> 8);
            head[kPacketLength + 1] = static_cast<uint8_t>(length);
            for (int b = 0; b < 4; ++b) {
                head[kPacketTimestamp + b] = static_cast<uint8_t>(timestamp >> (24 - 8 * b));
            }
            out.Write(head, headBytes);
            out.Write(payload, payloadBytes);
            written += length;
            ++packets;
            if (out.Error() != 0) {
                break;
            }
            if (!percent.Report(written)) {
                return abandon(E_ABORT, "The join was stopped.");
            }
        }
        if (FAILED(hr)) {
            return abandon(hr, in.name + " cannot be joined: " + why + ".");
        }
        if (out.Error() != 0) {
            break;
        }
        in.source.Close();
        if (packets != m_plan.inputPackets[i]) {
            return abandon(RMEDIT_E_BAD_FILE, in.name + " changed while it was being joined.");
        }
    }
    std::vector<uint8_t> index = BuildIndex();
    out.Write(index.data(), index.size());
    written += index.size();
    if (out.Error() != 0) {
        return abandon(RMEDIT_E_READ_ONLY, cannotWrite(out.Error()));
    }
    if (written != total) {
        return abandon(RMEDIT_E_UNEXPECTED, "Unexpected error: the joined file came out at " +
                                                std::to_string(written) + " bytes instead of " +
                                                std::to_string(total) + ".");
    }
    if (int error = out.Finish()) {
        return abandon(RMEDIT_E_READ_ONLY, cannotWrite(error));
    }
    percent.Report(total);
    if (observer != nullptr) {
        observer->Completed();
    }
    return S_OK;
}

}  // namespace rm
