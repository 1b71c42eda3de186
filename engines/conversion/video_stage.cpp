#include "engines/conversion/video_stage.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>

#include "engines/conversion/av_error.h"
#include "engines/conversion/encoder_drain.h"

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
    m_encoder->bit_rate = plan.videoBitRate;
    m_encoder->rc_min_rate = plan.videoMinRate;
    m_encoder->rc_max_rate = plan.videoMaxRate;
    m_encoder->rc_buffer_size = plan.videoBufferBits;
    m_encoder->gop_size = plan.gopSize;
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

void VideoStage::BeginInput(double inputRate, int64_t outputFrames) {
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
    if (result >= 0) {
        m_scaler = sws_getCachedContext(m_scaler, m_held->width, m_held->height,
                                        static_cast<AVPixelFormat>(m_held->format),
                                        m_encoder->width, m_encoder->height, m_encoder->pix_fmt,
                                        SWS_BICUBIC, nullptr, nullptr, nullptr);
        result = m_scaler != nullptr ? sws_scale(m_scaler, m_held->data, m_held->linesize, 0,
                                                 m_held->height, scaled->data, scaled->linesize)
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
