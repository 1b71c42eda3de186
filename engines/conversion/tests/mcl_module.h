// The built zivuvore module, loaded as the program loads it, with its entry points in a table of
// their own, and a conversion driven the way the join driver drives it.
#pragma once

#include <dlfcn.h>

#include <functional>
#include <string>
#include <vector>

#include "engines/conversion/mcl.h"
#include "tests/support/media_fixtures.h"

namespace kjtest {

class MclModule {
public:
    MclModule() {
        // Lazily, as QLibrary loads it: the module binds its FFmpeg calls on their first use.
        m_handle = dlopen((BinDir() + "/libzivuvore.so").c_str(), RTLD_LAZY | RTLD_LOCAL);
        if (m_handle == nullptr) {
            return;
        }
#define KJ_TEST_RESOLVE(name, type) \
    api.name = reinterpret_cast<std::type_identity_t<type>>(dlsym(m_handle, #name));
        KJ_MCL_ENTRY_POINTS(KJ_TEST_RESOLVE)
#undef KJ_TEST_RESOLVE
        getErrorText =
            reinterpret_cast<int32_t (*)(char*, int32_t)>(dlsym(m_handle, "MclGetErrorText"));
        getInputReport =
            reinterpret_cast<decltype(getInputReport)>(dlsym(m_handle, "MclGetInputReport"));
    }
    ~MclModule() {
        if (m_handle != nullptr) {
            dlclose(m_handle);
        }
    }
    MclModule(const MclModule&) = delete;
    MclModule& operator=(const MclModule&) = delete;

    bool Loaded() const {
        return m_handle != nullptr && api.MclConvert != nullptr;
    }
    std::string ErrorText() const {
        char text[1024] = {};
        if (getErrorText != nullptr) {
            getErrorText(text, sizeof text);
        }
        return text;
    }

    // Every designed entry point, resolved from the module as the program resolves them.
    struct EntryPoints {
#define KJ_TEST_FIELD(name, type) std::type_identity_t<type> name = nullptr;
        KJ_MCL_ENTRY_POINTS(KJ_TEST_FIELD)
#undef KJ_TEST_FIELD
    };
    EntryPoints api;
    MclGetErrorTextFn getErrorText = nullptr;
    MclGetInputReportFn getInputReport = nullptr;

private:
    void* m_handle = nullptr;
};

// One progress call of a conversion.
struct ProgressCall {
    int32_t status;
    int32_t frame;
    int32_t sample;
};

// What MclGetInputReport said of one input after the conversion.
struct InputSeen {
    double start = -1;
    double duration = -1;
    std::string warning;  // its sentences, one a line, without the last line feed
};

struct ConvertRun {
    int32_t result = -1;
    std::vector<InputSeen> inputs;  // empty when the conversion told nothing of its inputs
    int32_t totalFrames = 0;
    int32_t totalSamples = 0;
    std::vector<ProgressCall> progress;
    int errorCalls = 0;
    std::string errorText;
    // What the conversion left out of each input: its sentences, one a line.
    std::vector<std::string> inputWarnings;
};

// The output a conversion is asked for.
struct ConvertOutput {
    int32_t selector = 11;
    int32_t codec = 1;  // MPEG codec number, or the AVI FourCC
    int32_t videoKbps = 1150;
    double frameRate = 25.0;
    int32_t width = 352;
    int32_t height = 288;
    bool enableMpeg2 = false;
    // Called from the progress callback with each call (a test may abort from here).
    std::function<void(MclHandle conversion, const ProgressCall&)> onProgress;
};

// Converts `inputs` into `output` with the settings the join driver uses.
ConvertRun Convert(MclModule& module, const std::vector<std::string>& inputs,
                   const std::string& output, const ConvertOutput& settings);

// The progress of a finished conversion: Preparing once, then frames that never go back and
// reach the inputs' total, then the end at the totals.
void ExpectProgressToTotals(const ConvertRun& run);

}  // namespace kjtest
