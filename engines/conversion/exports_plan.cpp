// MclPlanJoin: what a conversion would do before it runs.
#include <cstring>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
}

#include "engines/conversion/conform_plan.h"
#include "engines/conversion/conversion.h"
#include "engines/conversion/ffmpeg_loader.h"
#include "engines/conversion/input_sources.h"
#include "engines/conversion/library_objects.h"
#include "engines/conversion/mcl.h"
#include "engines/conversion/mcl_exports.h"
#include "engines/conversion/output_plan.h"

namespace {

void CopyName(char (&slot)[kMclPlanCodecBytes], AVCodecID codec) {
    std::memset(slot, 0, sizeof slot);
    if (codec != AV_CODEC_ID_NONE) {
        std::strncpy(slot, avcodec_get_name(codec), sizeof slot - 1);
    }
}

}  // namespace

int32_t MclPlanJoin(MclHandle handle, MclPlanInput* inputs, int32_t capacity,
                    MclPlanResult* result) {
    std::shared_ptr<Conversion> conversion = Conversions().Find(handle);
    if (conversion == nullptr || result == nullptr || (inputs == nullptr && capacity > 0)) {
        SetLastError(AVERROR(EINVAL), "There is no conversion with this handle.");
        return AVERROR(EINVAL);
    }
    // A plan reads the inputs' streams and asks for encoders: FFmpeg's work.
    std::string loadError;
    if (!EnsureFfmpeg(&loadError)) {
        SetLastError(AVERROR(ENOSYS), loadError);
        return AVERROR(ENOSYS);
    }
    ConversionSettings settings;
    MclSourceFn videoSource = nullptr;
    {
        std::lock_guard<std::mutex> lock(conversion->mutex);
        settings = conversion->settings;
        videoSource = conversion->callbacks.videoSource;
    }
    std::vector<std::string> paths = AskSources(*conversion, videoSource);
    std::vector<InputFacts> facts;
    std::string error;
    int code = ReadInputFacts(paths, &facts, &error);
    OutputPlan plan;
    if (code >= 0) {
        code = MakeOutputPlan(settings, facts, &plan, &error);
    }
    if (code < 0) {
        SetLastError(code, error);
        return code;
    }
    ConformPlan conform = PlanConform(settings, facts);
    for (size_t i = 0; i < facts.size() && i < static_cast<size_t>(capacity); ++i) {
        const InputFacts& in = facts[i];
        MclPlanInput& out = inputs[i];
        out = MclPlanInput{};
        CopyName(out.videoCodec, in.hasVideo ? in.videoCodec : AV_CODEC_ID_NONE);
        out.width = in.width;
        out.height = in.height;
        AVRational rate = in.exactFrameRate;
        if (rate.num > 0 && rate.den > 0) {
            av_reduce(&out.rateNum, &out.rateDen, rate.num, rate.den, INT32_MAX);
        }
        CopyName(out.audioCodec, in.hasAudio ? in.audioCodec : AV_CODEC_ID_NONE);
        out.sampleRate = in.sampleRate;
        out.channels = in.channels;
        out.encode = conform.applies && conform.encode[i] ? 1 : 0;
    }
    *result = MclPlanResult{};
    if (conform.applies) {
        // The first input goes as it is, and every other as it or as encoded to its format.
        std::string ignored;
        MakeOutputPlan(settings, {facts.front()}, &plan, &ignored);
        for (bool encoded : conform.encode) {
            result->encodedInputs += encoded ? 1 : 0;
        }
    }
    result->copyVideo = plan.copyVideo ? 1 : 0;
    result->copyAudio = plan.copyAudio || !plan.audio ? 1 : 0;  // no sound: none to encode
    result->encodedAudioTracks = static_cast<int32_t>(plan.encodedAudioTracks);
    CopyName(result->videoCodec, plan.videoCodec);
    CopyName(result->audioCodec, plan.audioCodec);
    SetLastError(0, "");
    return static_cast<int32_t>(facts.size());
}
