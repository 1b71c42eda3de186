#include "engines/conversion/conform_plan.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>

namespace {

bool Copies(const OutputPlan& plan) {
    return plan.copyVideo && (plan.copyAudio || !plan.audio) && plan.encodedAudioTracks == 0;
}

}  // namespace

ConformPlan PlanConform(const ConversionSettings& settings, const std::vector<InputFacts>& inputs) {
    ConformPlan conform;
    if (inputs.size() < 2 || settings.matchFirst != nullptr) {
        return conform;
    }
    std::string ignored;
    OutputPlan whole;
    if (MakeOutputPlan(settings, inputs, &whole, &ignored) < 0 || Copies(whole)) {
        return conform;  // copied whole, or refused in the plan's own words later
    }
    const InputFacts& first = inputs.front();
    OutputPlan alone;
    if (MakeOutputPlan(settings, {first}, &alone, &ignored) < 0 || !Copies(alone) ||
        !first.moreAudio.empty()) {
        return conform;  // the first input itself is encoded: so is every other
    }
    // An odd input can only be made the first's format where FFmpeg encodes it.
    if (avcodec_find_encoder(first.videoCodec) == nullptr ||
        (first.hasAudio && avcodec_find_encoder(first.audioCodec) == nullptr)) {
        return conform;
    }
    conform.encode.assign(inputs.size(), false);
    for (size_t i = 1; i < inputs.size(); ++i) {
        const InputFacts& input = inputs[i];
        // A first input without sound would take the others' away: the list is encoded whole.
        if (!first.hasAudio && input.hasAudio) {
            return ConformPlan{};
        }
        OutputPlan pair;
        if (MakeOutputPlan(settings, {first, input}, &pair, &ignored) < 0) {
            return ConformPlan{};
        }
        conform.encode[i] = !Copies(pair);
    }
    conform.applies = std::any_of(conform.encode.begin(), conform.encode.end(),
                                  [](bool encode) { return encode; });
    if (!conform.applies) {
        return ConformPlan{};
    }
    return conform;
}
