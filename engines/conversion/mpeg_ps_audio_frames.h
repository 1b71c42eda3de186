// The audio a program stream carries, frame by frame: MPEG audio, and in private stream 1 AC-3,
// DTS and DVD LPCM. Their frame headers, and a walk over one stream's packets that knows where
// its last whole frame ends, so that a join never glues a part-frame to its neighbour.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// How a stream's data divides into frames.
enum class AudioFraming { kNone, kMpeg, kAc3, kDts, kLpcm };

// The framing of the stream with this key (stream id << 8, or 0xBD << 8 | sub id).
AudioFraming FramingOfStream(uint16_t key);
// Bytes of a private stream 1 packet's payload before its audio data (sub id, frame count,
// first access unit, and LPCM's own three); 0 for MPEG audio.
size_t AudioDataOffset(AudioFraming framing);

struct AudioFrameHeader {
    std::string codec;  // "mp1", "mp2", "mp3", "ac3", "dts"
    int sampleRate = 0;
    int channels = 0;
    int64_t bitRate = 0;  // bits per second; 0 when the header does not tell
    int samplesPerFrame = 0;
    uint64_t frameBytes = 0;
};

// The header of a frame at `h` (`size` bytes readable); false when it is none.
bool ReadAudioFrameHeader(AudioFraming framing, const uint8_t* h, size_t size,
                          AudioFrameHeader* header);
// Bytes a frame header needs to be read.
size_t AudioHeaderBytes(AudioFraming framing);

// The bytes of one LPCM sample group (every channel's sample, two samples deep at 20 and 24
// bits) from the three LPCM header bytes of a DVD packet; 0 when they are not understood.
uint32_t LpcmGroupBytes(const uint8_t* lpcmHeader);

// Where a stream's audio ends when a join cuts it: in the PES packet at stream offset `pesAt`
// (in the pack at `packAt`), after `keepBytes` of its audio data; the stream's later packets go.
struct PsAudioCut {
    uint16_t key = 0;
    uint64_t pesAt = 0;
    uint64_t packAt = 0;
    size_t keepBytes = 0;
};

// A place to end a stream, and the time its last frame ends at.
struct PsTimedAudioCut {
    int64_t end = -1;
    PsAudioCut cut;
};

// One audio stream's frames, walked through its PES packets in order.
class AudioFrameWalker {
public:
    static constexpr size_t kKeptRecords = 512;

    AudioFrameWalker() = default;
    // LPCM needs its sample group's size; the other framings find their frames' headers.
    AudioFrameWalker(AudioFraming framing, uint32_t lpcmGroupBytes)
        : m_framing(framing), m_groupBytes(lpcmGroupBytes) {}

    // The audio data of the PES packet at stream offset `pesAt` in the pack at `packAt`, with
    // its presentation time in 90 kHz ticks (-1 when it has none).
    void Feed(uint64_t pesAt, uint64_t packAt, const uint8_t* data, size_t size, int64_t pts = -1);

    // Where the stream must end when everything from stream offset `cutAt` on is left out.
    bool CutBefore(uint64_t cutAt, PsAudioCut* cut) const;
    // Where the stream must end so that it ends with a whole frame: false when it does already
    // (or its frames are not known).
    bool TrailingPart(PsAudioCut* cut) const;

    // Times of whole frames (MPEG audio, AC-3, DTS), from the packets' presentation times and
    // the frames counted after them. The end of the last whole frame; false when not known.
    bool WholeEnd(int64_t* time) const;
    // The places to end the stream after a whole frame that ends in [from, to], with the time
    // each ends at; none when the times are not known.
    std::vector<PsTimedAudioCut> TimedCuts(int64_t from, int64_t to) const;

private:
    struct Packet {
        uint64_t at;
        uint64_t packAt;
        uint64_t esStart;
        size_t bytes;
        int64_t pts;
    };
    // Calls `frame(end time, end in the stream's data)` for each whole frame after the first
    // packet with a time, in order.
    template <typename F>
    void ForEachTimedFrame(F frame) const;
    // The cut that keeps `whole` bytes of the stream's data.
    bool CutAt(uint64_t whole, PsAudioCut* cut) const;
    void FindFrames(const uint8_t* data, size_t size, uint64_t base);

    AudioFraming m_framing = AudioFraming::kNone;
    uint32_t m_groupBytes = 0;
    std::vector<Packet> m_packets;
    std::vector<uint64_t> m_frameEnds;
    std::vector<uint64_t> m_frameStarts;  // beside m_frameEnds
    int m_samplesPerFrame = 0;            // of the first frame header read
    int m_sampleRate = 0;
    uint8_t m_header[16] = {};
    size_t m_headerHave = 0;
    bool m_searching = true;
    uint64_t m_headerAt = 0;  // stream data offset of the next frame's header
    uint64_t m_lastFrameStart = 0;
    uint64_t m_esBytes = 0;
};
