// What one conversion writes: container, codecs, picture, rates and, per stream, whether the
// inputs' packets can be copied as they are.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavcodec/codec_par.h>
#include <libavutil/rational.h>
}

#include "engines/conversion/conversion.h"
#include "engines/conversion/media_scan.h"

// One input as the plan sees it: the scan's counts and its first streams' parameters.
struct InputFacts {
    std::string path;
    MediaScan scan;
    bool hasVideo = false;
    AVCodecID videoCodec = AV_CODEC_ID_NONE;
    uint32_t videoTag = 0;     // the container's FourCC for it; 0 when it names none
    int64_t videoBitRate = 0;  // bits per second, 0 when the file does not say
    int pixelFormat = -1;      // as decoded (AVPixelFormat), -1 when unknown
    int width = 0;
    int height = 0;
    AVRational displayAspect{0, 1};   // 0/1 when unknown
    AVRational exactFrameRate{0, 1};  // as the demuxer gives it
    bool elementaryVideo = false;     // a bare video stream, no container around it
    bool hasAudio = false;
    AVCodecID audioCodec = AV_CODEC_ID_NONE;
    int sampleRate = 0;
    int channels = 0;
    int64_t audioBitRate = 0;
    // An AVI's further audio tracks (dual-audio releases), in stream order: their parameters.
    std::vector<std::shared_ptr<const AVCodecParameters>> moreAudio;
};

struct OutputPlan {
    const char* muxer = nullptr;  // "avi", "vcd", "mpeg" (MPEG-1 system), "dvd", "asf", "rm"
    AVCodecID videoCodec = AV_CODEC_ID_NONE;
    uint32_t videoTag = 0;  // AVI: the FourCC written as the stream's tag
    AVRational frameRate{0, 1};
    int width = 0;
    int height = 0;
    AVRational sampleAspect{1, 1};
    bool copyVideo = false;
    int64_t videoBitRate = 0;  // bits per second
    int64_t videoMinRate = 0;
    int64_t videoMaxRate = 0;
    int videoBufferBits = 0;
    int gopSize = 12;
    int maxBFrames = -1;   // -1: the encoder's own choice
    int pixelFormat = -1;  // AVPixelFormat to encode; -1: the encoder's first
    AVCodecID audioCodec = AV_CODEC_ID_NONE;
    bool copyAudio = false;
    bool audio = true;           // false: no input has sound, and the output gets none either
    size_t moreAudioTracks = 0;  // copied tracks after the first, which every input holds alike
    // An AVI's further tracks after those: encoded, to the format below, up to as many as any
    // input has (an input without one gives silence there).
    size_t encodedAudioTracks = 0;
    AVCodecID encodedAudioCodec = AV_CODEC_ID_NONE;
    int encodedSampleRate = 44100;
    int encodedChannels = 2;
    int64_t audioBitRate = 0;
    int sampleRate = 44100;
    int channels = 2;
    int packetSize = 0;   // program stream pack size; 0: the muxer's
    int64_t muxRate = 0;  // bits per second; 0: the muxer works it out
    double preloadSeconds = 0.0;
};

// What the plan leaves out of an input: one sentence for each of its audio tracks that has no
// place in the output.
std::vector<std::string> LeftOutTracks(const OutputPlan& plan, const InputFacts& input);

// The frame rate as a fraction: common rates exactly (29.97 -> 30000/1001), others as the
// closest fraction with a denominator the AVI and MPEG-4 time bases can hold.
AVRational FrameRateFraction(double rate);

// The codec an AVI FourCC names. 'DIB ' is the name Video for Windows gives uncompressed RGB,
// which a file's headers write as no FourCC at all.
constexpr uint32_t kUncompressedRgbFourcc = 0x20424944;  // 'DIB '
AVCodecID AviVideoCodecOf(uint32_t fourcc);

// Works out the plan from the settings and the inputs; 0, or an error code with a readable
// reason.
int MakeOutputPlan(const ConversionSettings& settings, const std::vector<InputFacts>& inputs,
                   OutputPlan* plan, std::string* error);
