#include "engines/conversion/mpeg_ps_copier.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engines/conversion/mpeg_ps_audio_edges.h"
#include "engines/conversion/mpeg_ps_facts.h"
#include "engines/conversion/mpeg_ps_input.h"
#include "engines/conversion/mpeg_ps_units.h"
#include "platform/output_writer.h"

using namespace mpegps;

namespace {

constexpr size_t kMaxUnitBytes = kPesHeaderBytes + 0xFFFF;
// Input bytes between progress calls.
constexpr uint64_t kProgressEveryBytes = uint64_t{1} << 20;
// Video packets of a later input searched for its first GOP header.
constexpr int kGopSearchPackets = 64;
constexpr int64_t kPtmWrap = int64_t{1} << 32;
constexpr uint8_t kEndCode[] = {0x00, 0x00, 0x01, kProgramEnd};
// A file whose clock starts less than this after the last pack of the file before goes on from
// it (the parts of a DVD title, or of a recording split in files).
constexpr int64_t kGoesOnTicks = kClockHz;

// The joined file, with its failures in words: the copier's results are negative errno values
// with a readable reason.
class PsOutput {
public:
    int Open(const std::string& path, std::string* error) {
        m_path = path;
        if (int failure = m_out.Open(path)) {
            *error = "Cannot write " + path + ": " + std::strerror(failure);
            return -failure;
        }
        return 0;
    }
    int Write(const uint8_t* data, size_t size, std::string* error) {
        return Failed(m_out.Write(data, size), "Cannot write ", error);
    }
    uint64_t Offset() const { return m_out.Offset(); }
    // Appends `count` bytes of the file `fd` from `offset` inside the kernel; false (nothing
    // appended) where the file system cannot, so the caller copies them itself.
    bool CopyFrom(int fd, uint64_t offset, uint64_t count, std::string* error, int* result) {
        bool copied = m_out.CopyFrom(fd, offset, count);
        *result = Failed(m_out.Error(), "Cannot write ", error);
        return copied;
    }
    int Finish(std::string* error) {
        return Failed(m_out.Finish(), "Cannot finish writing ", error);
    }

private:
    int Failed(int failure, const char* what, std::string* error) const {
        if (failure == 0) {
            return 0;
        }
        *error = what + m_path + ": " + std::strerror(failure);
        return -failure;
    }

    std::string m_path;
    OutputWriter m_out;
};

void ShiftPtm(uint8_t* at, int64_t shift) {
    int64_t t = (static_cast<int64_t>(at[0]) << 24) | (at[1] << 16) | (at[2] << 8) | at[3];
    if (t == 0) {
        return;  // not set
    }
    t = ((t + shift) % kPtmWrap + kPtmWrap) % kPtmWrap;
    at[0] = static_cast<uint8_t>(t >> 24);
    at[1] = static_cast<uint8_t>(t >> 16);
    at[2] = static_cast<uint8_t>(t >> 8);
    at[3] = static_cast<uint8_t>(t);
}

// Moves every clock field of the unit at `data` (its bytes owned by the caller) by `shift`.
void ShiftUnit(uint8_t* data, const PsUnit& unit, int64_t shift) {
    if (unit.kind != PsUnitKind::kPes) {
        return;
    }
    if (unit.code == kPrivateStream2) {
        ByteReader payload(data + kPesHeaderBytes, unit.size - kPesHeaderBytes);
        uint8_t* p = data + kPesHeaderBytes;
        if (payload.U8(0) == kPciSubId && payload.Has(kPciSequenceEndPtmOffset, 4)) {
            ShiftPtm(p + kPciStartPtmOffset, shift);
            ShiftPtm(p + kPciEndPtmOffset, shift);
            ShiftPtm(p + kPciSequenceEndPtmOffset, shift);
        } else if (payload.U8(0) == kDsiSubId && payload.Has(kDsiScrOffset, 4)) {
            ShiftPtm(p + kDsiScrOffset, shift);
        }
        return;
    }
    if (unit.ptsOffset != 0) {
        WriteTimestamp(data + unit.ptsOffset,
                       ShiftTime(ReadTimestamp(data + unit.ptsOffset), shift));
    }
    if (unit.dtsOffset != 0) {
        WriteTimestamp(data + unit.dtsOffset,
                       ShiftTime(ReadTimestamp(data + unit.dtsOffset), shift));
    }
    if (unit.escrOffset != 0) {
        WriteScrBase(data + unit.escrOffset, ShiftTime(ReadScrBase(data + unit.escrOffset), shift));
    }
}

// Offset of the first start code with `code` in data[from, size), or size.
size_t FindStartCode(const uint8_t* data, size_t from, size_t size, uint8_t code) {
    for (size_t i = from; i + 4 <= size; ++i) {
        const void* hit = std::memchr(data + i + 2, 0x01, size - i - 3);
        if (hit == nullptr) {
            break;
        }
        size_t at = static_cast<size_t>(static_cast<const uint8_t*>(hit) - data) - 2;
        if (data[at] == 0 && data[at + 1] == 0 && data[at + 3] == code) {
            return at;
        }
        i = at;
    }
    return size;
}

// The PES packet at `data` cut to end at unit offset `end` (inside its payload). When no
// picture starts in what is left, its times (which belong to the picture cut off) go too.
void TruncatePes(uint8_t* data, PsUnit* unit, size_t end) {
    size_t length = end - kPesHeaderBytes;
    data[kPesLengthOffset] = static_cast<uint8_t>(length >> 8);
    data[kPesLengthOffset + 1] = static_cast<uint8_t>(length);
    bool pictureLeft = FindStartCode(data, unit->payloadOffset, end, kPictureStart) < end;
    if (unit->ptsOffset != 0 && !pictureLeft) {
        if (unit->mpeg2) {
            data[kMpeg2PesFlagsOffset] &= static_cast<uint8_t>(~(kPtsFlag | kDtsFlag));
            size_t timesEnd = unit->dtsOffset != 0 ? unit->dtsOffset + kTimestampBytes
                                                   : unit->ptsOffset + kTimestampBytes;
            // What the flags no longer announce is stuffing, which only the end may hold: the
            // fields after the times move up.
            size_t fieldsEnd = unit->payloadOffset;
            std::memmove(data + unit->ptsOffset, data + timesEnd, fieldsEnd - timesEnd);
            std::memset(data + fieldsEnd - (timesEnd - unit->ptsOffset), kMpeg1Stuffing,
                        timesEnd - unit->ptsOffset);
            if (unit->escrOffset != 0) {
                unit->escrOffset -= timesEnd - unit->ptsOffset;
            }
        } else {
            // MPEG-1: stuffing may only lead, so everything from the first stuffing byte to the
            // times becomes stuffing, and the packet says it has no times.
            size_t end1 = unit->payloadOffset;
            std::memset(data + kPesHeaderBytes, kMpeg1Stuffing, end1 - 1 - kPesHeaderBytes);
            data[end1 - 1] = kMpeg1NoTimes;
        }
        unit->ptsOffset = unit->dtsOffset = 0;
    }
    unit->size = end;
}

// The output's system clock: each pack's SCR moved by its input's shift, and kept rising. Where
// the moved clock of a new input's first packs would fall at or before the last pack of the input
// before (its data is sent ahead of its pictures), those packs follow on at their mux rate.
class PackClock {
public:
    // Writes the output SCR into the pack header at `data`, which begins at output offset `at`.
    void Stamp(uint8_t* data, const PsUnit& pack, int64_t shift, uint64_t at) {
        uint8_t* field = data + kScrOffset;
        int64_t scr = ShiftTime(pack.mpeg2 ? ReadScrBase(field) : ReadTimestamp(field), shift);
        if (m_last >= 0 && TimeDifference(m_last, scr) <= 0) {
            scr = ShiftTime(m_last, std::max<int64_t>(1, SendTicks(at - m_lastAt)));
        }
        if (pack.mpeg2) {
            WriteScrBase(field, scr);
        } else {
            WriteTimestamp(field, scr);
        }
        m_muxRate = PackMuxRate(data, pack.mpeg2);
        m_last = scr;
        m_lastAt = at;
    }
    int64_t Last() const { return m_last; }
    // After packs were copied as they are: the last of them had `scr` and began at `at`.
    void Passed(int64_t scr, uint64_t at, int64_t muxRate) {
        m_last = scr;
        m_lastAt = at;
        m_muxRate = muxRate;
    }

private:
    int64_t SendTicks(uint64_t bytes) const {
        return m_muxRate > 0 ? static_cast<int64_t>(bytes) * kClockHz / (m_muxRate * 50) : 1;
    }

    int64_t m_last = -1;
    uint64_t m_lastAt = 0;
    int64_t m_muxRate = 0;
};

int64_t OutputTicks(int64_t time, int64_t shift, int64_t zero) {
    return std::max<int64_t>(0, TimeDifference(zero, ShiftTime(time, shift)));
}

// Where a copied input's pictures lie in the output, and how many it brought.
void Place(const PsScan& scan, int64_t shift, int64_t zero, PsCopiedInput* info) {
    info->shift = shift;
    info->frames = scan.scan.frameCount;
    if (scan.videoStart >= 0 && scan.videoEnd >= 0) {
        info->startSeconds = OutputTicks(scan.videoStart, shift, zero) / double(kClockHz);
        info->durationSeconds =
            std::max<int64_t>(0, TimeDifference(scan.videoStart, scan.videoEnd)) / double(kClockHz);
    }
}

// One input on its way into the output: what the scans decided for it, and what its copy has
// met so far.
struct InputCopy {
    InputCopy(const PsCopyInput& input, int64_t inputShift, bool seamAfter)
        : in(input),
          scan(input.scan),
          shift(inputShift),
          // At a seam into an input on a clock of its own, this input's audio ends with its
          // last whole frame; one cut short ends its audio where its pictures end.
          audioEnds(scan.cutShort ? &scan.audioCuts
                    : seamAfter   ? &scan.audioTails
                                  : nullptr) {}

    const PsCopyInput& in;
    const PsScan& scan;
    const int64_t shift;
    const std::vector<PsAudioCut>* const audioEnds;
    // A later input on a clock of its own gets its first GOP marked, if open, and each audio
    // stream's first packet loses a part-frame it begins with; one that goes on from the input
    // before (a DVD title's next file: no shift) keeps its references.
    bool ownClock = false;
    bool seekGop = false;
    int videoPackets = 0;
    std::vector<uint16_t> audioSeen;
};

// The join of all inputs into one output, an input at a time.
class PsJoin {
public:
    PsJoin(const std::vector<PsCopyInput>& inputs, const PsCopyProgress& progress,
           std::vector<PsCopiedInput>* copied, std::string* error)
        : m_inputs(inputs),
          m_progress(progress),
          m_copied(copied),
          m_error(error),
          m_shifts(SeamShifts(inputs)),
          m_zero(inputs.empty() || inputs[0].scan.videoStart < 0 ? 0 : inputs[0].scan.videoStart) {
        copied->assign(inputs.size(), PsCopiedInput{});
    }

    int Run(const std::string& outputPath) {
        int result = m_output.Open(outputPath, m_error);
        for (size_t n = 0; result == 0 && n < m_inputs.size(); ++n) {
            result = CopyInput(n);
        }
        if (result == 0 && m_endCode) {
            result = m_output.Write(kEndCode, sizeof kEndCode, m_error);
        }
        return result == 0 ? m_output.Finish(m_error) : result;
    }

private:
    int CopyInput(size_t n) {
        InputCopy c(m_inputs[n], m_shifts[n],
                    n + 1 < m_inputs.size() && m_shifts[n + 1] != m_shifts[n]);
        PsInput input;
        if (!input.Open(c.in.path, m_error)) {
            return -ENOENT;
        }
        bool whole = false;
        if (int result = CopyInKernel(n, input, c, &whole); result != 0 || whole) {
            return result;
        }
        c.ownClock = n > 0 && c.shift != m_shifts[n - 1];
        c.seekGop = c.ownClock;
        if (int result = CopyUnits(input, c); result != 0) {
            return result;
        }
        if (input.Failed()) {
            *m_error = "Cannot read " + c.in.path + ": " + std::strerror(EIO);
            return -EIO;
        }
        return Copied(n, c);
    }

    // An input whose bytes all stay as they are (the first, or one that goes on from the one
    // before on its own clock) is copied inside the kernel, but for a trailing end code and from
    // the pack of a part-frame to leave out on: the rest, if any, is left for CopyUnits.
    int CopyInKernel(size_t n, PsInput& input, const InputCopy& c, bool* whole) {
        const PsScan& scan = c.scan;
        bool unchanged = c.shift == 0 && n == 0 && !input.VideoCd() && !scan.cutShort &&
                         scan.streamBytes == input.FileBytes() &&
                         (scan.endCodes == 0 ||
                          (scan.endCodes == 1 && scan.lastEndCodeAt + 4 == scan.streamBytes));
        if (!unchanged) {
            return 0;
        }
        uint64_t kernelBytes = scan.streamBytes - (scan.endCodes == 1 ? 4 : 0);
        if (c.audioEnds != nullptr) {
            for (const PsAudioCut& cut : *c.audioEnds) {
                kernelBytes = std::min(kernelBytes, cut.packAt);
            }
        }
        uint64_t base = m_output.Offset();
        int result = 0;
        if (!m_output.CopyFrom(input.Fd(), 0, kernelBytes, m_error, &result) || result < 0) {
            return result;
        }
        if (c.audioEnds != nullptr && !c.audioEnds->empty()) {
            input.SkipTo(kernelBytes);
            return 0;
        }
        *whole = true;
        m_clock.Passed(scan.lastScr, base + scan.lastPackAt, scan.lastMuxRate);
        m_endCode = scan.endCodes == 1;
        return Copied(n, c);
    }

    // The input's units from where it stands, each moved to the output's clock and written.
    int CopyUnits(PsInput& input, InputCopy& c) {
        const PsScan& scan = c.scan;
        m_endCode = false;
        uint64_t nextReport = kProgressEveryBytes;
        uint64_t streamBytes = std::max<uint64_t>(input.FileBytes(), 1);
        while (true) {
            ByteReader window = input.Window(kMaxUnitBytes);
            if (window.size() == 0) {
                break;
            }
            PsUnit unit = ReadPsUnit(window);
            if (unit.kind == PsUnitKind::kIncomplete) {
                break;  // the cut-off rest of a unit
            }
            uint64_t at = input.Position();
            if (unit.kind == PsUnitKind::kEnd) {
                m_endCode = true;  // only the last input's stays, at the very end
                input.Advance(unit.size);
                continue;
            }
            m_endCode = false;
            const bool pastCut = scan.cutShort && at + unit.size > scan.cutAt;
            if (unit.kind == PsUnitKind::kJunk && pastCut && !scan.audioPastCut) {
                break;
            }
            if (unit.kind == PsUnitKind::kJunk) {
                // Bytes between units (zero stuffing at the end of a Video CD pack) are part of
                // the pack, and stay.
                if (int result = m_output.Write(window.data(), unit.size, m_error); result < 0) {
                    return result;
                }
                input.Advance(unit.size);
                continue;
            }
            size_t consumed = unit.size;
            uint8_t* data = input.WindowBytes();  // patched in place: the input is only read
            bool isVideo = unit.kind == PsUnitKind::kPes && unit.code == scan.videoId;
            if (pastCut && scan.audioPastCut) {
                // The pictures end here, the sound goes on: the pictures' packets become
                // padding, so that every pack keeps its size.
                if (isVideo) {
                    if (int result = EndPictures(&data, &unit, at, scan.cutAt); result < 0) {
                        return result;
                    }
                }
            } else if (pastCut) {
                // The last picture is incomplete: the input ends before it.
                if (!isVideo || scan.cutAt <= at + unit.payloadOffset) {
                    break;
                }
                TruncatePes(data, &unit, static_cast<size_t>(scan.cutAt - at));
            }
            if (unit.kind == PsUnitKind::kPes && !isVideo &&
                FramingOfStream(AudioKeyOf(data, unit)) != AudioFraming::kNone) {
                if (int result = EditAudio(&data, &unit, at, c); result < 0) {
                    return result;
                }
            }
            if (isVideo && unit.kind == PsUnitKind::kPes && c.seekGop &&
                c.videoPackets++ < kGopSearchPackets) {
                MarkOpenGop(data, unit, &c);
            }
            if (unit.kind == PsUnitKind::kPack) {
                m_clock.Stamp(data, unit, c.shift, m_output.Offset());
            } else if (c.shift != 0) {
                ShiftUnit(data, unit, c.shift);
            }
            if (int result = m_output.Write(data, unit.size, m_error); result < 0) {
                return result;
            }
            input.Advance(consumed);
            if (pastCut && !scan.audioPastCut) {
                break;
            }
            if (input.FileOffset() >= nextReport) {
                nextReport = input.FileOffset() + kProgressEveryBytes;
                int64_t done = m_framesBefore + scan.scan.frameCount *
                                                    static_cast<int64_t>(input.FileOffset()) /
                                                    static_cast<int64_t>(streamBytes);
                if (m_progress && !m_progress(done)) {
                    return 1;
                }
            }
        }
        return 0;
    }

    // A video packet at or after `cutAt`, where the pictures end: what lies before the cut is
    // written (its packet cut short there), the rest becomes padding; *data and *unit are then
    // those bytes, to be written as they are.
    int EndPictures(uint8_t** data, PsUnit* unit, uint64_t at, uint64_t cutAt) {
        size_t keep = cutAt > at + unit->payloadOffset ? static_cast<size_t>(cutAt - at) : 0;
        if (keep > 0) {
            const size_t size = unit->size;
            TruncatePes(*data, unit, keep);
            if (int result = m_output.Write(*data, keep, m_error); result < 0) {
                return result;
            }
            *data += keep;
            unit->size = size - keep;
        }
        if (unit->size >= kPesHeaderBytes) {
            PutPadding(*data, unit->size);
        } else {
            std::memset(*data, 0, unit->size);  // too few bytes for a packet: zero stuffing
        }
        unit->kind = PsUnitKind::kJunk;
        return 0;
    }

    // An audio packet that must lose its end (its stream ends with its last whole frame) or its
    // start (a part-frame at a seam of its own clock): what goes becomes a padding packet, which
    // is written here, ahead of the packet; *data and *unit are then the packet's.
    int EditAudio(uint8_t** data, PsUnit* unit, uint64_t at, InputCopy& c) {
        const uint16_t key = AudioKeyOf(*data, *unit);
        EditedAudio edited;
        bool edit = false;
        if (c.audioEnds != nullptr) {
            auto cut = std::find_if(c.audioEnds->begin(), c.audioEnds->end(),
                                    [key](const PsAudioCut& end) { return end.key == key; });
            if (cut != c.audioEnds->end() && at >= cut->pesAt) {
                edit =
                    KeepLeadingAudio(*data, *unit, at > cut->pesAt ? 0 : cut->keepBytes, &edited);
            }
        }
        if (!edit && c.ownClock &&
            std::find(c.audioSeen.begin(), c.audioSeen.end(), key) == c.audioSeen.end()) {
            // At a seam of its own clock, an audio stream's first packet may open with the end
            // of a frame begun before the cut: that would glue onto the frame before.
            c.audioSeen.push_back(key);
            int64_t partial = LeadingPartialFrame(*data, *unit);
            edit = partial > 0 &&
                   DropLeadingAudio(*data, *unit, static_cast<size_t>(partial), &edited);
        }
        if (!edit) {
            return 0;
        }
        if (edited.paddingBytes > 0) {
            if (int result = m_output.Write(*data, edited.paddingBytes, m_error); result < 0) {
                return result;
            }
            *data += edited.paddingBytes;
        }
        *unit = edited.unit;
        return 0;
    }

    // A seam into an open GOP: its leading B pictures lean on pictures of the input before,
    // which the decoder must not use.
    static void MarkOpenGop(uint8_t* data, const PsUnit& unit, InputCopy* c) {
        size_t gop = FindStartCode(data, unit.payloadOffset, unit.size, kGopStart);
        if (gop + 8 <= unit.size) {
            if ((data[gop + 7] & kGopClosedBit) == 0) {
                data[gop + 7] |= kGopBrokenLinkBit;
            }
            c->seekGop = false;
        }
    }

    // The input is in the output: where it lies there, and the progress over all inputs.
    int Copied(size_t n, const InputCopy& c) {
        Place(c.scan, c.shift, m_zero, &(*m_copied)[n]);
        m_framesBefore += c.scan.scan.frameCount;
        return m_progress && !m_progress(m_framesBefore) ? 1 : 0;
    }

    const std::vector<PsCopyInput>& m_inputs;
    const PsCopyProgress& m_progress;
    std::vector<PsCopiedInput>* m_copied;
    std::string* m_error;
    const std::vector<int64_t> m_shifts;
    const int64_t m_zero;
    PsOutput m_output;
    PackClock m_clock;
    int64_t m_framesBefore = 0;
    bool m_endCode = false;  // the last input copied ended with a program end code
};

// Whether `after` goes on from `before` on the same clock: its first pack follows the last pack
// of `before` within a second, as the files of one DVD title do.
bool GoesOnFrom(const PsScan& before, const PsScan& after) {
    if (before.lastScr < 0 || after.firstScr < 0) {
        return false;
    }
    int64_t gap = TimeDifference(before.lastScr, after.firstScr);
    return gap > 0 && gap <= kGoesOnTicks;
}

// Where each audio stream of an input with a seam ending stops: with its last frame that ends by
// the end of the pictures, less the time the next input's sound starts ahead of its pictures, so
// that the two sounds do not overlap.
std::vector<PsAudioCut> SeamAudioCuts(const PsSeamEnding& ending, const PsScan& next) {
    int64_t limit = ending.videoEnd;
    if (next.audioStart >= 0 && next.videoStart >= 0) {
        limit = ShiftTime(limit,
                          -std::max<int64_t>(0, TimeDifference(next.audioStart, next.videoStart)));
    }
    std::vector<PsAudioCut> cuts;
    for (const PsTimedAudioCut& timed : ending.audioCuts) {
        auto same = std::find_if(cuts.begin(), cuts.end(), [&timed](const PsAudioCut& cut) {
            return cut.key == timed.cut.key;
        });
        bool fits = timed.end < 0 || TimeDifference(timed.end, limit) >= 0;
        if (same == cuts.end()) {
            cuts.push_back(timed.cut);  // the earliest, should none fit
        } else if (fits) {
            *same = timed.cut;  // a later one that fits
        }
    }
    return cuts;
}

}  // namespace

void PlanInputEnds(std::vector<PsCopyInput>* inputs) {
    for (size_t n = 0; n + 1 < inputs->size(); ++n) {
        PsScan& scan = (*inputs)[n].scan;
        const bool goesOn = GoesOnFrom(scan, (*inputs)[n + 1].scan);
        if (scan.cutBetweenPacks && goesOn) {
            // Its last picture goes on in the next file: nothing is missing.
            scan.cutShort = false;
            scan.cutBetweenPacks = false;
            scan.cutAt = 0;
            scan.videoEnd = scan.fullEnd;
            scan.audioCuts.clear();
            scan.scan.frameCount = scan.pictures;
        } else if (scan.cutShort && scan.seamEnding && !goesOn) {
            const PsSeamEnding& ending = *scan.seamEnding;
            scan.cutAt = ending.videoCutAt;
            scan.videoEnd = ending.videoEnd;
            scan.scan.frameCount = ending.frames;
            scan.audioCuts = SeamAudioCuts(ending, (*inputs)[n + 1].scan);
            scan.audioPastCut = true;
            scan.seamEnding.reset();
        }
    }
}

std::vector<int64_t> SeamShifts(const std::vector<PsCopyInput>& inputs) {
    std::vector<int64_t> shifts(inputs.size(), 0);
    for (size_t n = 1; n < inputs.size(); ++n) {
        const PsScan& before = inputs[n - 1].scan;
        const PsScan& scan = inputs[n].scan;
        int64_t shift = 0;
        if (GoesOnFrom(before, scan)) {
            shift = shifts[n - 1];  // one clock: the title's next file
        } else if (before.videoEnd >= 0 && scan.videoStart >= 0) {
            shift = TimeDifference(scan.videoStart, ShiftTime(before.videoEnd, shifts[n - 1]));
        } else if (before.lastScr >= 0 && scan.firstScr >= 0) {
            shift = TimeDifference(scan.firstScr, ShiftTime(before.lastScr, shifts[n - 1]));
        }
        shifts[n] = shift;
    }
    return shifts;
}

int CopyProgramStreams(const std::vector<PsCopyInput>& inputs, const std::string& outputPath,
                       const PsCopyProgress& progress, std::vector<PsCopiedInput>* copied,
                       std::string* error) {
    return PsJoin(inputs, progress, copied, error).Run(outputPath);
}
