#include "engines/conversion/picture_grab.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include "engines/conversion/av_owners.h"
#include "engines/conversion/ffmpeg_loader.h"
#include "engines/conversion/input_open.h"

namespace {

// A picture that cannot be reached in this many decoded frames after the seek is taken from
// where the decoding got to: a list must not wait on a file without key frames.
constexpr int kMostFramesDecoded = 250;
constexpr int kMostPacketsRead = 5000;
constexpr int kLargestSide = 4096;

struct Decoder {
    AVCodecContext* context = nullptr;
    ~Decoder() { avcodec_free_context(&context); }
};

struct Scaler {
    SwsContext* context = nullptr;
    ~Scaler() { sws_freeContext(context); }
};

// Where to seek and what to wait for, in the stream's time base; AV_NOPTS_VALUE when the
// file's length is not known (the first picture then serves).
int64_t TargetTime(const AVFormatContext* format, const AVStream* stream, double fraction) {
    int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    if (stream->duration > 0) {
        return start + static_cast<int64_t>(static_cast<double>(stream->duration) * fraction);
    }
    if (format->duration > 0) {
        int64_t offset =
            av_rescale_q(static_cast<int64_t>(static_cast<double>(format->duration) * fraction),
                         AVRational{1, AV_TIME_BASE}, stream->time_base);
        return start + offset;
    }
    return AV_NOPTS_VALUE;
}

// The size the picture is shown at: its display shape kept, within the box.
void FitInBox(const AVFrame& frame, AVRational pixelShape, int maxWidth, int maxHeight, int& width,
              int& height) {
    double shape = pixelShape.num > 0 && pixelShape.den > 0 ? av_q2d(pixelShape) : 1.0;
    double displayWidth = frame.width * shape;
    double scale = std::min(maxWidth / displayWidth, maxHeight / static_cast<double>(frame.height));
    width = std::clamp(static_cast<int>(std::lround(displayWidth * scale)), 1, maxWidth);
    height = std::clamp(static_cast<int>(std::lround(frame.height * scale)), 1, maxHeight);
}

bool Scale(const AVFrame& frame, AVRational pixelShape, int maxWidth, int maxHeight,
           GrabbedPicture& out, std::string* error) {
    int width = 0;
    int height = 0;
    FitInBox(frame, pixelShape, maxWidth, maxHeight, width, height);
    Scaler scaler;
    scaler.context =
        sws_getContext(frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), width,
                       height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (scaler.context == nullptr) {
        *error = "the picture's pixel format cannot be converted";
        return false;
    }
    out.width = width;
    out.height = height;
    out.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
    uint8_t* planes[4] = {out.pixels.data(), nullptr, nullptr, nullptr};
    int strides[4] = {width * 4, 0, 0, 0};
    return sws_scale(scaler.context, frame.data, frame.linesize, 0, frame.height, planes,
                     strides) == height;
}

// Decodes from where the input stands until a frame at or after `target` (or the last one the
// limits allow) is in `frame`.
bool DecodeUntil(AVFormatContext* format, int streamIndex, AVCodecContext* decoder, int64_t target,
                 AVFrame* frame) {
    PacketPtr packet(av_packet_alloc());
    FramePtr candidate(av_frame_alloc());
    if (!packet || !candidate) {
        return false;
    }
    bool have = false;
    int frames = 0;
    auto drain = [&]() {
        while (avcodec_receive_frame(decoder, candidate.get()) == 0) {
            av_frame_unref(frame);
            av_frame_move_ref(frame, candidate.get());
            have = true;
            ++frames;
            int64_t time = frame->best_effort_timestamp;
            if (target == AV_NOPTS_VALUE || time == AV_NOPTS_VALUE || time >= target ||
                frames >= kMostFramesDecoded) {
                return true;
            }
        }
        return false;
    };
    for (int packets = 0; packets < kMostPacketsRead; ++packets) {
        int read = av_read_frame(format, packet.get());
        if (read < 0) {
            break;
        }
        bool ours = packet->stream_index == streamIndex;
        int sent = ours ? avcodec_send_packet(decoder, packet.get()) : 0;
        av_packet_unref(packet.get());
        if (sent < 0 && sent != AVERROR(EAGAIN)) {
            continue;  // a damaged packet: the next may decode
        }
        if (ours && drain()) {
            return true;
        }
    }
    avcodec_send_packet(decoder, nullptr);
    drain();
    return have;
}

}  // namespace

bool GrabPicture(const std::string& path, double fraction, int maxWidth, int maxHeight,
                 GrabbedPicture& out, std::string* error) {
    std::string unused;
    std::string& why = error != nullptr ? *error : unused;
    if (maxWidth <= 0 || maxHeight <= 0 || maxWidth > kLargestSide || maxHeight > kLargestSide) {
        why = "no room for a picture";
        return false;
    }
    if (!EnsureFfmpeg(&why)) {
        return false;
    }
    MediaInput input;
    if (OpenMediaInput(path, &input.context, &why) != 0) {
        return false;
    }
    const AVCodec* codec = nullptr;
    int streamIndex = av_find_best_stream(input.context, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (streamIndex < 0 || codec == nullptr) {
        why = "the file has no picture to show";
        return false;
    }
    AVStream* stream = input.context->streams[streamIndex];
    Decoder decoder;
    decoder.context = avcodec_alloc_context3(codec);
    if (decoder.context == nullptr ||
        avcodec_parameters_to_context(decoder.context, stream->codecpar) < 0) {
        why = "the picture's decoder cannot be set up";
        return false;
    }
    decoder.context->thread_count = 1;
    if (avcodec_open2(decoder.context, codec, nullptr) < 0) {
        why = "the picture's decoder cannot be opened";
        return false;
    }
    int64_t target = TargetTime(input.context, stream, std::clamp(fraction, 0.0, 1.0));
    if (target != AV_NOPTS_VALUE &&
        av_seek_frame(input.context, streamIndex, target, AVSEEK_FLAG_BACKWARD) < 0) {
        // Not seekable: the first picture is better than none.
        av_seek_frame(input.context, streamIndex, 0, AVSEEK_FLAG_BACKWARD);
        target = AV_NOPTS_VALUE;
    }
    FramePtr frame(av_frame_alloc());
    if (!frame || !DecodeUntil(input.context, streamIndex, decoder.context, target, frame.get()) ||
        frame->width <= 0 || frame->height <= 0) {
        why = "no picture of the file could be decoded";
        return false;
    }
    AVRational shape = av_guess_sample_aspect_ratio(input.context, stream, frame.get());
    if (!Scale(*frame, shape, maxWidth, maxHeight, out, &why)) {
        return false;
    }
    return true;
}
