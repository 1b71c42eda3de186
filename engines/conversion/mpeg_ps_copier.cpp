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

}  // namespace

std::vector<int64_t> SeamShifts(const std::vector<PsCopyInput>& inputs) {
    std::vector<int64_t> shifts(inputs.size(), 0);
    for (size_t n = 1; n < inputs.size(); ++n) {
        const PsScan& before = inputs[n - 1].scan;
        const PsScan& scan = inputs[n].scan;
        int64_t shift = 0;
        if (before.videoEnd >= 0 && scan.videoStart >= 0) {
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
    copied->assign(inputs.size(), PsCopiedInput{});
    PsOutput output;
    int result = output.Open(outputPath, error);
    if (result < 0) {
        return result;
    }
    std::vector<int64_t> shifts = SeamShifts(inputs);
    int64_t zero = inputs.empty() || inputs[0].scan.videoStart < 0 ? 0 : inputs[0].scan.videoStart;
    int64_t framesBefore = 0;
    PackClock clock;
    bool endCode = false;
    for (size_t n = 0; n < inputs.size(); ++n) {
        const PsCopyInput& in = inputs[n];
        const PsScan& scan = in.scan;
        int64_t shift = shifts[n];
        PsInput input;
        if (!input.Open(in.path, error)) {
            return -ENOENT;
        }
        // At a seam into an input on a clock of its own, this input's audio ends with its last
        // whole frame; one cut short ends its audio where its pictures end.
        const bool seamAfter = n + 1 < inputs.size() && shifts[n + 1] != 0;
        const std::vector<PsAudioCut>* audioEnds = scan.cutShort ? &scan.audioCuts
                                                   : seamAfter   ? &scan.audioTails
                                                                 : nullptr;
        // An input whose bytes all stay as they are (the first, or one that goes on from the
        // one before on its own clock) is copied inside the kernel, but for a trailing end code
        // and from the pack of a part-frame to leave out on.
        bool unchanged = shift == 0 && n == 0 && !input.VideoCd() && !scan.cutShort &&
                         scan.streamBytes == input.FileBytes() &&
                         (scan.endCodes == 0 ||
                          (scan.endCodes == 1 && scan.lastEndCodeAt + 4 == scan.streamBytes));
        uint64_t kernelBytes = scan.streamBytes - (scan.endCodes == 1 ? 4 : 0);
        if (audioEnds != nullptr) {
            for (const PsAudioCut& cut : *audioEnds) {
                kernelBytes = std::min(kernelBytes, cut.packAt);
            }
        }
        if (unchanged) {
            const bool whole = audioEnds == nullptr || audioEnds->empty();
            uint64_t base = output.Offset();
            if (output.CopyFrom(input.Fd(), 0, kernelBytes, error, &result)) {
                if (result < 0) {
                    return result;
                }
                if (whole) {
                    clock.Passed(scan.lastScr, base + scan.lastPackAt, scan.lastMuxRate);
                    endCode = scan.endCodes == 1;
                    Place(scan, shift, zero, &(*copied)[n]);
                    framesBefore += scan.scan.frameCount;
                    if (progress && !progress(framesBefore)) {
                        return 1;
                    }
                    continue;
                }
                input.SkipTo(kernelBytes);  // the rest goes through the loop below
            }
        }
        // A later input on a clock of its own gets its first GOP marked, if open; one that goes
        // on from the input before (a DVD title's next file: no shift) keeps its references.
        bool ownClock = n > 0 && shift != 0;
        bool seekGop = ownClock;
        endCode = false;
        int videoPackets = 0;
        std::vector<uint16_t> audioSeen;
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
                endCode = true;  // only the last input's stays, at the very end
                input.Advance(unit.size);
                continue;
            }
            endCode = false;
            if (unit.kind == PsUnitKind::kJunk && (scan.cutShort && at + unit.size > scan.cutAt)) {
                break;
            }
            if (unit.kind == PsUnitKind::kJunk) {
                // Bytes between units (zero stuffing at the end of a Video CD pack) are part of
                // the pack, and stay.
                result = output.Write(window.data(), unit.size, error);
                if (result < 0) {
                    return result;
                }
                input.Advance(unit.size);
                continue;
            }
            bool stopAfter = false;
            size_t consumed = unit.size;
            uint8_t* data = input.WindowBytes();  // patched in place: the input is only read
            bool isVideo = unit.kind == PsUnitKind::kPes && unit.code == scan.videoId;
            if (scan.cutShort && at + unit.size > scan.cutAt) {
                // The last picture is incomplete: the input ends before it.
                if (!isVideo || scan.cutAt < at + unit.payloadOffset) {
                    break;
                }
                if (scan.cutAt == at + unit.payloadOffset) {
                    break;
                }
                TruncatePes(data, &unit, static_cast<size_t>(scan.cutAt - at));
                stopAfter = true;
            }
            if (unit.kind == PsUnitKind::kPes && !isVideo &&
                FramingOfStream(AudioKeyOf(data, unit)) != AudioFraming::kNone) {
                const uint16_t key = AudioKeyOf(data, unit);
                EditedAudio edited;
                bool edit = false;
                if (audioEnds != nullptr) {
                    // Its audio ends with the last whole frame: what follows becomes padding.
                    auto cut = std::find_if(audioEnds->begin(), audioEnds->end(),
                                            [key](const PsAudioCut& c) { return c.key == key; });
                    if (cut != audioEnds->end() && at >= cut->pesAt) {
                        edit = KeepLeadingAudio(data, unit, at > cut->pesAt ? 0 : cut->keepBytes,
                                                &edited);
                    }
                }
                if (!edit && ownClock &&
                    std::find(audioSeen.begin(), audioSeen.end(), key) == audioSeen.end()) {
                    // At a seam of its own clock, an audio stream's first packet may open with
                    // the end of a frame begun before the cut: that would glue onto the frame
                    // before.
                    audioSeen.push_back(key);
                    int64_t partial = LeadingPartialFrame(data, unit);
                    edit = partial > 0 &&
                           DropLeadingAudio(data, unit, static_cast<size_t>(partial), &edited);
                }
                if (edit && edited.paddingBytes > 0) {
                    // The padding packet goes first, as it is; the packet follows it.
                    result = output.Write(data, edited.paddingBytes, error);
                    if (result < 0) {
                        return result;
                    }
                    data += edited.paddingBytes;
                }
                if (edit) {
                    unit = edited.unit;
                }
            }
            if (isVideo && seekGop && videoPackets++ < kGopSearchPackets) {
                // A seam into an open GOP: its leading B pictures lean on pictures of the input
                // before, which the decoder must not use.
                size_t gop = FindStartCode(data, unit.payloadOffset, unit.size, kGopStart);
                if (gop + 8 <= unit.size) {
                    if ((data[gop + 7] & kGopClosedBit) == 0) {
                        data[gop + 7] |= kGopBrokenLinkBit;
                    }
                    seekGop = false;
                }
            }
            if (unit.kind == PsUnitKind::kPack) {
                clock.Stamp(data, unit, shift, output.Offset());
            } else if (shift != 0) {
                ShiftUnit(data, unit, shift);
            }
            result = output.Write(data, unit.size, error);
            if (result < 0) {
                return result;
            }
            input.Advance(consumed);
            if (stopAfter) {
                break;
            }
            if (input.FileOffset() >= nextReport) {
                nextReport = input.FileOffset() + kProgressEveryBytes;
                int64_t done = framesBefore + scan.scan.frameCount *
                                                  static_cast<int64_t>(input.FileOffset()) /
                                                  static_cast<int64_t>(streamBytes);
                if (progress && !progress(done)) {
                    return 1;
                }
            }
        }
        if (input.Failed()) {
            *error = "Cannot read " + in.path + ": " + std::strerror(EIO);
            return -EIO;
        }
        Place(scan, shift, zero, &(*copied)[n]);
        framesBefore += scan.scan.frameCount;
        if (progress && !progress(framesBefore)) {
            return 1;
        }
    }
    result = endCode ? output.Write(kEndCode, sizeof kEndCode, error) : 0;
    if (result == 0) {
        result = output.Finish(error);
    }
    return result;
}
