#include "engines/conversion/input_sources.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "engines/conversion/file_list.h"
#include "engines/conversion/input_open.h"
#include "engines/conversion/library_objects.h"

namespace {

// More inputs than anyone joins: a callback that never says it has finished cannot hang us.
constexpr int32_t kMaxSources = 100000;

}  // namespace

std::vector<std::string> AskSources(Conversion& conversion, MclSourceFn callback) {
    std::vector<std::string> paths;
    std::map<size_t, std::string> replaced;
    {
        std::lock_guard<std::mutex> lock(conversion.mutex);
        if (!conversion.givenInputs.empty()) {
            return conversion.givenInputs;
        }
        replaced = conversion.replacedInputs;
    }
    if (callback == nullptr) {
        return paths;
    }
    auto source = std::make_shared<Source>();
    int32_t handle = Sources().Add(source);
    for (int32_t index = 0; index < kMaxSources && !conversion.abortRequested; ++index) {
        {
            std::lock_guard<std::mutex> lock(source->mutex);
            source->hasFile = false;
            source->finished = false;
        }
        callback(handle, index);
        std::lock_guard<std::mutex> lock(source->mutex);
        if (source->finished || !source->hasFile) {
            break;
        }
        paths.push_back(source->path);
    }
    Sources().Remove(handle);
    for (const auto& [index, path] : replaced) {
        if (index < paths.size()) {
            paths[index] = path;
        }
    }
    return paths;
}

int ReadInputFacts(const std::vector<std::string>& paths, std::vector<InputFacts>* facts,
                   AVCodecParameters** firstVideo, AVCodecParameters** firstAudio,
                   std::string* error) {
    facts->clear();
    *firstVideo = nullptr;
    *firstAudio = nullptr;
    for (const std::string& path : paths) {
        InputFacts input;
        input.path = path;
        int result = ScanMediaCached(path, &input.scan, nullptr, error);
        if (result < 0) {
            return result;
        }
        AVFormatContext* context = nullptr;
        result = OpenMediaInput(path, &context, error);
        if (result < 0) {
            return result;
        }
        int video = av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        int audio = av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (video >= 0) {
            AVStream* stream = context->streams[video];
            input.hasVideo = true;
            input.videoCodec = stream->codecpar->codec_id;
            input.videoTag = stream->codecpar->codec_tag;
            input.videoBitRate = stream->codecpar->bit_rate;
            input.pixelFormat = stream->codecpar->format;
            input.width = stream->codecpar->width;
            input.height = stream->codecpar->height;
            AVRational sar = av_guess_sample_aspect_ratio(context, stream, nullptr);
            if (sar.num > 0 && sar.den > 0 && input.width > 0 && input.height > 0) {
                av_reduce(&input.displayAspect.num, &input.displayAspect.den,
                          static_cast<int64_t>(input.width) * sar.num,
                          static_cast<int64_t>(input.height) * sar.den, 1 << 30);
            }
            input.exactFrameRate = av_guess_frame_rate(context, stream, nullptr);
            input.elementaryVideo = std::string(context->iformat->name) == "mpegvideo";
            if (facts->empty()) {
                *firstVideo = avcodec_parameters_alloc();
                if (*firstVideo != nullptr) {
                    avcodec_parameters_copy(*firstVideo, stream->codecpar);
                }
            }
        }
        if (audio >= 0) {
            AVStream* stream = context->streams[audio];
            input.hasAudio = true;
            input.audioCodec = stream->codecpar->codec_id;
            input.sampleRate = stream->codecpar->sample_rate;
            input.channels = stream->codecpar->ch_layout.nb_channels;
            input.audioBitRate = stream->codecpar->bit_rate;
            if (facts->empty()) {
                *firstAudio = avcodec_parameters_alloc();
                if (*firstAudio != nullptr) {
                    avcodec_parameters_copy(*firstAudio, stream->codecpar);
                }
            }
        }
        for (unsigned i = 0; audio >= 0 && i < context->nb_streams; ++i) {
            const AVCodecParameters* own = context->streams[i]->codecpar;
            if (static_cast<int>(i) == audio || own->codec_type != AVMEDIA_TYPE_AUDIO) {
                continue;
            }
            std::shared_ptr<AVCodecParameters> copy(
                avcodec_parameters_alloc(),
                [](AVCodecParameters* p) { avcodec_parameters_free(&p); });
            if (copy == nullptr || avcodec_parameters_copy(copy.get(), own) < 0) {
                break;  // out of memory: the further tracks are not copied
            }
            input.moreAudio.push_back(copy);
        }
        CloseMediaInput(&context);
        if (!input.hasVideo) {
            *error = "The file " + path + " has no video to join.";
            return AVERROR_STREAM_NOT_FOUND;
        }
        if (input.videoCodec == AV_CODEC_ID_MPEG2VIDEO && input.scan.formatName != "AVI" &&
            !g_mpeg2Enabled.load()) {
            *error = "The file " + path + " is MPEG-2, and MPEG-2 input is not enabled.";
            return AVERROR_PATCHWELCOME;
        }
        facts->push_back(input);
    }
    return 0;
}

int ReadInputFacts(const std::vector<std::string>& paths, std::vector<InputFacts>* facts,
                   std::string* error) {
    AVCodecParameters* firstVideo = nullptr;
    AVCodecParameters* firstAudio = nullptr;
    int result = ReadInputFacts(paths, facts, &firstVideo, &firstAudio, error);
    avcodec_parameters_free(&firstVideo);
    avcodec_parameters_free(&firstAudio);
    return result;
}
