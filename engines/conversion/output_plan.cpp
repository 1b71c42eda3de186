#include "engines/conversion/output_plan.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engines/conversion/input_warnings.h"
#include "platform/riff_format.h"

namespace {

// Rate control that players of the two program-stream standards accept.
constexpr int kVcdBufferBits = 40 * 1024 * 8;   // MPEG-1 VBV buffer of a Video CD
constexpr int kDvdBufferBits = 224 * 1024 * 8;  // MPEG-2 VBV buffer of a DVD
constexpr int64_t kDvdMaxVideoRate = 9000000;   // peak video rate of a DVD
constexpr int kVcdPacketSize = static_cast<int>(cdxa::kForm2PayloadBytes);  // one sector's payload
constexpr int64_t kVcdMuxRate = int64_t{cdxa::kSectorBytes} * 75 * 8;       // a CD at single speed
constexpr int kDvdPacketSize = 2048;
constexpr int64_t kDvdMuxRate = 10080000;
constexpr double kVcdPreload = 0.44;
constexpr double kDvdPreload = 0.5;
constexpr int kVcdMaxWidth = 352;
constexpr int kVcdMaxHeight = 288;
constexpr int kMpeg4TimeBaseLimit = 65535;

constexpr int kDefaultAviVideoKbps = 1150;
constexpr int kDefaultMpeg1VideoKbps = 1150;
constexpr int kDefaultMpeg2VideoKbps = 6000;
constexpr int kDefaultAudioKbps = 224;
constexpr int kVcdAudioRate = 44100;
constexpr int kDvdAudioRate = 48000;

// The formats a join copies packets of under the first file's headers; this module writes them
// only to encode an odd file to that first file's format.
bool PacketCopiedFormat(const OutputPlan& plan) {
    return std::strcmp(plan.muxer, "asf") == 0 || std::strcmp(plan.muxer, "rm") == 0;
}

bool SameRate(double a, double b) {
    return a > 0 && b > 0 && std::fabs(a - b) <= 1e-4 * b;
}

AVRational NearestSupportedRate(const AVCodec* codec, AVRational rate) {
    if (codec == nullptr || codec->supported_framerates == nullptr) {
        return rate;
    }
    int index = av_find_nearest_q_idx(rate, codec->supported_framerates);
    return codec->supported_framerates[index];
}

AVRational DisplayAspect(const InputFacts& input) {
    return input.displayAspect;
}

// Whether the output can hold the first input's audio as it is. A program stream takes the
// MPEG audio layers, AC-3, DTS and LPCM; a Video CD only the layer II at 44.1 kHz of its
// standard. An MPEG-2 output holds the inputs' audio at their own rate when all of them match
// (a Super Video CD's 44.1 kHz): only audio that is encoded anyway is made DVD's 48 kHz. An AVI
// file takes what has a WAVE format tag.
bool CarriesAudio(const OutputPlan& plan, const InputFacts& first) {
    if (std::strcmp(plan.muxer, "avi") == 0) {
        const AVOutputFormat* avi = av_guess_format("avi", nullptr, nullptr);
        return avi != nullptr &&
               avformat_query_codec(avi, first.audioCodec, FF_COMPLIANCE_NORMAL) == 1;
    }
    if (std::strcmp(plan.muxer, "vcd") == 0) {
        return first.audioCodec == AV_CODEC_ID_MP2 && first.sampleRate == kVcdAudioRate &&
               first.channels <= 2;
    }
    switch (first.audioCodec) {
        case AV_CODEC_ID_MP1:
        case AV_CODEC_ID_MP2:
        case AV_CODEC_ID_MP3:
        case AV_CODEC_ID_AC3:
        case AV_CODEC_ID_DTS:
        case AV_CODEC_ID_PCM_DVD:
            return true;
        default:
            return false;
    }
}

bool SameAudio(const AVCodecParameters& a, const AVCodecParameters& b) {
    return a.codec_id == b.codec_id && a.sample_rate == b.sample_rate &&
           a.ch_layout.nb_channels == b.ch_layout.nb_channels;
}

// How many of the first input's further audio tracks every input holds alike, and an AVI can
// carry, so that each is copied as its own track.
size_t MatchingMoreAudio(const std::vector<InputFacts>& inputs) {
    const InputFacts& first = inputs.front();
    const AVOutputFormat* avi = av_guess_format("avi", nullptr, nullptr);
    size_t count = first.moreAudio.size();
    for (size_t track = 0; track < count; ++track) {
        const AVCodecParameters& own = *first.moreAudio[track];
        bool carried =
            avi != nullptr && avformat_query_codec(avi, own.codec_id, FF_COMPLIANCE_NORMAL) == 1;
        for (const InputFacts& input : inputs) {
            carried = carried && track < input.moreAudio.size() &&
                      SameAudio(*input.moreAudio[track], own);
        }
        if (!carried) {
            return track;
        }
    }
    return count;
}

// An odd input encoded to join a list by copying takes the list's first input's format exactly,
// so that the output's headers, which are the first input's, describe its packets too.
void TakeFirstInputsFormat(const InputFacts& model, OutputPlan* plan) {
    plan->width = model.width;
    plan->height = model.height;
    if (model.exactFrameRate.num > 0 && model.exactFrameRate.den > 0) {
        plan->frameRate = model.exactFrameRate;
    }
    plan->videoCodec = model.videoCodec;
    plan->pixelFormat = model.pixelFormat;
    // Pictures only in decoding order: the packing of B-frames cannot differ from the first's.
    plan->maxBFrames = 0;
    if (std::strcmp(plan->muxer, "avi") == 0) {
        plan->videoTag = model.videoTag;
    }
    if (std::strcmp(plan->muxer, "avi") == 0 || PacketCopiedFormat(*plan)) {
        if (model.videoBitRate > 0) {
            plan->videoBitRate = model.videoBitRate;
        }
    }
    plan->sampleAspect = AVRational{1, 1};
    if (model.displayAspect.num > 0) {
        plan->sampleAspect =
            av_div_q(model.displayAspect, AVRational{model.width, std::max(model.height, 1)});
    }
    plan->audio = model.hasAudio;
    if (model.hasAudio) {
        plan->audioCodec = model.audioCodec;
        plan->sampleRate = model.sampleRate;
        plan->channels = model.channels;
        if (model.audioBitRate > 0) {
            plan->audioBitRate = model.audioBitRate;
        }
    }
}

}  // namespace

std::vector<std::string> LeftOutTracks(const OutputPlan& plan, const InputFacts& input) {
    std::vector<std::string> sentences;
    if (!plan.audio) {
        return sentences;
    }
    for (size_t track = plan.moreAudioTracks + plan.encodedAudioTracks;
         track < input.moreAudio.size(); ++track) {
        sentences.push_back(LeftOutTrackSentence(input.path, track + 2, *input.moreAudio[track]));
    }
    return sentences;
}

AVCodecID AviVideoCodecOf(uint32_t fourcc) {
    if (fourcc == kUncompressedRgbFourcc) {
        return AV_CODEC_ID_RAWVIDEO;
    }
    AVCodecTag const* const tags[] = {avformat_get_riff_video_tags(), nullptr};
    return av_codec_get_id(tags, fourcc);
}

AVRational FrameRateFraction(double rate) {
    if (rate <= 0.0) {
        return AVRational{25, 1};
    }
    double whole = std::round(rate);
    if (std::fabs(rate - whole) < 1e-3) {
        return AVRational{static_cast<int>(whole), 1};
    }
    double ntsc = std::round(rate * 1.001);
    if (std::fabs(rate - ntsc / 1.001) < 1e-3) {
        return AVRational{static_cast<int>(ntsc) * 1000, 1001};
    }
    return av_d2q(rate, kMpeg4TimeBaseLimit);
}

int MakeOutputPlan(const ConversionSettings& settings, const std::vector<InputFacts>& inputs,
                   OutputPlan* plan, std::string* error) {
    *plan = OutputPlan{};
    if (inputs.empty()) {
        *error = "There is no input to convert: the video source gave no file.";
        return AVERROR(EINVAL);
    }
    const InputFacts& first = inputs.front();
    plan->width = settings.width > 0 ? settings.width : first.width;
    plan->height = settings.height > 0 ? settings.height : first.height;
    // Encoders of 4:2:0 pictures want even sizes.
    plan->width += plan->width % 2;
    plan->height += plan->height % 2;
    if (plan->width <= 0 || plan->height <= 0) {
        *error = "The output picture size is not known: " + first.path + " has no video.";
        return AVERROR(EINVAL);
    }
    double rate = settings.frameRate > 0 ? settings.frameRate : first.scan.frameRate;
    plan->frameRate = FrameRateFraction(rate);

    int videoKbps = settings.videoKbps;
    if (settings.kind == OutputKind::kAvi) {
        plan->videoCodec = AviVideoCodecOf(settings.aviFourcc);
        if (plan->videoCodec == AV_CODEC_ID_NONE ||
            avcodec_find_encoder(plan->videoCodec) == nullptr) {
            char text[AV_FOURCC_MAX_STRING_SIZE] = {};
            av_fourcc_make_string(text, settings.aviFourcc);
            *error = std::string("No video encoder for the FourCC ") + text + ".";
            return AVERROR_ENCODER_NOT_FOUND;
        }
        plan->muxer = "avi";
        plan->videoTag = settings.aviFourcc;
        if (settings.aviFourcc == kUncompressedRgbFourcc) {
            plan->videoTag = 0;
        }
        plan->audioCodec = AV_CODEC_ID_MP3;
        plan->videoBitRate = 1000LL * (videoKbps > 0 ? videoKbps : kDefaultAviVideoKbps);
        plan->gopSize = 12;
    } else if (settings.kind == OutputKind::kMpeg) {
        if (settings.mpegCodec == kMpegCodec1) {
            plan->videoCodec = AV_CODEC_ID_MPEG1VIDEO;
            plan->videoBitRate = 1000LL * (videoKbps > 0 ? videoKbps : kDefaultMpeg1VideoKbps);
            bool videoCd = plan->width <= kVcdMaxWidth && plan->height <= kVcdMaxHeight &&
                           plan->videoBitRate <= 1000LL * kDefaultMpeg1VideoKbps;
            plan->muxer = videoCd ? "vcd" : "mpeg";
            plan->videoBufferBits = kVcdBufferBits;
            if (videoCd) {
                // A Video CD's video runs at a constant rate.
                plan->videoMinRate = plan->videoBitRate;
                plan->videoMaxRate = plan->videoBitRate;
                plan->packetSize = kVcdPacketSize;
                plan->muxRate = kVcdMuxRate;
                plan->preloadSeconds = kVcdPreload;
            }
        } else if (settings.mpegCodec == kMpegCodec2) {
            if (!g_mpeg2Enabled.load()) {
                *error = "MPEG-2 output was asked for, but MPEG-2 is not enabled.";
                return AVERROR(EINVAL);
            }
            plan->videoCodec = AV_CODEC_ID_MPEG2VIDEO;
            plan->muxer = "dvd";
            plan->videoBitRate = 1000LL * (videoKbps > 0 ? videoKbps : kDefaultMpeg2VideoKbps);
            plan->videoMaxRate = std::max(kDvdMaxVideoRate, plan->videoBitRate);
            plan->videoBufferBits = kDvdBufferBits;
            plan->packetSize = kDvdPacketSize;
            plan->muxRate = kDvdMuxRate;
            plan->preloadSeconds = kDvdPreload;
        } else {
            *error = "Unknown MPEG video codec number " + std::to_string(settings.mpegCodec) + ".";
            return AVERROR(EINVAL);
        }
        plan->audioCodec = AV_CODEC_ID_MP2;
        plan->frameRate =
            NearestSupportedRate(avcodec_find_encoder(plan->videoCodec), plan->frameRate);
        // A group of pictures of about half a second, as both standards' players expect.
        plan->gopSize = av_q2d(plan->frameRate) > 26 ? 18 : 15;
    } else if (settings.kind == OutputKind::kAsf || settings.kind == OutputKind::kRealMedia) {
        if (settings.matchFirst == nullptr) {
            *error = "Windows Media and RealMedia files are written only to match a first file.";
            return AVERROR(EINVAL);
        }
        plan->muxer = settings.kind == OutputKind::kAsf ? "asf" : "rm";
        plan->videoBitRate = 1000LL * (videoKbps > 0 ? videoKbps : kDefaultAviVideoKbps);
        // The first file's own spacing of key pictures, else one every two seconds or so: a
        // seek lands near where it was asked for.
        plan->gopSize =
            settings.keyInterval > 0
                ? settings.keyInterval
                : std::max(1, static_cast<int>(std::lround(2 * av_q2d(plan->frameRate))));
    } else {
        *error = "No output format was set: choose an AVI video codec or an MPEG codec.";
        return AVERROR(EINVAL);
    }
    if (settings.videoMinKbps > 0) {
        plan->videoMinRate = 1000LL * settings.videoMinKbps;
    }
    if (settings.videoMaxKbps > 0) {
        plan->videoMaxRate = 1000LL * settings.videoMaxKbps;
    }
    plan->audioBitRate = 1000LL * (settings.audioKbps > 0 ? settings.audioKbps : kDefaultAudioKbps);
    plan->sampleRate = settings.audioRate > 0 ? settings.audioRate : 44100;
    plan->channels = settings.audioChannels > 0 ? settings.audioChannels : 2;
    // A DVD knows no 44.1 kHz: its players refuse such audio, so a DVD output is encoded at 48.
    if (std::strcmp(plan->muxer, "dvd") == 0) {
        plan->sampleRate = kDvdAudioRate;
    }
    const InputFacts* model = settings.matchFirst.get();
    if (model != nullptr) {
        TakeFirstInputsFormat(*model, plan);
    }
    if (avcodec_find_encoder(plan->audioCodec) == nullptr) {
        *error = std::string("No audio encoder for ") + avcodec_get_name(plan->audioCodec) + ".";
        return AVERROR_ENCODER_NOT_FOUND;
    }

    // The output keeps the first input's shape when it keeps its size.
    AVRational firstAspect = DisplayAspect(first);
    if (model == nullptr && firstAspect.num > 0 && plan->width == first.width &&
        plan->height == first.height) {
        plan->sampleAspect = av_div_q(firstAspect, AVRational{plan->width, plan->height});
    }
    AVRational outAspect = av_mul_q(plan->sampleAspect, AVRational{plan->width, plan->height});

    // A stream is copied only when every input's stream already is what the output asks for.
    double outRate = av_q2d(plan->frameRate);
    plan->copyVideo = true;
    plan->copyAudio = true;
    for (const InputFacts& input : inputs) {
        AVRational aspect = DisplayAspect(input);
        if (aspect.num == 0) {
            aspect = AVRational{input.width, std::max(input.height, 1)};
        }
        if (!input.hasVideo || input.videoCodec != plan->videoCodec || input.width != plan->width ||
            input.height != plan->height || !SameRate(input.scan.frameRate, outRate) ||
            av_cmp_q(aspect, outAspect) != 0) {
            plan->copyVideo = false;
        }
        // A bare stream times only some of its pictures, and its header may give no bit rate
        // (the "variable" value): copied, the output's timing and mux rate would be guesses.
        if (input.elementaryVideo) {
            plan->copyVideo = false;
        }
        // The audio is copied when every input's is the first input's kind, whatever the
        // output format would encode: nothing is lost, and nothing to re-encode.
        const InputFacts& sound = model != nullptr ? *model : first;
        if (!input.hasAudio || input.audioCodec != sound.audioCodec ||
            input.sampleRate != sound.sampleRate || input.channels != sound.channels) {
            plan->copyAudio = false;
        }
    }
    if (plan->copyAudio && !CarriesAudio(*plan, model != nullptr ? *model : first)) {
        plan->copyAudio = false;
    }
    // Such a file is encoded because its codec data is not the first's, which the fields above
    // do not show: nothing of it is copied.
    if (PacketCopiedFormat(*plan)) {
        plan->copyVideo = false;
        plan->copyAudio = false;
    }
    if (model == nullptr) {
        plan->audio = std::any_of(inputs.begin(), inputs.end(),
                                  [](const InputFacts& input) { return input.hasAudio; });
    }
    if (plan->copyAudio && std::strcmp(plan->muxer, "avi") == 0) {
        plan->moreAudioTracks = MatchingMoreAudio(inputs);
    }
    // The tracks after those are encoded, in the format the sound is encoded in when it is not
    // copied.
    plan->encodedAudioCodec = plan->audioCodec;
    plan->encodedSampleRate = plan->sampleRate;
    plan->encodedChannels = plan->channels;
    // Matching a first input, the output has its one track: further ones are left out, told.
    if (model == nullptr && plan->audio && std::strcmp(plan->muxer, "avi") == 0) {
        for (const InputFacts& input : inputs) {
            if (input.moreAudio.size() > plan->moreAudioTracks) {
                plan->encodedAudioTracks = std::max(plan->encodedAudioTracks,
                                                    input.moreAudio.size() - plan->moreAudioTracks);
            }
        }
    }
    if (plan->copyAudio && model == nullptr) {
        plan->audioCodec = first.audioCodec;
        plan->sampleRate = first.sampleRate;
        plan->channels = first.channels;
    }
    // A copied stream keeps its own timing exactly.
    if (model == nullptr && plan->copyVideo && first.exactFrameRate.num > 0) {
        plan->frameRate = first.exactFrameRate;
    }
    return 0;
}
