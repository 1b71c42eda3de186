#include "engines/conversion/mpeg_copy_join.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>

#include "engines/conversion/input_sources.h"
#include "engines/conversion/input_warnings.h"
#include "engines/conversion/mpeg_ps_input.h"

namespace {

constexpr double kSameRateTolerance = 1e-4;

std::mutex g_reportsMutex;
std::map<int32_t, std::vector<CopiedInputReport>> g_reports;

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace

bool ProgramStreamCopyApplies(const ConversionSettings& settings,
                              const std::vector<PsCopyInput>& inputs, std::string* why) {
    if (settings.kind != OutputKind::kMpeg || inputs.empty()) {
        *why = "not an MPEG output";
        return false;
    }
    const char* codec = settings.mpegCodec == kMpegCodec1   ? "mpeg1video"
                        : settings.mpegCodec == kMpegCodec2 ? "mpeg2video"
                                                            : "";
    if (settings.mpegCodec == kMpegCodec2 && !g_mpeg2Enabled.load()) {
        *why = "MPEG-2 not enabled";
        return false;
    }
    const PsScan& first = inputs.front().scan;
    int width = settings.width > 0 ? settings.width : first.scan.width;
    int height = settings.height > 0 ? settings.height : first.scan.height;
    width += width % 2;
    height += height % 2;
    double rate = settings.frameRate > 0 ? settings.frameRate : first.scan.frameRate;
    for (const PsCopyInput& input : inputs) {
        const PsScan& s = input.scan;
        if (!s.scan.hasVideo || s.scan.videoCodec != codec) {
            *why = input.path + ": not " + codec;
            return false;
        }
        if (s.scan.width != width || s.scan.height != height) {
            *why = input.path + ": another picture size";
            return false;
        }
        if (std::fabs(s.scan.frameRate - rate) > kSameRateTolerance * rate ||
            s.frameRateCode != first.frameRateCode) {
            *why = input.path + ": another frame rate";
            return false;
        }
        if (s.aspectCode != first.aspectCode) {
            *why = input.path + ": another picture shape";
            return false;
        }
        if (s.audio != first.audio) {
            *why = input.path + ": other audio streams";
            return false;
        }
        if (s.mpeg2Packs != first.mpeg2Packs) {
            *why = input.path + ": another pack layout";
            return false;
        }
    }
    return true;
}

bool RunProgramStreamCopy(Conversion& conversion, const ConversionSettings& settings,
                          int stoppedCode, int* result, std::string* error) {
    std::vector<std::string> paths = AskSources(conversion, conversion.callbacks.videoSource);
    std::vector<std::string> audioPaths = AskSources(conversion, conversion.callbacks.audioSource);
    if (paths.empty() || audioPaths.size() > paths.size()) {
        return false;
    }
    for (size_t i = 0; i < audioPaths.size(); ++i) {
        if (audioPaths[i] != paths[i] && !SameFile(audioPaths[i], paths[i])) {
            return false;  // the general path says why
        }
    }
    if (!settings.secondOutputPath.empty() && settings.secondOutputPath != settings.outputPath) {
        return false;
    }
    std::vector<PsCopyInput> inputs;
    for (const std::string& path : paths) {
        if (SameFile(path, settings.outputPath) || !LooksLikeProgramStream(path)) {
            return false;
        }
        PsCopyInput input;
        input.path = path;
        std::string ignored;
        if (ScanProgramStreamCached(path, &input.scan, nullptr, &ignored) != 0) {
            return false;
        }
        inputs.push_back(std::move(input));
    }
    PlanInputEnds(&inputs);
    std::string why;
    if (!ProgramStreamCopyApplies(settings, inputs, &why)) {
        return false;
    }

    auto report = [&conversion](int32_t status, int64_t frames, double rate) {
        int64_t samples = rate > 0 ? std::llround(frames * 44100.0 / rate) : 0;
        conversion.ReportProgress(status, frames, samples);
    };
    double rate = inputs.front().scan.scan.frameRate;
    report(kStatusPreparing, 0, rate);
    std::vector<PsCopiedInput> copied;
    int copy = CopyProgramStreams(
        inputs, settings.outputPath,
        [&](int64_t frames) {
            report(kStatusProgress, frames, rate);
            return !conversion.abortRequested.load();
        },
        &copied, error);
    if (copy == 1 || (copy == 0 && conversion.abortRequested.load())) {
        *error = "The conversion was stopped.";
        *result = stoppedCode;
        return true;
    }
    if (copy < 0) {
        *result = copy;
        return true;
    }
    std::vector<CopiedInputReport> reports;
    int64_t frames = 0;
    for (size_t i = 0; i < inputs.size(); ++i) {
        CopiedInputReport r;
        r.startSeconds = copied[i].startSeconds;
        r.durationSeconds = copied[i].durationSeconds;
        if (inputs[i].scan.cutShort) {
            // How long the whole file was meant to be, nobody can know from what is left.
            r.warning = CutShortSentence(inputs[i].path, r.durationSeconds, 0);
        }
        frames += copied[i].frames;
        reports.push_back(r);
    }
    {
        std::lock_guard<std::mutex> lock(g_reportsMutex);
        g_reports[conversion.handle] = reports;
    }
    report(kStatusFinished, frames, rate);
    *result = 0;
    return true;
}

std::vector<CopiedInputReport> CopiedInputReports(int32_t conversion) {
    std::lock_guard<std::mutex> lock(g_reportsMutex);
    auto it = g_reports.find(conversion);
    return it != g_reports.end() ? it->second : std::vector<CopiedInputReport>{};
}

void ForgetCopiedInputReports(int32_t conversion) {
    std::lock_guard<std::mutex> lock(g_reportsMutex);
    g_reports.erase(conversion);
}
