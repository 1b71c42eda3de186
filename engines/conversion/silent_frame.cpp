#include "engines/conversion/silent_frame.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

#include <cstring>
#include <memory>

namespace {

constexpr int64_t kBitRateUnknown = 128000;
constexpr int kFrameSizeUnknown = 1152;
constexpr uint8_t kUnsignedSilence = 0x80;

struct ContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};

PacketPtr PcmSilence(const AVCodecParameters* track, int64_t pcmSamples, int64_t* samples) {
    const int bits = av_get_bits_per_sample(track->codec_id);
    const int channels = track->ch_layout.nb_channels;
    if (bits <= 0 || bits % 8 != 0 || channels <= 0 || pcmSamples <= 0 ||
        pcmSamples > INT32_MAX / (bits / 8 * channels)) {
        return nullptr;
    }
    PacketPtr packet(av_packet_alloc());
    const int bytes = static_cast<int>(pcmSamples) * bits / 8 * channels;
    if (packet == nullptr || av_new_packet(packet.get(), bytes) < 0) {
        return nullptr;
    }
    std::memset(packet->data, track->codec_id == AV_CODEC_ID_PCM_U8 ? kUnsignedSilence : 0,
                static_cast<size_t>(bytes));
    *samples = pcmSamples;
    return packet;
}

}  // namespace

PacketPtr MakeSilentPacket(const AVCodecParameters* track, int64_t pcmSamples, int64_t* samples) {
    *samples = 0;
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(track->codec_id);
    if (descriptor != nullptr && std::strncmp(descriptor->name, "pcm_", 4) == 0) {
        return PcmSilence(track, pcmSamples, samples);
    }
    const AVCodec* codec = avcodec_find_encoder(track->codec_id);
    if (codec == nullptr || track->sample_rate <= 0 || track->ch_layout.nb_channels <= 0) {
        return nullptr;
    }
    std::unique_ptr<AVCodecContext, ContextDeleter> context(avcodec_alloc_context3(codec));
    if (context == nullptr) {
        return nullptr;
    }
    context->sample_rate = track->sample_rate;
    if (track->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC ||
        av_channel_layout_copy(&context->ch_layout, &track->ch_layout) < 0) {
        av_channel_layout_default(&context->ch_layout, track->ch_layout.nb_channels);
    }
    context->bit_rate = track->bit_rate > 0 ? track->bit_rate : kBitRateUnknown;
    context->sample_fmt = codec->sample_fmts != nullptr ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    context->time_base = AVRational{1, track->sample_rate};
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
        return nullptr;
    }
    FramePtr frame(av_frame_alloc());
    if (frame == nullptr) {
        return nullptr;
    }
    frame->nb_samples = context->frame_size > 0 ? context->frame_size : kFrameSizeUnknown;
    frame->format = context->sample_fmt;
    frame->sample_rate = context->sample_rate;
    frame->pts = 0;
    if (av_channel_layout_copy(&frame->ch_layout, &context->ch_layout) < 0 ||
        av_frame_get_buffer(frame.get(), 0) < 0) {
        return nullptr;
    }
    av_samples_set_silence(frame->extended_data, 0, frame->nb_samples,
                           context->ch_layout.nb_channels, context->sample_fmt);
    // The encoder may hold the frame back (its look-ahead): the end of its input brings it out.
    if (avcodec_send_frame(context.get(), frame.get()) < 0 ||
        avcodec_send_frame(context.get(), nullptr) < 0) {
        return nullptr;
    }
    PacketPtr packet(av_packet_alloc());
    if (packet == nullptr || avcodec_receive_packet(context.get(), packet.get()) < 0 ||
        packet->size <= 0) {
        return nullptr;
    }
    *samples = frame->nb_samples;
    return packet;
}
