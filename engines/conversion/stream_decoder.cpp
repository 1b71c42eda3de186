#include "engines/conversion/stream_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "engines/conversion/av_error.h"

StreamDecoder::~StreamDecoder() {
    avcodec_free_context(&m_context);
}

int StreamDecoder::Open(const AVStream* stream, const std::string& path, std::string* error) {
    const char* what = stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO ? "video" : "audio";
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (codec == nullptr) {
        *error = std::string("The ") + what + " of " + path +
                 " cannot be decoded: no decoder for " +
                 avcodec_get_name(stream->codecpar->codec_id);
        return AVERROR_DECODER_NOT_FOUND;
    }
    m_context = avcodec_alloc_context3(codec);
    if (m_context == nullptr) {
        *error = "Out of memory opening the decoder of " + path;
        return AVERROR(ENOMEM);
    }
    int result = avcodec_parameters_to_context(m_context, stream->codecpar);
    if (result >= 0) {
        m_context->pkt_timebase = stream->time_base;
        m_context->thread_count = 0;  // as many as the machine has
        result = avcodec_open2(m_context, codec, nullptr);
    }
    if (result < 0) {
        *error =
            AvErrorText(std::string("The ") + what + " of " + path + " cannot be decoded", result);
    }
    return result;
}

int StreamDecoder::Send(const AVPacket* packet) {
    return avcodec_send_packet(m_context, packet);
}

int StreamDecoder::Receive(AVFrame* frame) {
    return avcodec_receive_frame(m_context, frame);
}
