#include "engines/conversion/conform_inputs.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
}

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "engines/conversion/conform_plan.h"
#include "engines/conversion/converter.h"
#include "engines/conversion/file_list.h"
#include "engines/conversion/input_sources.h"

namespace {

// What copying a frame costs against encoding one, for the time left: a copy reads and writes
// at the disk's pace, some twenty times the pace of the encoders here (measured on a list of
// MPEG-4 AVIs).
constexpr double kCopiedFrameCost = 0.05;

const char* StandInExtension(const ConversionSettings& settings) {
    return settings.kind == OutputKind::kAvi ? ".avi" : ".mpg";
}

// Turns progress of one phase into progress of the whole join, weighted by what each frame
// costs, on the scale of all the inputs' frames.
class WeightedProgress {
public:
    WeightedProgress(Conversion& conversion, int64_t encodedFrames, int64_t totalFrames,
                     double rate)
        : m_conversion(conversion),
          m_encoded(static_cast<double>(encodedFrames)),
          m_total(totalFrames),
          m_samplesPerFrame(rate > 0 ? kOutputSampleRate / rate : 0.0) {
        m_units = m_encoded + kCopiedFrameCost * static_cast<double>(totalFrames);
    }

    void Encoding(int64_t framesBefore, int64_t frames) {
        Tell(kStatusProgress, static_cast<double>(framesBefore + frames));
    }
    void Preparing() { Tell(kStatusPreparing, 0); }
    void Copying(int32_t status, int64_t frames) {
        if (status == kStatusPreparing) {
            return;  // the join was told once, before the first encoding
        }
        if (status == kStatusFinished) {
            Tell(kStatusFinished, m_units);
        } else {
            Tell(kStatusProgress, m_encoded + kCopiedFrameCost * static_cast<double>(frames));
        }
    }

private:
    void Tell(int32_t status, double units) {
        double share = m_units > 0 ? std::min(1.0, units / m_units) : 1.0;
        int64_t frames = std::llround(share * static_cast<double>(m_total));
        m_conversion.TellCaller(status, frames,
                                std::llround(static_cast<double>(frames) * m_samplesPerFrame));
    }

    Conversion& m_conversion;
    double m_encoded;
    int64_t m_total;
    double m_samplesPerFrame;
    double m_units = 0;
};

}  // namespace

std::string ConformedInputs::WithOwnPaths(std::string text) const {
    for (const auto& [index, standIn] : standIns) {
        const std::string& own = originals.at(index);
        for (size_t at = text.find(standIn); at != std::string::npos;
             at = text.find(standIn, at + own.size())) {
            // "/proc/self/fd/1" is also the start of "/proc/self/fd/12".
            size_t after = at + standIn.size();
            if (after < text.size() && std::isdigit(static_cast<unsigned char>(text[after]))) {
                continue;
            }
            text.replace(at, standIn.size(), own);
        }
    }
    return text;
}

int ConformOddInputs(Conversion& conversion, const ConversionSettings& settings,
                     ConformedInputs* conformed, std::string* error) {
    std::vector<std::string> paths = AskSources(conversion, conversion.callbacks.videoSource);
    if (paths.size() < 2 || settings.kind == OutputKind::kNone) {
        return 0;
    }
    std::vector<InputFacts> inputs;
    std::string unread;
    if (ReadInputFacts(paths, &inputs, &unread) < 0) {
        return 0;  // the join itself says what cannot be read
    }
    ConformPlan plan = PlanConform(settings, inputs);
    // For measuring: the whole list encoded, as a join did before odd files were told apart.
    const char* everyInput = std::getenv("KJ_ENCODE_EVERY_INPUT");
    if (!plan.applies || (everyInput != nullptr && std::strcmp(everyInput, "1") == 0)) {
        return 0;
    }
    const InputFacts& first = inputs.front();
    double rate = first.scan.frameRate;
    std::vector<int64_t> frames(inputs.size());
    for (size_t i = 0; i < inputs.size(); ++i) {
        frames[i] = plan.encode[i] ? OutputFrameCount(inputs[i].scan.frameCount,
                                                      inputs[i].scan.frameRate, rate)
                                   : inputs[i].scan.frameCount;
        (plan.encode[i] ? conformed->encodedFrames : conformed->copiedFrames) += frames[i];
    }
    auto progress = std::make_shared<WeightedProgress>(
        conversion, conformed->encodedFrames, conformed->encodedFrames + conformed->copiedFrames,
        rate);
    progress->Preparing();
    auto model = std::make_shared<const InputFacts>(first);
    std::filesystem::path folder = HiddenOutput::FolderOf(settings.outputPath);

    int64_t framesBefore = 0;
    for (size_t i = 1; i < inputs.size(); ++i) {
        if (!plan.encode[i]) {
            continue;
        }
        auto file = std::make_unique<HiddenOutput>();
        std::string name =
            (folder / (".kjoin-match" + std::string(StandInExtension(settings)))).string();
        if (int failure = file->Open(name)) {
            *error = "Cannot make a file in " + folder.string() + " to encode " + inputs[i].path +
                     " in: " + std::strerror(failure);
            return AVERROR(failure);
        }
        Conversion odd;
        odd.handle = conversion.handle;
        odd.settings = settings;
        odd.settings.outputPath = file->WritePath();
        odd.settings.secondOutputPath.clear();
        odd.settings.matchFirst = model;
        odd.settings.width = first.width;
        odd.settings.height = first.height;
        odd.settings.frameRate = rate;
        odd.settings.keepDuration = true;
        odd.givenInputs = {inputs[i].path};
        odd.progressHook = [&conversion, &odd, progress, framesBefore](int32_t status, int64_t done,
                                                                       int64_t) {
            if (conversion.abortRequested.load()) {
                odd.abortRequested = true;
            }
            if (status == kStatusProgress) {
                progress->Encoding(framesBefore, done);
            }
        };
        std::string reason;
        int result = RunConversion(odd, &reason);
        if (result == AVERROR_EXIT || conversion.abortRequested.load()) {
            *error = "The conversion was stopped.";
            return AVERROR_EXIT;
        }
        if (result < 0) {
            *error = "Cannot encode " + inputs[i].path + " to match " + first.path + ": " + reason;
            return result;
        }
        framesBefore += frames[i];
        {
            std::lock_guard<std::mutex> lock(odd.mutex);
            if (!odd.inputWarnings.empty() && !odd.inputWarnings.front().empty()) {
                conformed->warnings[i] = odd.inputWarnings.front();
            }
        }
        conformed->originals[i] = inputs[i].path;
        conformed->standIns[i] = file->WritePath();
        conformed->files.push_back(std::move(file));
    }
    {
        std::lock_guard<std::mutex> lock(conversion.mutex);
        conversion.replacedInputs = conformed->standIns;
        conversion.progressHook = [progress](int32_t status, int64_t done, int64_t) {
            progress->Copying(status, done);
        };
    }
    return 0;
}
