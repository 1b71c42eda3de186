#include "engines/conversion/match_encode.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "engines/conversion/audio_stage.h"
#include "engines/conversion/av_error.h"
#include "engines/conversion/av_owners.h"
#include "engines/conversion/converter.h"
#include "engines/conversion/input_open.h"
#include "engines/conversion/output_file.h"
#include "engines/conversion/output_plan.h"
#include "engines/conversion/stream_decoder.h"
#include "engines/conversion/video_stage.h"

namespace {

// WMV2 codec data begins, most significant bit first, with the frame rate (5 bits) and the bit
// rate in 1024 bit/s (11 bits) its encoder was set to: encoding at the same two writes the same
// bytes.
constexpr int kWmv2RateShift = 3;
constexpr int kWmv2BitRateHighMask = 0x07;
constexpr int64_t kWmv2BitRateUnit = 1024;

constexpr size_t kProbeBufferBytes = 4096;
// Sound alone is counted in ticks of this rate, as pictures would be.
constexpr double kSoundTicksPerSecond = 25;

// The codecs of each format that an FFmpeg encoder writes with the codec data the first file's
// own encoder wrote (the only ones of the two formats FFmpeg can encode at all).
bool EncodableHere(OutputKind kind, AVCodecID codec) {
    static constexpr AVCodecID kAsf[] = {AV_CODEC_ID_WMV1, AV_CODEC_ID_WMV2, AV_CODEC_ID_MSMPEG4V3,
                                         AV_CODEC_ID_WMAV1, AV_CODEC_ID_WMAV2};
    static constexpr AVCodecID kRealMedia[] = {AV_CODEC_ID_RV10, AV_CODEC_ID_RV20, AV_CODEC_ID_AC3};
    if (kind == OutputKind::kAsf) {
        return std::find(std::begin(kAsf), std::end(kAsf), codec) != std::end(kAsf);
    }
    return kind == OutputKind::kRealMedia &&
           std::find(std::begin(kRealMedia), std::end(kRealMedia), codec) != std::end(kRealMedia);
}

bool EncoderTakesRate(AVCodecID codec, int sampleRate) {
    const AVCodec* encoder = avcodec_find_encoder(codec);
    if (encoder == nullptr || encoder->supported_samplerates == nullptr) {
        return encoder != nullptr;
    }
    for (const int* rate = encoder->supported_samplerates; *rate != 0; ++rate) {
        if (*rate == sampleRate) {
            return true;
        }
    }
    return false;
}

std::string CodecName(AVCodecID codec) {
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec);
    if (descriptor != nullptr && descriptor->long_name != nullptr) {
        return descriptor->long_name;
    }
    return avcodec_get_name(codec);
}

// A file's streams as the join sees them: one video, one sound, and whatever else.
struct Streams {
    int video = -1;
    int audio = -1;
    int videoCount = 0;
    int audioCount = 0;
    int otherCount = 0;
};

Streams FindStreams(const AVFormatContext* context) {
    Streams found;
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream* stream = context->streams[i];
        if ((stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0) {
            continue;  // a cover picture, carried in the header
        }
        switch (stream->codecpar->codec_type) {
            case AVMEDIA_TYPE_VIDEO:
                found.video = found.videoCount++ == 0 ? static_cast<int>(i) : found.video;
                break;
            case AVMEDIA_TYPE_AUDIO:
                found.audio = found.audioCount++ == 0 ? static_cast<int>(i) : found.audio;
                break;
            default:
                ++found.otherCount;
        }
    }
    return found;
}

// The first file's picture as the target of an encode: its codec, size, shape and rates.
void TakeVideo(AVFormatContext* context, AVStream* video, InputFacts* model) {
    const AVCodecParameters& picture = *video->codecpar;
    model->hasVideo = true;
    model->videoCodec = picture.codec_id;
    model->width = picture.width;
    model->height = picture.height;
    model->videoBitRate = picture.bit_rate;
    model->exactFrameRate = av_guess_frame_rate(context, video, nullptr);
    AVRational sar = av_guess_sample_aspect_ratio(context, video, nullptr);
    if (sar.num > 0 && sar.den > 0 && picture.width > 0 && picture.height > 0) {
        av_reduce(&model->displayAspect.num, &model->displayAspect.den,
                  static_cast<int64_t>(picture.width) * sar.num,
                  static_cast<int64_t>(picture.height) * sar.den, 1 << 30);
    }
    if (picture.codec_id == AV_CODEC_ID_WMV2 && picture.extradata_size >= 2) {
        int rate = picture.extradata[0] >> kWmv2RateShift;
        int64_t units = (picture.extradata[0] & kWmv2BitRateHighMask) << 8 | picture.extradata[1];
        if (rate > 0) {
            model->exactFrameRate = AVRational{rate, 1};
        }
        if (units > 0) {
            model->videoBitRate = units * kWmv2BitRateUnit;
        }
    }
}

// The first file's streams as the target of an encode: its codecs, picture and rates.
std::shared_ptr<InputFacts> ModelOf(AVFormatContext* context, const Streams& streams,
                                    const std::string& path) {
    auto model = std::make_shared<InputFacts>();
    model->path = path;
    if (streams.video >= 0) {
        TakeVideo(context, context->streams[streams.video], model.get());
    }
    if (streams.audio >= 0) {
        const AVCodecParameters& sound = *context->streams[streams.audio]->codecpar;
        model->hasAudio = true;
        model->audioCodec = sound.codec_id;
        model->sampleRate = sound.sample_rate;
        model->channels = sound.ch_layout.nb_channels;
        model->audioBitRate = sound.bit_rate;
    }
    return model;
}

ConversionSettings SettingsFor(const MatchTarget& target) {
    ConversionSettings settings;
    settings.kind = target.kind;
    settings.matchFirst = target.model;
    settings.width = target.model->width;
    settings.height = target.model->height;
    settings.frameRate = target.frameRate;
    settings.keepDuration = true;
    settings.keyInterval = target.keyInterval;
    return settings;
}

// Whether the first packets of each of `streams` decode: an odd file whose codec data its own
// frames do not follow fails here rather than halfway through the join. Empty, or the reason.
std::string FirstPacketsDecodeError(AVFormatContext* context, const Streams& streams,
                                    const std::string& path) {
    constexpr int kPacketsTried = 200;
    StreamDecoder decoders[2];
    const int indexes[2] = {streams.video, streams.audio};
    bool decoded[2] = {streams.video < 0, streams.audio < 0};
    std::string error;
    for (int k = 0; k < 2; ++k) {
        if (indexes[k] >= 0 && decoders[k].Open(context->streams[indexes[k]], path, &error) < 0) {
            return error;
        }
    }
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    for (int n = 0; n < kPacketsTried && !(decoded[0] && decoded[1]) && packet && frame; ++n) {
        if (av_read_frame(context, packet.get()) < 0) {
            break;
        }
        for (int k = 0; k < 2; ++k) {
            if (packet->stream_index != indexes[k] || decoded[k]) {
                continue;
            }
            int result = decoders[k].Send(packet.get());
            while (result >= 0) {
                result = decoders[k].Receive(frame.get());
                decoded[k] = decoded[k] || result >= 0;
            }
            if (result < 0 && result != AVERROR(EAGAIN) && result != AVERROR_EOF && !decoded[k]) {
                return AvErrorText(
                    std::string("its ") + (k == 0 ? "video" : "sound") + " cannot be decoded",
                    result);
            }
        }
        av_packet_unref(packet.get());
    }
    return {};
}

// The plan of an encode to `target`: a file with pictures is converted as the list's other
// formats are; sound alone goes to the first file's sound format and nothing else.
int MakePlan(const MatchTarget& target, OutputPlan* plan, std::string* error) {
    if (target.model->hasVideo) {
        return MakeOutputPlan(SettingsFor(target), {*target.model}, plan, error);
    }
    *plan = OutputPlan{};
    plan->muxer = target.kind == OutputKind::kAsf ? "asf" : "rm";
    plan->audio = true;
    plan->audioCodec = target.model->audioCodec;
    plan->sampleRate = target.model->sampleRate;
    plan->channels = target.model->channels;
    plan->audioBitRate = target.model->audioBitRate;
    return 0;
}

// Frames from the first key picture of the stream `video` to the next, among the file's first
// packets; 0 when there are not two.
int KeyInterval(AVFormatContext* context, int video) {
    constexpr int kPacketsRead = 2000;
    PacketPtr packet(av_packet_alloc());
    int frames = 0;
    bool started = false;
    for (int n = 0; packet != nullptr && n < kPacketsRead; ++n) {
        if (av_read_frame(context, packet.get()) < 0) {
            break;
        }
        bool picture = packet->stream_index == video;
        bool key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
        av_packet_unref(packet.get());
        if (!picture) {
            continue;
        }
        if (started && key) {
            return frames;
        }
        started = started || key;
        frames += started ? 1 : 0;
    }
    return 0;
}

// Bytes read back by a demuxer.
struct MemoryFile {
    const std::vector<uint8_t>* bytes = nullptr;
    size_t at = 0;
};

int ReadMemory(void* opaque, uint8_t* buffer, int size) {
    auto* file = static_cast<MemoryFile*>(opaque);
    size_t left = file->bytes->size() - file->at;
    size_t count = std::min(left, static_cast<size_t>(std::max(size, 0)));
    if (count == 0) {
        return AVERROR_EOF;
    }
    std::memcpy(buffer, file->bytes->data() + file->at, count);
    file->at += count;
    return static_cast<int>(count);
}

int64_t SeekMemory(void* opaque, int64_t offset, int whence) {
    auto* file = static_cast<MemoryFile*>(opaque);
    auto size = static_cast<int64_t>(file->bytes->size());
    if ((whence & AVSEEK_SIZE) != 0) {
        return size;
    }
    int64_t base = whence == SEEK_CUR   ? static_cast<int64_t>(file->at)
                   : whence == SEEK_END ? size
                                        : 0;
    int64_t target = base + offset;
    if (target < 0 || target > size) {
        return AVERROR(EINVAL);
    }
    file->at = static_cast<size_t>(target);
    return target;
}

// The header an encode to `plan` writes, made in memory with the encoders set up as the encode
// sets them up.
int WriteTrialHeader(const OutputPlan& plan, std::vector<uint8_t>* bytes, std::string* error) {
    AVFormatContext* output = nullptr;
    int result = avformat_alloc_output_context2(&output, nullptr, plan.muxer, nullptr);
    if (result < 0 || output == nullptr) {
        *error = AvErrorText(std::string("Cannot write the ") + plan.muxer + " format", result);
        return result < 0 ? result : AVERROR(ENOMEM);
    }
    bool globalHeader = (output->oformat->flags & AVFMT_GLOBALHEADER) != 0;
    VideoStage video;
    AudioStage audio;
    bool hasVideo = plan.videoCodec != AV_CODEC_ID_NONE;
    AVStream* pictures = hasVideo ? avformat_new_stream(output, nullptr) : nullptr;
    AVStream* sound = plan.audio ? avformat_new_stream(output, nullptr) : nullptr;
    result =
        (hasVideo && pictures == nullptr) || (plan.audio && sound == nullptr) ? AVERROR(ENOMEM) : 0;
    if (result >= 0 && hasVideo) {
        result = video.Open(plan, pictures, globalHeader, error);
    }
    if (result >= 0 && sound != nullptr) {
        result = audio.Open(plan, sound, globalHeader, error);
    }
    if (result >= 0) {
        result = avio_open_dyn_buf(&output->pb);
    }
    if (result >= 0) {
        result = avformat_write_header(output, nullptr);
        if (result < 0) {
            *error = AvErrorText("Cannot write the header of an encode", result);
        }
    }
    if (output->pb != nullptr) {
        uint8_t* written = nullptr;
        int size = avio_close_dyn_buf(output->pb, &written);
        output->pb = nullptr;
        if (written != nullptr && size > 0) {
            bytes->assign(written, written + size);
        }
        av_free(written);
    }
    avformat_free_context(output);
    return result;
}

// What differs between a stream of the first file and the same stream of the trial header, as
// the join compares them; empty when nothing does.
std::string Difference(const AVCodecParameters& own, const AVCodecParameters& written) {
    if (own.codec_id != written.codec_id || own.codec_tag != written.codec_tag) {
        return "a different codec tag";
    }
    if (own.codec_type == AVMEDIA_TYPE_VIDEO &&
        (own.width != written.width || own.height != written.height)) {
        return "a different picture size";
    }
    if (own.codec_type == AVMEDIA_TYPE_AUDIO &&
        (own.sample_rate != written.sample_rate ||
         own.ch_layout.nb_channels != written.ch_layout.nb_channels ||
         own.block_align != written.block_align || own.bit_rate != written.bit_rate)) {
        return "a different block size or bit rate";
    }
    if (own.extradata_size != written.extradata_size ||
        (own.extradata_size > 0 && std::memcmp(own.extradata, written.extradata,
                                               static_cast<size_t>(own.extradata_size)) != 0)) {
        return "different codec data";
    }
    return {};
}

// Compares the first file's stream headers, read as they are written, with the trial's: the
// reason they differ, or empty.
std::string CompareWithTrial(const std::string& firstPath, const OutputPlan& plan,
                             const std::vector<uint8_t>& trial) {
    AVFormatContext* own = nullptr;
    if (avformat_open_input(&own, firstPath.c_str(), av_find_input_format(plan.muxer), nullptr) <
        0) {
        return "its header cannot be read again";
    }
    MemoryFile file{&trial, 0};
    auto* buffer = static_cast<unsigned char*>(av_malloc(kProbeBufferBytes));
    AVFormatContext* written = avformat_alloc_context();
    AVIOContext* io = buffer != nullptr ? avio_alloc_context(buffer, kProbeBufferBytes, 0, &file,
                                                             ReadMemory, nullptr, SeekMemory)
                                        : nullptr;
    std::string reason;
    if (written == nullptr || io == nullptr) {
        av_free(buffer);
        avformat_free_context(written);
        written = nullptr;
        reason = "out of memory";
    } else {
        written->pb = io;
        written->flags |= AVFMT_FLAG_CUSTOM_IO;
        if (avformat_open_input(&written, nullptr, av_find_input_format(plan.muxer), nullptr) < 0) {
            reason = "the encoder's own header cannot be read back";
        }
    }
    if (reason.empty()) {
        Streams mine = FindStreams(own);
        Streams theirs = FindStreams(written);
        if ((mine.video < 0) != (theirs.video < 0) || (mine.audio < 0) != (theirs.audio < 0)) {
            reason = "the encoder here writes other streams than the first file's";
        } else {
            std::string video = mine.video < 0
                                    ? std::string()
                                    : Difference(*own->streams[mine.video]->codecpar,
                                                 *written->streams[theirs.video]->codecpar);
            std::string audio = mine.audio < 0
                                    ? std::string()
                                    : Difference(*own->streams[mine.audio]->codecpar,
                                                 *written->streams[theirs.audio]->codecpar);
            if (!video.empty()) {
                reason = "the encoder here writes " + CodecName(plan.videoCodec) + " with " +
                         video + " from the first file's";
            } else if (!audio.empty()) {
                reason = "the encoder here writes " + CodecName(plan.audioCodec) + " with " +
                         audio + " from the first file's";
            }
        }
    }
    avformat_close_input(&own);
    if (written != nullptr) {
        avformat_close_input(&written);
    }
    if (io != nullptr) {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
    return reason;
}

// Sound alone: the odd file's sound decoded and encoded to the first file's sound format, as
// long as the file says it is.
int EncodeSound(Conversion& conversion, const MatchTarget& target, const std::string& oddPath,
                const std::string& outputPath, std::string* error) {
    OutputPlan plan;
    int result = MakePlan(target, &plan, error);
    MediaInput opened;
    if (result >= 0) {
        result = OpenMediaInput(oddPath, &opened.context, error);
    }
    AVFormatContext* input = opened.context;
    if (result < 0) {
        return result;
    }
    Streams streams = FindStreams(input);
    if (streams.audio < 0) {
        *error = "The file " + oddPath + " has no sound to encode.";
        return AVERROR_STREAM_NOT_FOUND;
    }
    AVStream* in = input->streams[streams.audio];
    StreamDecoder decoder;
    OutputFile output;
    AudioStage stage;
    AVStream* out = nullptr;
    result = decoder.Open(in, oddPath, error);
    if (result >= 0) {
        result = output.Create(outputPath, plan.muxer, error);
    }
    if (result >= 0) {
        out = output.AddStream();
        result = out != nullptr ? 0 : AVERROR(ENOMEM);
    }
    if (result >= 0) {
        bool globalHeader = (output.Context()->oformat->flags & AVFMT_GLOBALHEADER) != 0;
        result = stage.Open(plan, out, globalHeader, error);
    }
    if (result < 0) {
        return result;
    }
    stage.SetSinks(
        [&](AVPacket* packet, std::string* e) {
            packet->stream_index = out->index;
            av_packet_rescale_ts(packet, stage.Encoder()->time_base, out->time_base);
            return output.Write(packet, e);
        },
        [](int64_t, int) {});
    result = output.Start(nullptr, error);

    double seconds =
        in->duration != AV_NOPTS_VALUE
            ? static_cast<double>(in->duration) * av_q2d(in->time_base)
            : static_cast<double>(std::max<int64_t>(input->duration, 0)) / AV_TIME_BASE;
    stage.BeginInput(std::llround(seconds * plan.sampleRate));
    // The sound starts with its first decoded block: a decoder's first blocks may carry times
    // past the stream's start (its delay, as FFmpeg's WMA decoder gives them), which is no
    // silence of the file's, and sound alone has nothing else to keep time with.
    int64_t start = AV_NOPTS_VALUE;
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (packet == nullptr || frame == nullptr) {
        return AVERROR(ENOMEM);
    }
    auto takeBlocks = [&]() {
        while (decoder.Receive(frame.get()) >= 0) {
            int64_t time = frame->best_effort_timestamp;
            if (start == AV_NOPTS_VALUE) {
                start = time;
            }
            double from = time != AV_NOPTS_VALUE
                              ? static_cast<double>(time - start) * av_q2d(in->time_base)
                              : 0.0;
            int added = stage.AddBlock(frame.get(), from, error);
            av_frame_unref(frame.get());
            if (added < 0) {
                return added;
            }
        }
        return 0;
    };
    auto ticks = [&] {
        return std::llround(static_cast<double>(stage.SamplesOut()) / plan.sampleRate *
                            kSoundTicksPerSecond);
    };
    while (result >= 0 && av_read_frame(input, packet.get()) >= 0) {
        if (conversion.abortRequested.load()) {
            *error = "The conversion was stopped.";
            return AVERROR_EXIT;
        }
        if (packet->stream_index == in->index) {
            int sent = decoder.Send(packet.get());
            // A damaged packet is left out, as the join of the other kinds leaves it out.
            if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_INVALIDDATA) {
                *error = AvErrorText("Cannot decode the sound of " + oddPath, sent);
                result = sent;
            } else {
                result = takeBlocks();
            }
            conversion.ReportProgress(kStatusProgress, ticks(), stage.SamplesOut());
        }
        av_packet_unref(packet.get());
    }
    if (result >= 0) {
        decoder.Send(nullptr);
        result = takeBlocks();
    }
    if (result >= 0) {
        result = stage.EndInput(error);
    }
    if (result >= 0) {
        result = stage.Flush(error);
    }
    if (result >= 0) {
        result = output.Finish(error);
    }
    if (result >= 0) {
        conversion.ReportProgress(kStatusFinished, ticks(), stage.SamplesOut());
    }
    return result;
}

}  // namespace

MatchAnswer PlanMatchEncode(const std::string& firstPath, const std::string& oddPath,
                            MatchTarget* target, std::string* reason) {
    MediaInput firstInput;
    if (OpenMediaInput(firstPath, &firstInput.context, reason) < 0) {
        return MatchAnswer::kUnreadable;
    }
    AVFormatContext* first = firstInput.context;
    std::string format = first->iformat->name;
    target->kind = format == "asf"  ? OutputKind::kAsf
                   : format == "rm" ? OutputKind::kRealMedia
                                    : OutputKind::kNone;
    if (target->kind == OutputKind::kNone) {
        *reason = "only a Windows Media or RealMedia first file is matched this way";
        return MatchAnswer::kNot;
    }
    Streams streams = FindStreams(first);
    if (streams.videoCount > 1 || streams.audioCount > 1 || streams.otherCount > 0 ||
        streams.videoCount + streams.audioCount == 0) {
        *reason = "the first file holds " + std::to_string(first->nb_streams) +
                  " streams, and only a first file of one video and at most one sound stream, or "
                  "of one sound stream alone, is matched here";
        return MatchAnswer::kNot;
    }
    AVCodecID videoCodec =
        streams.video >= 0 ? first->streams[streams.video]->codecpar->codec_id : AV_CODEC_ID_NONE;
    if (streams.video >= 0 && !EncodableHere(target->kind, videoCodec)) {
        *reason =
            "the first file's video is " + CodecName(videoCodec) + ", which cannot be encoded here";
        return MatchAnswer::kNot;
    }
    if (streams.audio >= 0) {
        const AVCodecParameters& sound = *first->streams[streams.audio]->codecpar;
        if (!EncodableHere(target->kind, sound.codec_id)) {
            *reason = "the first file's sound is " + CodecName(sound.codec_id) +
                      ", which cannot be encoded here";
            return MatchAnswer::kNot;
        }
        if (!EncoderTakesRate(sound.codec_id, sound.sample_rate)) {
            *reason = "the first file's sound is " + CodecName(sound.codec_id) + " at " +
                      std::to_string(sound.sample_rate) +
                      " Hz, which the encoder here does not write";
            return MatchAnswer::kNot;
        }
    }
    target->model = ModelOf(first, streams, firstPath);
    target->keyInterval = streams.video >= 0 ? KeyInterval(first, streams.video) : 0;
    target->frameRate =
        streams.video >= 0 ? av_q2d(target->model->exactFrameRate) : kSoundTicksPerSecond;
    if (target->frameRate <= 0) {
        *reason = "the first file's frame rate is not known";
        return MatchAnswer::kNot;
    }

    // The odd file only has to be decodable: it must have pictures, and both its streams a
    // decoder.
    MediaInput oddInput;
    if (OpenMediaInput(oddPath, &oddInput.context, reason) < 0) {
        return MatchAnswer::kUnreadable;
    }
    AVFormatContext* odd = oddInput.context;
    Streams oddStreams = FindStreams(odd);
    if (streams.video >= 0 && oddStreams.video < 0) {
        *reason = "it has no pictures to encode";
        return MatchAnswer::kNot;
    }
    if (streams.video < 0 && (oddStreams.video >= 0 || oddStreams.audio < 0)) {
        *reason = oddStreams.audio < 0 ? "it has no sound to encode"
                                       : "it has pictures, and the first file holds sound alone";
        return MatchAnswer::kNot;
    }
    for (int index : {oddStreams.video, oddStreams.audio}) {
        if (index >= 0 &&
            avcodec_find_decoder(odd->streams[index]->codecpar->codec_id) == nullptr) {
            const AVCodecParameters& own = *odd->streams[index]->codecpar;
            *reason = std::string("its ") + (index == oddStreams.video ? "video" : "sound") +
                      " is " + CodecName(own.codec_id) + ", which cannot be decoded here";
            return MatchAnswer::kNot;
        }
    }

    if (std::string failure = FirstPacketsDecodeError(odd, oddStreams, oddPath); !failure.empty()) {
        *reason = failure;
        return MatchAnswer::kNot;
    }

    OutputPlan plan;
    std::string error;
    if (MakePlan(*target, &plan, &error) < 0) {
        *reason = error;
        return MatchAnswer::kNot;
    }
    std::vector<uint8_t> trial;
    if (WriteTrialHeader(plan, &trial, &error) < 0) {
        *reason = error;
        return MatchAnswer::kNot;
    }
    if (std::string difference = CompareWithTrial(firstPath, plan, trial); !difference.empty()) {
        *reason = difference;
        return MatchAnswer::kNot;
    }
    return MatchAnswer::kEncodable;
}

int EncodeToMatch(Conversion& conversion, const std::string& firstPath, const std::string& oddPath,
                  const std::string& outputPath, std::string* error) {
    MatchTarget target;
    std::string reason;
    switch (PlanMatchEncode(firstPath, oddPath, &target, &reason)) {
        case MatchAnswer::kEncodable:
            break;
        case MatchAnswer::kNot:
            *error = "Cannot encode " + oddPath + " to match " + firstPath + ": " + reason + ".";
            return AVERROR(EINVAL);
        case MatchAnswer::kUnreadable:
            *error = reason;
            return AVERROR_INVALIDDATA;
    }
    if (!target.model->hasVideo) {
        return EncodeSound(conversion, target, oddPath, outputPath, error);
    }
    {
        std::lock_guard<std::mutex> lock(conversion.mutex);
        conversion.settings = SettingsFor(target);
        conversion.settings.outputPath = outputPath;
        conversion.givenInputs = {oddPath};
    }
    return RunConversion(conversion, error);
}
