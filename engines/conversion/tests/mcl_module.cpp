#include "engines/conversion/tests/mcl_module.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kjtest {

namespace {

// The callbacks are plain functions: the state of the one conversion running in the test.
MclModule* g_module = nullptr;
MclHandle g_videoList = 0;
MclHandle g_audioList = 0;
ConvertRun* g_run = nullptr;
const ConvertOutput* g_settings = nullptr;

int32_t SourceFrom(MclHandle list, MclHandle source, int32_t index) {
    char name[264] = {};
    if (g_module->api.MclListGetName(list, index, name) != 0) {
        return g_module->api.MclSrcSetFile(source, name);
    }
    return g_module->api.MclSrcFinished(source);
}

int32_t VideoSource(MclHandle source, int32_t index) {
    return SourceFrom(g_videoList, source, index);
}

int32_t AudioSource(MclHandle source, int32_t index) {
    return SourceFrom(g_audioList, source, index);
}

void AudioFunc(int32_t, int32_t, int32_t) {}

void Progress(MclHandle conversion, int32_t status, int32_t frame, int32_t sample) {
    ProgressCall call{status, frame, sample};
    g_run->progress.push_back(call);
    if (g_settings->onProgress) {
        g_settings->onProgress(conversion, call);
    }
}

void Error(int32_t, int32_t, int32_t* answer) {
    ++g_run->errorCalls;
    *answer = 2;
}

}  // namespace

ConvertRun Convert(MclModule& module, const std::vector<std::string>& inputs,
                   const std::string& output, const ConvertOutput& settings) {
    ConvertRun run;
    g_module = &module;
    g_run = &run;
    g_settings = &settings;
    const MclModule::EntryPoints& api = module.api;
    MclHandle conversion = api.MclAlloc();
    api.MclAssignVideoSource(conversion, VideoSource);
    api.MclAssignAudioSource(conversion, AudioSource);
    api.MclAssignAudioFunc(conversion, AudioFunc);
    api.MclAssignProgress(conversion, Progress);
    api.MclAssignError(conversion, Error);
    g_videoList = api.MclListAlloc();
    g_audioList = api.MclListAlloc();
    if (settings.enableMpeg2) {
        api.MclEnableMPEG2();
    }
    for (const std::string& path : inputs) {
        api.MclListAdd(g_videoList, path.c_str(), 8, 0, 0);
        api.MclListAdd(g_audioList, path.c_str(), 16, 0, 0);
    }
    run.totalFrames = api.MclListGetFrameCount(g_videoList);
    run.totalSamples = api.MclListGetSampleCount(g_audioList);
    api.MclSetOutputFile(conversion, output.c_str(), output.c_str());
    api.MclSetFrameRate(conversion, settings.frameRate);
    api.MclSetKeepDuration(conversion, 1);
    api.MclSetResolution(conversion, settings.width, settings.height);
    api.MclSetCodec(conversion, settings.selector, settings.codec);
    api.MclSetBitRate(conversion, settings.selector, settings.videoKbps, kMclUnset, kMclUnset, 1);
    api.MclSetAudioFormat(conversion, 44100, 2, 16);
    api.MclSetBitRate(conversion, 18, 224, kMclUnset, kMclUnset, 1);
    api.MclForceCompatibility(conversion, 1);
    run.result = api.MclConvert(conversion);
    if (run.result != 0) {
        run.errorText = module.ErrorText();
    }
    api.MclCheckError();
    for (int32_t i = 0; module.getInputReport != nullptr; ++i) {
        InputSeen seen;
        char warning[2048] = {};
        if (module.getInputReport(conversion, i, &seen.start, &seen.duration, warning,
                                  sizeof warning) == 0) {
            break;
        }
        run.inputWarnings.emplace_back(warning);
        seen.warning = warning;
        if (!seen.warning.empty() && seen.warning.back() == '\n') {
            seen.warning.pop_back();
        }
        run.inputs.push_back(seen);
    }
    // An input the conversion told nothing of had nothing left out.
    run.inputWarnings.resize(std::max(run.inputWarnings.size(), inputs.size()));
    api.MclListFree(g_videoList);
    api.MclListFree(g_audioList);
    api.MclFree(conversion);
    g_run = nullptr;
    g_settings = nullptr;
    return run;
}

void ExpectProgressToTotals(const ConvertRun& run) {
    ASSERT_GE(run.progress.size(), 3u);
    EXPECT_EQ(run.progress.front().status, 1);
    EXPECT_EQ(run.progress.back().status, 0);
    int32_t last = 0;
    int preparing = 0;
    for (const ProgressCall& call : run.progress) {
        preparing += call.status == 1 ? 1 : 0;
        if (call.status == 3) {
            EXPECT_GE(call.frame, last);
            last = call.frame;
        }
    }
    EXPECT_EQ(preparing, 1);
    EXPECT_EQ(last, run.totalFrames);
    EXPECT_EQ(run.progress.back().frame, run.totalFrames);
    EXPECT_NEAR(run.progress.back().sample, run.totalSamples, 1152);
}

}  // namespace kjtest
