// The video side of a re-encoding conversion: every decoded picture scaled to fit the output
// picture keeping its proportions (black bars fill the rest, nothing is stretched), dropped or
// repeated so that each input keeps its duration at the output rate, and encoded.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/rational.h>
}

#include "engines/conversion/av_owners.h"
#include "engines/conversion/encoder_drain.h"
#include "engines/conversion/output_plan.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;

// Where a scaled picture goes in the output picture: whole, or centred between bars.
struct PictureArea {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The largest area of an `outWidth` x `outHeight` picture shown at `outAspect` that shows a
// picture of `inAspect` undistorted: centred, even-sized and even-placed (4:2:0 chroma). Within
// a pixel row or two of the whole picture it is the whole picture.
PictureArea FitPicture(AVRational inAspect, int outWidth, int outHeight, AVRational outAspect);

class VideoStage {
public:
    // Writes one encoded packet (timestamps in the encoder's time base); 0 or an error code.
    using PacketSink = ::PacketSink;
    // Called after each output frame; false stops the conversion.
    using FrameDone = std::function<bool()>;

    VideoStage() = default;
    ~VideoStage();
    VideoStage(const VideoStage&) = delete;
    VideoStage& operator=(const VideoStage&) = delete;

    // Opens the encoder for `plan` and describes it in `stream`.
    int Open(const OutputPlan& plan, AVStream* stream, bool globalHeader, std::string* error);
    AVCodecContext* Encoder() const { return m_encoder; }

    // Starts an input at `inputRate` that becomes `outputFrames` frames. `displayAspect` is the
    // shape its pictures are shown at (0/1: as their pixels and sample aspect say).
    void BeginInput(double inputRate, int64_t outputFrames, AVRational displayAspect = {0, 1});
    // One decoded picture of the input, in presentation order. `position` is its place among the
    // input's frames when the input says so (a frame without a picture of its own repeats the
    // one before), or -1: then it follows the picture before.
    int AddPicture(const AVFrame* picture, int64_t position, std::string* error);
    // Ends the input: its last picture repeated up to its frame count. Error when it gave none.
    int EndInput(const std::string& path, std::string* error);
    // Drains the encoder.
    int Flush(std::string* error);

    void SetSinks(PacketSink sink, FrameDone done) {
        m_sink = std::move(sink);
        m_done = std::move(done);
    }
    bool Stopped() const { return m_stopped; }
    int64_t FramesOut() const { return m_framesOut; }

private:
    int Emit(std::string* error);
    int ScaleHeld(std::string* error);
    PictureArea FittedArea() const;

    AVCodecContext* m_encoder = nullptr;
    std::unique_ptr<EncoderThread> m_encoding;  // once the encoder is open
    SwsContext* m_scaler = nullptr;
    FramePtr m_held;  // the latest decoded picture of the current input
    FramePtr m_last;  // it scaled, once a frame has shown it
    bool m_heldScaled = false;
    int64_t m_nextPosition = 0;
    PacketSink m_sink;
    FrameDone m_done;
    AVRational m_outputAspect{0, 1};  // the output picture's display shape
    AVRational m_inputAspect{0, 1};   // the current input's, 0/1 when its pictures tell
    double m_step = 1.0;              // input frames per output frame
    int64_t m_inputTarget = 0;
    int64_t m_inputOut = 0;
    int64_t m_framesOut = 0;
    bool m_stopped = false;
};
