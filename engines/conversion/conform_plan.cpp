#include "engines/conversion/conform_plan.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

bool Copies(const OutputPlan& plan) {
    return plan.copyVideo && (plan.copyAudio || !plan.audio) && plan.encodedAudioTracks == 0;
}

std::string RateText(double rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", rate);
    std::string s = text;
    while (!s.empty() && s.back() == '0') {
        s.pop_back();
    }
    if (!s.empty() && s.back() == '.') {
        s.pop_back();
    }
    return s + " fps";
}

std::string SoundText(const InputFacts& input) {
    if (!input.hasAudio) {
        return "no sound";
    }
    return std::string(avcodec_get_name(input.audioCodec)) + " " +
           std::to_string(input.sampleRate) + " Hz " +
           (input.channels == 1   ? "mono"
            : input.channels == 2 ? "stereo"
                                  : std::to_string(input.channels) + " channels");
}

void Add(std::string* text, const std::string& part) {
    if (!text->empty()) {
        *text += ", ";
    }
    *text += part;
}

}  // namespace

std::string DifferenceFromFirst(const InputFacts& first, const InputFacts& input) {
    std::string text;
    if (input.videoCodec != first.videoCodec) {
        Add(&text, std::string("video ") + avcodec_get_name(input.videoCodec) + ", not " +
                       avcodec_get_name(first.videoCodec));
    }
    if (input.width != first.width || input.height != first.height) {
        Add(&text, "picture size " + std::to_string(input.width) + "x" +
                       std::to_string(input.height) + ", not " + std::to_string(first.width) + "x" +
                       std::to_string(first.height));
    }
    double a = input.scan.frameRate;
    double b = first.scan.frameRate;
    if (std::fabs(a - b) > 1e-4 * std::max(b, 1.0)) {
        Add(&text, "frame rate " + RateText(a) + ", not " + RateText(b));
    }
    if (input.displayAspect.num > 0 && first.displayAspect.num > 0 &&
        av_cmp_q(input.displayAspect, first.displayAspect) != 0 && text.empty()) {
        Add(&text, "picture shape " + std::to_string(input.displayAspect.num) + ":" +
                       std::to_string(input.displayAspect.den) + ", not " +
                       std::to_string(first.displayAspect.num) + ":" +
                       std::to_string(first.displayAspect.den));
    }
    if (input.hasAudio != first.hasAudio || input.audioCodec != first.audioCodec ||
        input.sampleRate != first.sampleRate || input.channels != first.channels) {
        Add(&text, "sound " + SoundText(input) + ", not " + SoundText(first));
    }
    return text;
}

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
    conform.why.assign(inputs.size(), std::string());
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
        if (!Copies(pair)) {
            conform.encode[i] = true;
            conform.why[i] = DifferenceFromFirst(first, input);
            if (conform.why[i].empty()) {
                conform.why[i] = input.elementaryVideo ? "a bare video stream, with no timing"
                                                       : "its streams cannot be copied";
            }
        }
    }
    conform.applies = std::any_of(conform.encode.begin(), conform.encode.end(),
                                  [](bool encode) { return encode; });
    if (!conform.applies) {
        return ConformPlan{};
    }
    return conform;
}
