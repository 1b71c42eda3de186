#include "engines/conversion/media_scan.h"

#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "engines/conversion/av_error.h"
#include "engines/conversion/input_open.h"

namespace {

std::string CodecName(const AVCodecParameters* parameters) {
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(parameters->codec_id);
    return descriptor != nullptr ? descriptor->name : "unknown";
}

std::string FormatName(const AVFormatContext* context, const AVStream* video) {
    std::string demuxer = context->iformat->name;
    if (demuxer == "avi") {
        return "AVI";
    }
    if (video != nullptr && video->codecpar->codec_id == AV_CODEC_ID_MPEG2VIDEO) {
        return "MPEG-2";
    }
    if (video != nullptr && video->codecpar->codec_id == AV_CODEC_ID_MPEG1VIDEO) {
        return "MPEG-1";
    }
    return demuxer;
}

}  // namespace

int ScanMedia(const std::string& path, MediaScan* scan, const ScanProgress& progress,
              std::string* error) {
    *scan = MediaScan{};
    AVFormatContext* context = nullptr;
    int result = OpenMediaInput(path, &context, error);
    if (result < 0) {
        return result;
    }
    int videoIndex = av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    int audioIndex = av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    const AVStream* video = videoIndex >= 0 ? context->streams[videoIndex] : nullptr;
    const AVStream* audio = audioIndex >= 0 ? context->streams[audioIndex] : nullptr;
    scan->formatName = FormatName(context, video);
    if (video != nullptr) {
        scan->hasVideo = true;
        scan->videoCodec = CodecName(video->codecpar);
        scan->width = video->codecpar->width;
        scan->height = video->codecpar->height;
        AVRational rate = av_guess_frame_rate(context, const_cast<AVStream*>(video), nullptr);
        scan->frameRate = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0.0;
    }
    if (audio != nullptr) {
        scan->hasAudio = true;
        scan->audioCodec = CodecName(audio->codecpar);
        scan->audioBitRate = audio->codecpar->bit_rate;
        scan->audioSampleRate = audio->codecpar->sample_rate;
        scan->audioChannels = audio->codecpar->ch_layout.nb_channels;
    }

    int64_t fileSize = context->pb != nullptr ? avio_size(context->pb) : -1;
    int64_t videoEnd = AV_NOPTS_VALUE;
    int64_t audioEnd = AV_NOPTS_VALUE;
    AVPacket* packet = av_packet_alloc();
    int lastPercent = -1;
    while ((result = av_read_frame(context, packet)) >= 0) {
        if (packet->stream_index == videoIndex) {
            ++scan->frameCount;
            if (packet->pts != AV_NOPTS_VALUE) {
                int64_t end = packet->pts + std::max<int64_t>(packet->duration, 0);
                videoEnd = videoEnd == AV_NOPTS_VALUE ? end : std::max(videoEnd, end);
            }
        } else if (packet->stream_index == audioIndex) {
            if (packet->pts != AV_NOPTS_VALUE) {
                int64_t end = packet->pts + std::max<int64_t>(packet->duration, 0);
                audioEnd = audioEnd == AV_NOPTS_VALUE ? end : std::max(audioEnd, end);
            }
        }
        av_packet_unref(packet);
        if (progress) {
            if (fileSize <= 0) {
                if (lastPercent != -2) {
                    progress(-1.0);
                    lastPercent = -2;
                }
            } else {
                double percent = 100.0 * static_cast<double>(avio_tell(context->pb)) /
                                 static_cast<double>(fileSize);
                if (static_cast<int>(percent) != lastPercent) {
                    lastPercent = static_cast<int>(percent);
                    progress(std::min(percent, 100.0));
                }
            }
        }
    }
    av_packet_free(&packet);
    if (result != AVERROR_EOF) {
        *error = AvErrorText("Cannot read " + path, result);
        CloseMediaInput(&context);
        return result;
    }

    // The duration runs from the file's first timestamp to the end of its last packet.
    double start = context->start_time != AV_NOPTS_VALUE
                       ? static_cast<double>(context->start_time) / AV_TIME_BASE
                       : 0.0;
    if (video != nullptr && videoEnd != AV_NOPTS_VALUE) {
        scan->duration = std::max(scan->duration, videoEnd * av_q2d(video->time_base) - start);
    }
    if (audio != nullptr && audioEnd != AV_NOPTS_VALUE) {
        double audioSeconds = audioEnd * av_q2d(audio->time_base) - start;
        scan->duration = std::max(scan->duration, audioSeconds);
        double audioStart = audio->start_time != AV_NOPTS_VALUE
                                ? audio->start_time * av_q2d(audio->time_base)
                                : start;
        scan->audioSampleCount = std::llround((audioEnd * av_q2d(audio->time_base) - audioStart) *
                                              scan->audioSampleRate);
    }
    if (scan->duration <= 0.0 && context->duration > 0) {
        scan->duration = static_cast<double>(context->duration) / AV_TIME_BASE;
    }
    CloseMediaInput(&context);
    return 0;
}
