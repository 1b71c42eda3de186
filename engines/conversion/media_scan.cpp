#include "engines/conversion/media_scan.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "engines/conversion/av_error.h"
#include "engines/conversion/ffmpeg_loader.h"
#include "engines/conversion/input_open.h"
#include "engines/conversion/mpeg_ps_input.h"
#include "engines/conversion/mpeg_ps_scan.h"
#include "engines/conversion/remembered_scans.h"
#include "engines/conversion/riff_length.h"
#include "platform/riff_format.h"

namespace {

// Pack sizes of the disc standards: a CD sector's payload, a DVD sector.
constexpr int kCdPackBytes = static_cast<int>(cdxa::kForm2PayloadBytes);
constexpr int kDvdPackBytes = 2048;
// Bytes at the start of a program stream looked at for its pack size.
constexpr size_t kPackProbeBytes = 65536;
constexpr int kMinPacksCompared = 4;
// Packets between progress reports at the latest, so a caller that keeps its window alive from
// the callback gets called even when the percentage moves slowly or is unknown.
constexpr int64_t kProgressEveryPackets = 256;

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

bool IsProgramStream(const AVFormatContext* context) {
    return std::string(context->iformat->name) == "mpeg";
}

// The first bytes of the (payload) stream, read through the context's own I/O.
std::vector<uint8_t> ReadStreamHead(AVFormatContext* context) {
    std::vector<uint8_t> head;
    if (context->pb == nullptr || avio_seek(context->pb, 0, SEEK_SET) < 0) {
        return head;
    }
    head.resize(kPackProbeBytes);
    int got = avio_read(context->pb, head.data(), static_cast<int>(head.size()));
    head.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return head;
}

bool OneOf(int value, std::initializer_list<int> allowed) {
    return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

}  // namespace

int MpegPackBytes(const uint8_t* head, size_t size) {
    std::vector<size_t> packs;
    for (size_t i = 0; i + 4 <= size; ++i) {
        if (head[i] == 0 && head[i + 1] == 0 && head[i + 2] == 1 && head[i + 3] == 0xBA) {
            packs.push_back(i);
            i += 3;
        }
    }
    if (packs.size() < kMinPacksCompared + 1) {
        return 0;
    }
    std::map<size_t, int> gaps;
    for (size_t i = 1; i < packs.size(); ++i) {
        ++gaps[packs[i] - packs[i - 1]];
    }
    auto most = std::max_element(gaps.begin(), gaps.end(),
                                 [](const auto& a, const auto& b) { return a.second < b.second; });
    // A pack start code by chance inside a payload splits one gap in two; allow for a few.
    int compared = static_cast<int>(packs.size() - 1);
    return most->second * 4 >= compared * 3 ? static_cast<int>(most->first) : 0;
}

std::string MpegStandard(const MediaScan& scan) {
    bool cdPacks = scan.packBytes == kCdPackBytes || scan.videoCd;
    bool sif = scan.width == 352 && OneOf(scan.height, {288, 240});
    if (scan.videoCodec == "mpeg1video" && cdPacks && sif) {
        return "VCD";
    }
    if (scan.videoCodec != "mpeg2video") {
        return {};
    }
    if (cdPacks && (sif || (scan.width == 480 && OneOf(scan.height, {576, 480})))) {
        return "SVCD";
    }
    if (scan.packBytes == kDvdPackBytes && OneOf(scan.width, {720, 704, 352}) &&
        OneOf(scan.height, {576, 480, 288, 240})) {
        return "DVD";
    }
    return {};
}

int ScanMedia(const std::string& path, MediaScan* scan, const ScanProgress& progress,
              std::string* error) {
    *scan = MediaScan{};
    // A program stream is scanned by our own pack walker: faster, and FFmpeg stays unloaded.
    if (LooksLikeProgramStream(path)) {
        PsScan ps;
        int result = ScanProgramStreamCached(path, &ps, progress, error);
        *scan = ps.scan;
        return result == 0 ? 0 : AVERROR(EIO);
    }
    if (!EnsureFfmpeg(error)) {
        return AVERROR(ENOSYS);
    }
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
    scan->videoCd = IsVideoCdInput(context);
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
    if (packet == nullptr) {
        CloseMediaInput(&context);
        *error = AvErrorText("Cannot read " + path, AVERROR(ENOMEM));
        return AVERROR(ENOMEM);
    }
    int lastPercent = -1;
    int64_t packetsSinceReport = 0;
    int64_t videoFirst = AV_NOPTS_VALUE;
    bool sawCut = false;
    while ((result = av_read_frame(context, packet)) >= 0) {
        if ((packet->flags & AV_PKT_FLAG_CORRUPT) != 0) {
            sawCut = true;  // cut off by the end of the file: not part of what can be joined
        } else if (packet->stream_index == videoIndex) {
            ++scan->frameCount;
            if (packet->pts != AV_NOPTS_VALUE) {
                videoFirst =
                    videoFirst == AV_NOPTS_VALUE ? packet->pts : std::min(videoFirst, packet->pts);
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
        if (!progress) {
            continue;
        }
        ++packetsSinceReport;
        double percent = -1.0;
        if (fileSize > 0) {
            percent = std::min(100.0, 100.0 * static_cast<double>(avio_tell(context->pb)) /
                                          static_cast<double>(fileSize));
        }
        int whole = percent < 0 ? -2 : static_cast<int>(percent);
        if (whole != lastPercent || packetsSinceReport >= kProgressEveryPackets) {
            lastPercent = whole;
            packetsSinceReport = 0;
            progress(percent);
        }
    }
    av_packet_free(&packet);
    int readResult = result;
    // At the end of the stream the file has been read through, even when what follows the
    // last packet (an AVI index, padding) was never read as packets.
    if (progress && readResult == AVERROR_EOF && fileSize > 0 && lastPercent != 100) {
        progress(100.0);
    }

    // The duration runs from the file's first timestamp to the end of its last packet.
    double start = context->start_time != AV_NOPTS_VALUE
                       ? static_cast<double>(context->start_time) / AV_TIME_BASE
                       : 0.0;
    if (video != nullptr && videoEnd != AV_NOPTS_VALUE) {
        scan->duration = std::max(scan->duration, videoEnd * av_q2d(video->time_base) - start);
        if (scan->formatName == "AVI" && scan->frameRate > 0) {
            // An empty index entry is a frame that shows the picture before it again; those
            // after the last picture only the stream header counts, and only a whole file's
            // header can be believed.
            scan->frameCount = std::max<int64_t>(
                scan->frameCount, std::llround(static_cast<double>(videoEnd - videoFirst) *
                                               av_q2d(video->time_base) * scan->frameRate));
            if (!sawCut && readResult == AVERROR_EOF && !RiffFileCutShort(path)) {
                scan->frameCount = std::max(scan->frameCount, video->nb_frames);
            }
        }
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
    if (scan->hasVideo && scan->frameRate > 0 && !IsProgramStream(context)) {
        // A raw video stream times only a few of its pictures, an AVI's empty entries after its
        // last picture none: their frames say how long they are.
        scan->duration =
            std::max(scan->duration, static_cast<double>(scan->frameCount) / scan->frameRate);
    }
    if (scan->duration <= 0.0 && context->duration > 0) {
        scan->duration = static_cast<double>(context->duration) / AV_TIME_BASE;
    }
    if (IsProgramStream(context)) {
        std::vector<uint8_t> head = ReadStreamHead(context);
        scan->packBytes = MpegPackBytes(head.data(), head.size());
        scan->standard = MpegStandard(*scan);
    }
    CloseMediaInput(&context);
    if (readResult != AVERROR_EOF) {
        *error = AvErrorText("Cannot read " + path, readResult);
        return readResult;
    }
    return 0;
}

int ScanMediaCached(const std::string& path, MediaScan* scan, const ScanProgress& progress,
                    std::string* error) {
    static RememberedScans<MediaScan> remembered;
    return remembered.Get(
        path, scan, [&](MediaScan* fresh) { return ScanMedia(path, fresh, progress, error); });
}
