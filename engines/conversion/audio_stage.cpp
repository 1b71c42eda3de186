#include "engines/conversion/audio_stage.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <vector>

#include "engines/conversion/av_error.h"
#include "engines/conversion/encoder_drain.h"

namespace {
constexpr const char* kEncodeFailure = "Cannot encode the audio";
}  // namespace

AudioStage::~AudioStage() {
    m_encoding.reset();  // before the encoder it uses
    avcodec_free_context(&m_encoder);
    swr_free(&m_resampler);
    if (m_fifo != nullptr) {
        av_audio_fifo_free(m_fifo);
    }
    av_frame_free(&m_frame);
}

int AudioStage::Open(const OutputPlan& plan, AVStream* stream, bool globalHeader,
                     std::string* error) {
    const AVCodec* codec = avcodec_find_encoder(plan.audioCodec);
    m_encoder = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
    m_frame = av_frame_alloc();
    if (m_encoder == nullptr || m_frame == nullptr) {
        *error =
            std::string("Cannot set up the audio encoder ") + avcodec_get_name(plan.audioCodec);
        return AVERROR_ENCODER_NOT_FOUND;
    }
    m_encoder->sample_rate = plan.sampleRate;
    av_channel_layout_default(&m_encoder->ch_layout, plan.channels);
    // 16-bit samples where the encoder takes them, else its own first format.
    m_encoder->sample_fmt =
        codec->sample_fmts != nullptr ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    for (const AVSampleFormat* f = codec->sample_fmts; f != nullptr && *f != AV_SAMPLE_FMT_NONE;
         ++f) {
        if (*f == AV_SAMPLE_FMT_S16 || *f == AV_SAMPLE_FMT_S16P) {
            m_encoder->sample_fmt = *f;
            break;
        }
    }
    m_encoder->bit_rate = plan.audioBitRate;
    m_encoder->time_base = AVRational{1, plan.sampleRate};
    if (globalHeader) {
        m_encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    int result = avcodec_open2(m_encoder, codec, nullptr);
    if (result < 0) {
        *error = AvErrorText(std::string("Cannot open the audio encoder ") + codec->name, result);
        return result;
    }
    m_encoding = std::make_unique<EncoderThread>(m_encoder, kEncodeFailure);
    // Neither AVI nor a program stream records an encoder's delay, so a player would hear
    // everything that much late: the delay's worth of samples is left out at the start instead.
    m_dropAtStart = std::max(m_encoder->initial_padding, 0);
    if (m_encoder->frame_size > 0) {
        m_frameSize = m_encoder->frame_size;
    }
    result = avcodec_parameters_from_context(stream->codecpar, m_encoder);
    if (result < 0) {
        *error = AvErrorText("Cannot describe the audio stream", result);
        return result;
    }
    stream->time_base = m_encoder->time_base;
    m_fifo = av_audio_fifo_alloc(m_encoder->sample_fmt, m_encoder->ch_layout.nb_channels,
                                 m_frameSize * 4);
    if (m_fifo == nullptr) {
        *error = "Out of memory for the audio";
        return AVERROR(ENOMEM);
    }
    return 0;
}

void AudioStage::BeginInput(int64_t segmentSamples) {
    m_segment = segmentSamples;
    m_inSegment = 0;
    m_toSkip = 0;
    m_firstBlock = true;
}

int AudioStage::AddBlock(const AVFrame* block, double secondsFromStart, std::string* error) {
    if (m_firstBlock) {
        m_firstBlock = false;
        int64_t offset = std::llround(secondsFromStart * m_encoder->sample_rate);
        if (offset > 0) {
            int result = StoreSilence(std::min(offset, m_segment), error);
            if (result < 0) {
                return result;
            }
        } else {
            m_toSkip = -offset;
        }
    }
    uint64_t layoutKey = block->ch_layout.order == AV_CHANNEL_ORDER_NATIVE
                             ? block->ch_layout.u.mask
                             : static_cast<uint64_t>(block->ch_layout.nb_channels);
    if (m_resampler == nullptr || block->sample_rate != m_inRate || block->format != m_inFormat ||
        layoutKey != m_inLayoutKey) {
        swr_free(&m_resampler);
        AVChannelLayout inLayout{};
        if (block->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
            av_channel_layout_default(&inLayout, block->ch_layout.nb_channels);
        } else {
            av_channel_layout_copy(&inLayout, &block->ch_layout);
        }
        int result = swr_alloc_set_opts2(
            &m_resampler, &m_encoder->ch_layout, m_encoder->sample_fmt, m_encoder->sample_rate,
            &inLayout, static_cast<AVSampleFormat>(block->format), block->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&inLayout);
        if (result >= 0) {
            result = swr_init(m_resampler);
        }
        if (result < 0) {
            *error = AvErrorText("Cannot resample the audio", result);
            return result;
        }
        m_inRate = block->sample_rate;
        m_inFormat = block->format;
        m_inLayoutKey = layoutKey;
    }
    int room = swr_get_out_samples(m_resampler, block->nb_samples);
    uint8_t** out = nullptr;
    int result = av_samples_alloc_array_and_samples(&out, nullptr, m_encoder->ch_layout.nb_channels,
                                                    std::max(room, 1), m_encoder->sample_fmt, 0);
    if (result < 0) {
        *error = AvErrorText("Out of memory for the audio", result);
        return result;
    }
    int count = swr_convert(m_resampler, out, room,
                            const_cast<const uint8_t**>(block->extended_data), block->nb_samples);
    result = count < 0 ? count : Store(out, count, error);
    if (count < 0) {
        *error = AvErrorText("Cannot resample the audio", count);
    }
    av_freep(&out[0]);
    av_freep(&out);
    return result;
}

int AudioStage::Store(uint8_t** data, int count, std::string* error) {
    int offset = 0;
    if (m_toSkip > 0) {
        int skip = static_cast<int>(std::min<int64_t>(m_toSkip, count));
        m_toSkip -= skip;
        offset = skip;
    }
    int64_t keep = std::min<int64_t>(count - offset, m_segment - m_inSegment);
    if (keep <= 0) {
        return 0;
    }
    int bytesPerSample = av_get_bytes_per_sample(m_encoder->sample_fmt);
    bool planar = av_sample_fmt_is_planar(m_encoder->sample_fmt) != 0;
    int channels = m_encoder->ch_layout.nb_channels;
    std::vector<void*> planes(planar ? static_cast<size_t>(channels) : 1);
    for (size_t i = 0; i < planes.size(); ++i) {
        planes[i] =
            data[i] + static_cast<ptrdiff_t>(offset) * bytesPerSample * (planar ? 1 : channels);
    }
    if (av_audio_fifo_write(m_fifo, planes.data(), static_cast<int>(keep)) < keep) {
        *error = "Out of memory for the audio";
        return AVERROR(ENOMEM);
    }
    m_inSegment += keep;
    m_samplesFed += keep;
    return EncodeReady(false, error);
}

int AudioStage::StoreSilence(int64_t count, std::string* error) {
    while (count > 0) {
        int chunk = static_cast<int>(std::min<int64_t>(count, m_frameSize));
        uint8_t** silence = nullptr;
        int result = av_samples_alloc_array_and_samples(
            &silence, nullptr, m_encoder->ch_layout.nb_channels, chunk, m_encoder->sample_fmt, 0);
        if (result < 0) {
            *error = "Out of memory for the audio";
            return result;
        }
        av_samples_set_silence(silence, 0, chunk, m_encoder->ch_layout.nb_channels,
                               m_encoder->sample_fmt);
        int64_t skipBefore = m_toSkip;
        m_toSkip = 0;
        result = Store(silence, chunk, error);
        m_toSkip = skipBefore;
        av_freep(&silence[0]);
        av_freep(&silence);
        if (result < 0) {
            return result;
        }
        count -= chunk;
    }
    return 0;
}

int AudioStage::FillSilenceTo(int64_t position, std::string* error) {
    int64_t upTo = std::min(position, m_segment);
    return upTo > m_inSegment ? StoreSilence(upTo - m_inSegment, error) : 0;
}

int AudioStage::EndInput(std::string* error) {
    if (m_resampler != nullptr) {
        // What the resampler still holds belongs to this input.
        int room = swr_get_out_samples(m_resampler, 0);
        if (room > 0) {
            uint8_t** out = nullptr;
            int result = av_samples_alloc_array_and_samples(
                &out, nullptr, m_encoder->ch_layout.nb_channels, room, m_encoder->sample_fmt, 0);
            if (result < 0) {
                *error = "Out of memory for the audio";
                return result;
            }
            int count = swr_convert(m_resampler, out, room, nullptr, 0);
            result = count > 0 ? Store(out, count, error) : 0;
            av_freep(&out[0]);
            av_freep(&out);
            if (result < 0) {
                return result;
            }
        }
        swr_free(&m_resampler);
    }
    m_toSkip = 0;
    return StoreSilence(m_segment - m_inSegment, error);
}

int AudioStage::EncodeReady(bool all, std::string* error) {
    if (m_dropAtStart > 0) {
        int drop = std::min(m_dropAtStart, av_audio_fifo_size(m_fifo));
        av_audio_fifo_drain(m_fifo, drop);
        m_dropAtStart -= drop;
    }
    while (av_audio_fifo_size(m_fifo) >= m_frameSize || (all && av_audio_fifo_size(m_fifo) > 0)) {
        int available = av_audio_fifo_size(m_fifo);
        int count = std::min(available, m_frameSize);
        av_frame_unref(m_frame);
        m_frame->nb_samples = m_frameSize;
        m_frame->format = m_encoder->sample_fmt;
        m_frame->sample_rate = m_encoder->sample_rate;
        av_channel_layout_copy(&m_frame->ch_layout, &m_encoder->ch_layout);
        int result = av_frame_get_buffer(m_frame, 0);
        if (result < 0) {
            *error = "Out of memory for the audio";
            return result;
        }
        av_audio_fifo_read(m_fifo, reinterpret_cast<void**>(m_frame->data), count);
        if (count < m_frameSize) {
            // The encoder takes whole blocks: the end of the last one is silence.
            av_samples_set_silence(m_frame->data, count, m_frameSize - count,
                                   m_encoder->ch_layout.nb_channels, m_encoder->sample_fmt);
        }
        m_frame->pts = m_samplesEncoded;
        if (m_block) {
            m_block(m_samplesEncoded, count);
        }
        m_samplesEncoded += m_frameSize;
        result = m_encoding->Send(m_frame, m_sink, error);
        if (result < 0) {
            return result;
        }
    }
    return 0;
}

int AudioStage::Flush(std::string* error) {
    int result = EncodeReady(true, error);
    if (result < 0) {
        return result;
    }
    return m_encoding->Finish(m_sink, error);
}
