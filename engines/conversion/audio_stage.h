// The audio side of a re-encoding conversion: every input's audio resampled to the output's
// rate and channels, cut or padded with silence to exactly the length of the input's place in
// the output, so that audio and video start together at every seam, and encoded.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engines/conversion/encoder_drain.h"
#include "engines/conversion/output_plan.h"

struct AVAudioFifo;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwrContext;

class AudioStage {
public:
    using PacketSink = ::PacketSink;
    // Called for each block handed to the encoder: its first sample and its length.
    using BlockDone = std::function<void(int64_t firstSample, int count)>;

    AudioStage() = default;
    ~AudioStage();
    AudioStage(const AudioStage&) = delete;
    AudioStage& operator=(const AudioStage&) = delete;

    int Open(const OutputPlan& plan, AVStream* stream, bool globalHeader, std::string* error);
    AVCodecContext* Encoder() const { return m_encoder; }
    void SetSinks(PacketSink sink, BlockDone block) {
        m_sink = std::move(sink);
        m_block = std::move(block);
    }

    // Starts an input whose audio fills `segmentSamples` output samples.
    void BeginInput(int64_t segmentSamples);
    // One decoded block; `secondsFromStart` is its time from the input's start (the first
    // block's decides how much silence goes before it, or how much of it is cut).
    int AddBlock(const AVFrame* block, double secondsFromStart, std::string* error);
    // The current input's place made longer, to `segmentSamples` (never shorter: what is
    // stored stays).
    void ExtendInput(int64_t segmentSamples) { m_segment = std::max(m_segment, segmentSamples); }
    // The current input's place made shorter, to `segmentSamples`, as far as nothing stored is
    // given back (its pictures turned out fewer than it promised).
    void ShortenInput(int64_t segmentSamples) {
        m_segment = std::max(m_inSegment, std::min(m_segment, segmentSamples));
    }
    // Silence up to `position` samples into the current input (for an input without audio).
    int FillSilenceTo(int64_t position, std::string* error);
    // Ends the input: the resampler drained, then silence up to the segment's length.
    int EndInput(std::string* error);
    // The last partial block padded and the encoder drained.
    int Flush(std::string* error);

    // Output samples handed on so far (per channel).
    int64_t SamplesOut() const { return m_samplesFed; }

private:
    int Store(uint8_t** data, int count, std::string* error);
    int StoreSilence(int64_t count, std::string* error);
    int EncodeReady(bool all, std::string* error);

    AVCodecContext* m_encoder = nullptr;
    std::unique_ptr<EncoderThread> m_encoding;  // once the encoder is open
    SwrContext* m_resampler = nullptr;
    AVAudioFifo* m_fifo = nullptr;
    AVFrame* m_frame = nullptr;
    PacketSink m_sink;
    BlockDone m_block;
    int m_frameSize = 1152;
    int m_dropAtStart = 0;  // the encoder's delay, taken off the front so the sound keeps time
    int64_t m_segment = 0;
    int64_t m_inSegment = 0;  // samples of the current input stored so far
    int64_t m_toSkip = 0;     // samples still to cut from the current input's start
    bool m_firstBlock = true;
    int64_t m_samplesFed = 0;  // all samples stored, every input
    int64_t m_samplesEncoded = 0;
    // The resampler is made for the input's format; a change of format makes a new one.
    int m_inRate = 0;
    int m_inFormat = -1;
    uint64_t m_inLayoutKey = 0;
};
