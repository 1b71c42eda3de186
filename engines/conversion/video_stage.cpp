#include "engines/conversion/video_stage.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>

#include "engines/conversion/av_error.h"
#include "engines/conversion/encoder_drain.h"

namespace {

bool SupportsPixelFormat(const AVCodec* codec, int format) {
    if (codec->pix_fmts == nullptr) {
        return true;  // the encoder takes any (raw video)
    }
    for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f) {
        if (*f == format) {
            return true;
        }
    }
    return false;
}

int EvenDown(double value) {
    return std::max(2, static_cast<int>(std::floor(value / 2.0)) * 2);
}

}  // namespace

PictureArea FitPicture(AVRational inAspect, int outWidth, int outHeight, AVRational outAspect) {
    PictureArea whole{0, 0, outWidth, outHeight};
    if (inAspect.num <= 0 || inAspect.den <= 0 || outAspect.num <= 0 || outAspect.den <= 0) {
        return whole;
    }
    double ratio = av_q2d(inAspect) / av_q2d(outAspect);  // > 1: the input is wider
    PictureArea area = whole;
    if (ratio > 1.0) {
        area.height = std::min(outHeight, EvenDown(outHeight / ratio));
    } else {
        area.width = std::min(outWidth, EvenDown(outWidth * ratio));
    }
    // Bars a pixel or two wide are rounding, not a different shape.
    constexpr int kNegligibleBar = 4;
    if (outWidth - area.width <= kNegligibleBar && outHeight - area.height <= kNegligibleBar) {
        return whole;
    }
    area.x = (outWidth - area.width) / 4 * 2;
    area.y = (outHeight - area.height) / 4 * 2;
    return area;
}

VideoStage::~VideoStage() {
    m_encoding.reset();  // before the encoder it uses
    avcodec_free_context(&m_encoder);
    sws_freeContext(m_scaler);
}

int VideoStage::Open(const OutputPlan& plan, AVStream* stream, bool globalHeader,
                     std::string* error) {
    const AVCodec* codec = avcodec_find_encoder(plan.videoCodec);
    m_encoder = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
    if (m_encoder == nullptr) {
        *error =
            std::string("Cannot set up the video encoder ") + avcodec_get_name(plan.videoCodec);
        return AVERROR_ENCODER_NOT_FOUND;
    }
    m_encoder->width = plan.width;
    m_encoder->height = plan.height;
    m_encoder->sample_aspect_ratio = plan.sampleAspect;
    m_encoder->time_base = av_inv_q(plan.frameRate);
    m_encoder->framerate = plan.frameRate;
    m_encoder->pix_fmt = codec->pix_fmts != nullptr ? codec->pix_fmts[0] : AV_PIX_FMT_YUV420P;
    if (plan.pixelFormat >= 0 && SupportsPixelFormat(codec, plan.pixelFormat)) {
        m_encoder->pix_fmt = static_cast<AVPixelFormat>(plan.pixelFormat);
    }
    m_encoder->bit_rate = plan.videoBitRate;
    m_encoder->rc_min_rate = plan.videoMinRate;
    m_encoder->rc_max_rate = plan.videoMaxRate;
    m_encoder->rc_buffer_size = plan.videoBufferBits;
    m_encoder->gop_size = plan.gopSize;
    if (plan.maxBFrames >= 0) {
        m_encoder->max_b_frames = plan.maxBFrames;
    }
    m_encoder->thread_count = 0;
    if (plan.videoTag != 0) {
        m_encoder->codec_tag = plan.videoTag;
    }
    if (plan.videoMaxRate > 0 && plan.videoMinRate == plan.videoMaxRate) {
        // Constant-rate MPEG-1 needs room to fill: start with the buffer as full as it may be.
        m_encoder->rc_initial_buffer_occupancy = plan.videoBufferBits * 3 / 4;
    }
    if (globalHeader) {
        m_encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    int result = avcodec_open2(m_encoder, codec, nullptr);
    if (result < 0) {
        *error = AvErrorText(std::string("Cannot open the video encoder ") + codec->name, result);
        return result;
    }
    m_encoding = std::make_unique<EncoderThread>(m_encoder, "Cannot encode a picture");
    result = avcodec_parameters_from_context(stream->codecpar, m_encoder);
    if (result < 0) {
        *error = AvErrorText("Cannot describe the video stream", result);
        return result;
    }
    m_outputAspect = av_mul_q(plan.sampleAspect.num > 0 ? plan.sampleAspect : AVRational{1, 1},
                              AVRational{plan.width, plan.height});
    stream->time_base = m_encoder->time_base;
    stream->avg_frame_rate = plan.frameRate;
    stream->r_frame_rate = plan.frameRate;
    stream->sample_aspect_ratio = plan.sampleAspect;
    if (plan.videoTag != 0) {
        stream->codecpar->codec_tag = plan.videoTag;
    }
    if (plan.videoBufferBits > 0) {
        // The program-stream muxer sizes its buffers from these.
        size_t size = 0;
        AVCPBProperties* cpb = av_cpb_properties_alloc(&size);
        if (cpb != nullptr) {
            cpb->buffer_size = plan.videoBufferBits;
            cpb->max_bitrate = plan.videoMaxRate;
            cpb->min_bitrate = plan.videoMinRate;
            cpb->avg_bitrate = plan.videoBitRate;
            if (av_stream_add_side_data(stream, AV_PKT_DATA_CPB_PROPERTIES,
                                        reinterpret_cast<uint8_t*>(cpb), size) < 0) {
                av_free(cpb);
            }
        }
    }
    return 0;
}

void VideoStage::BeginInput(double inputRate, int64_t outputFrames, AVRational displayAspect) {
    m_inputAspect = displayAspect;
    double outputRate = av_q2d(m_encoder->framerate);
    m_step = inputRate > 0 && outputRate > 0 ? inputRate / outputRate : 1.0;
    m_inputTarget = outputFrames;
    m_inputOut = 0;
    m_nextPosition = 0;
    m_heldScaled = false;
    m_held.reset();
    m_last.reset();
}

int VideoStage::AddPicture(const AVFrame* picture, int64_t position, std::string* error) {
    // Pictures keep going forward, however their times were written.
    position = std::max(position, m_nextPosition);
    m_nextPosition = position + 1;
    // Output frame k of this input shows the latest input picture at or before
    // floor((k + 0.5) * step): a picture is skipped when no output frame falls on it, and
    // repeated when several do.
    auto source = [this](int64_t k) {
        return static_cast<int64_t>(std::floor((static_cast<double>(k) + 0.5) * m_step));
    };
    if (m_held != nullptr) {
        while (m_inputOut < m_inputTarget && source(m_inputOut) < position) {
            int result = Emit(error);
            if (result < 0 || m_stopped) {
                return result;
            }
        }
    }
    if (m_inputOut >= m_inputTarget) {
        return 0;
    }
    if (m_held == nullptr) {
        m_held.reset(av_frame_alloc());
    } else {
        av_frame_unref(m_held.get());
    }
    if (m_held == nullptr || av_frame_ref(m_held.get(), picture) < 0) {
        *error = "Out of memory keeping a picture";
        return AVERROR(ENOMEM);
    }
    m_heldScaled = false;
    while (m_inputOut < m_inputTarget && source(m_inputOut) <= position) {
        int result = Emit(error);
        if (result < 0 || m_stopped) {
            return result;
        }
    }
    return 0;
}

PictureArea VideoStage::FittedArea() const {
    AVRational aspect = m_inputAspect;
    if (aspect.num <= 0 && m_held->width > 0 && m_held->height > 0) {
        AVRational sample =
            m_held->sample_aspect_ratio.num > 0 ? m_held->sample_aspect_ratio : AVRational{1, 1};
        aspect = av_mul_q(sample, AVRational{m_held->width, m_held->height});
    }
    return FitPicture(aspect, m_encoder->width, m_encoder->height, m_outputAspect);
}

int VideoStage::ScaleHeld(std::string* error) {
    FramePtr scaled(av_frame_alloc());
    if (scaled == nullptr) {
        *error = "Out of memory scaling a picture";
        return AVERROR(ENOMEM);
    }
    scaled->format = m_encoder->pix_fmt;
    scaled->width = m_encoder->width;
    scaled->height = m_encoder->height;
    int result = av_frame_get_buffer(scaled.get(), 0);
    PictureArea area = FittedArea();
    if (result >= 0 && (area.width != scaled->width || area.height != scaled->height)) {
        ptrdiff_t linesizes[4] = {};
        for (int plane = 0; plane < 4; ++plane) {
            linesizes[plane] = scaled->linesize[plane];
        }
        result = av_image_fill_black(scaled->data, linesizes, m_encoder->pix_fmt,
                                     m_encoder->color_range, scaled->width, scaled->height);
    }
    if (result >= 0) {
        // The scaler writes into the area: each plane's pointer moved to the area's corner.
        const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(m_encoder->pix_fmt);
        uint8_t* target[4] = {};
        for (int plane = 0; plane < 4 && scaled->data[plane] != nullptr; ++plane) {
            bool chroma = format != nullptr && (plane == 1 || plane == 2) &&
                          (format->flags & AV_PIX_FMT_FLAG_PLANAR) != 0;
            int rows = chroma ? area.y >> format->log2_chroma_h : area.y;
            int columnBytes =
                area.x > 0 ? av_image_get_linesize(m_encoder->pix_fmt, area.x, plane) : 0;
            target[plane] = scaled->data[plane] +
                            static_cast<ptrdiff_t>(rows) * scaled->linesize[plane] +
                            std::max(columnBytes, 0);
        }
        m_scaler = sws_getCachedContext(
            m_scaler, m_held->width, m_held->height, static_cast<AVPixelFormat>(m_held->format),
            area.width, area.height, m_encoder->pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr);
        result = m_scaler != nullptr ? sws_scale(m_scaler, m_held->data, m_held->linesize, 0,
                                                 m_held->height, target, scaled->linesize)
                                     : AVERROR(EINVAL);
    }
    if (result < 0) {
        *error = AvErrorText("Cannot scale a picture", result);
        return result;
    }
    m_last = std::move(scaled);
    m_heldScaled = true;
    return 0;
}

int VideoStage::EndInput(const std::string& path, std::string* error) {
    if (m_held == nullptr && m_inputTarget > 0) {
        *error = "The video of " + path + " cannot be decoded: no picture came out of it.";
        return AVERROR_INVALIDDATA;
    }
    while (m_inputOut < m_inputTarget) {
        int result = Emit(error);
        if (result < 0 || m_stopped) {
            return result;
        }
    }
    return 0;
}

int VideoStage::Emit(std::string* error) {
    if (!m_heldScaled) {
        int result = ScaleHeld(error);
        if (result < 0) {
            return result;
        }
    }
    AVFrame* picture = m_last.get();
    picture->pts = m_framesOut;
    picture->pict_type = AV_PICTURE_TYPE_NONE;
    int result = m_encoding->Send(picture, m_sink, error);
    ++m_framesOut;
    ++m_inputOut;
    if (result < 0) {
        return result;
    }
    if (m_done && !m_done()) {
        m_stopped = true;
    }
    return 0;
}

int VideoStage::Flush(std::string* error) {
    return m_encoding->Finish(m_sink, error);
}
