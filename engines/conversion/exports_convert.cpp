// The conversion side of the library's entry points: conversions, lists, sources, settings,
// MclConvert and its clock.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

extern "C" {
#include <libavutil/error.h>
}

#include "engines/conversion/conform_inputs.h"
#include "engines/conversion/conversion.h"
#include "engines/conversion/converter.h"
#include "engines/conversion/ffmpeg_loader.h"
#include "engines/conversion/library_objects.h"
#include "engines/conversion/mcl_exports.h"
#include "engines/conversion/mpeg_copy_join.h"

namespace {

// The size of the buffer MclListGetName fills, its terminating zero included.
constexpr size_t kNameBufferBytes = 264;
// A path too long for that buffer is handed out as a reference to its list entry, which
// MclSrcSetFile turns back into the path. No file path starts with this byte.
constexpr char kListReferenceMark = '\x01';
constexpr int kTimeTextBytes = 16;

template <typename Fn>
void WithSettings(MclHandle handle, Fn fn) {
    std::shared_ptr<Conversion> conversion = Conversions().Find(handle);
    if (conversion != nullptr) {
        std::lock_guard<std::mutex> lock(conversion->mutex);
        fn(conversion->settings, conversion->callbacks);
    }
}

std::string ResolveName(const char* name) {
    if (name == nullptr) {
        return {};
    }
    if (name[0] != kListReferenceMark) {
        return name;
    }
    int list = 0;
    size_t index = 0;
    if (std::sscanf(name + 1, "%d/%zu", &list, &index) != 2) {
        return {};
    }
    std::shared_ptr<FileList> files = FileLists().Find(list);
    std::string path;
    if (files == nullptr || !files->Name(index, &path)) {
        return {};
    }
    return path;
}

int32_t ClampToInt32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, 0, INT32_MAX));
}

}  // namespace

extern "C" {

MclHandle MclAlloc() {
    auto conversion = std::make_shared<Conversion>();
    MclHandle handle = Conversions().Add(conversion);
    conversion->handle = handle;
    return handle;
}

void MclAssignVideoSource(MclHandle conversion, MclSourceFn callback) {
    WithSettings(conversion,
                 [&](ConversionSettings&, ConversionCallbacks& c) { c.videoSource = callback; });
}

void MclAssignAudioSource(MclHandle conversion, MclSourceFn callback) {
    WithSettings(conversion,
                 [&](ConversionSettings&, ConversionCallbacks& c) { c.audioSource = callback; });
}

void MclAssignAudioFunc(MclHandle conversion, MclAudioFuncFn callback) {
    WithSettings(conversion,
                 [&](ConversionSettings&, ConversionCallbacks& c) { c.audioFunc = callback; });
}

void MclAssignProgress(MclHandle conversion, MclProgressFn callback) {
    WithSettings(conversion,
                 [&](ConversionSettings&, ConversionCallbacks& c) { c.progress = callback; });
}

void MclAssignError(MclHandle conversion, MclErrorFn callback) {
    WithSettings(conversion,
                 [&](ConversionSettings&, ConversionCallbacks& c) { c.error = callback; });
}

MclHandle MclListAlloc() {
    return FileLists().Add(std::make_shared<FileList>());
}

int32_t MclListAdd(MclHandle list, const char* path, int32_t type, int32_t, int32_t) {
    std::shared_ptr<FileList> files = FileLists().Find(list);
    if (files == nullptr || path == nullptr || path[0] == '\0') {
        return 0;
    }
    files->Add(path, type);
    return 1;
}

int32_t MclListGetFrameCount(MclHandle list) {
    std::shared_ptr<FileList> files = FileLists().Find(list);
    return files != nullptr ? ClampToInt32(files->FrameCount()) : 0;
}

int32_t MclListGetSampleCount(MclHandle list) {
    std::shared_ptr<FileList> files = FileLists().Find(list);
    return files != nullptr ? ClampToInt32(files->SampleCount()) : 0;
}

int32_t MclListGetName(MclHandle list, int32_t index, char* buffer) {
    std::shared_ptr<FileList> files = FileLists().Find(list);
    std::string path;
    if (files == nullptr || buffer == nullptr || index < 0 ||
        !files->Name(static_cast<size_t>(index), &path)) {
        return 0;
    }
    if (path.size() < kNameBufferBytes) {
        std::memcpy(buffer, path.c_str(), path.size() + 1);
    } else {
        std::snprintf(buffer, kNameBufferBytes, "%c%d/%d", kListReferenceMark, list, index);
    }
    return 1;
}

int32_t MclSrcSetFile(MclHandle source, const char* path) {
    std::shared_ptr<Source> target = Sources().Find(source);
    std::string resolved = ResolveName(path);
    if (target == nullptr || resolved.empty()) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(target->mutex);
    target->path = resolved;
    target->hasFile = true;
    return 1;
}

int32_t MclSrcFinished(MclHandle source) {
    std::shared_ptr<Source> target = Sources().Find(source);
    if (target != nullptr) {
        std::lock_guard<std::mutex> lock(target->mutex);
        target->finished = true;
    }
    return 0;
}

void MclEnableMPEG2() {
    g_mpeg2Enabled = true;
}

void MclSetOutputFile(MclHandle conversion, const char* path, const char* secondPath) {
    WithSettings(conversion, [&](ConversionSettings& s, ConversionCallbacks&) {
        s.outputPath = path != nullptr ? path : "";
        s.secondOutputPath = secondPath != nullptr ? secondPath : "";
    });
}

void MclSetFrameRate(MclHandle conversion, double rate) {
    WithSettings(conversion, [&](ConversionSettings& s, ConversionCallbacks&) {
        s.frameRate = std::isfinite(rate) && rate > 0 ? rate : 0.0;
    });
}

void MclSetKeepDuration(MclHandle conversion, int32_t keep) {
    WithSettings(conversion,
                 [&](ConversionSettings& s, ConversionCallbacks&) { s.keepDuration = keep != 0; });
}

void MclForceCompatibility(MclHandle conversion, int32_t force) {
    WithSettings(conversion, [&](ConversionSettings& s, ConversionCallbacks&) {
        s.forceCompatibility = force != 0;
    });
}

void MclSetResolution(MclHandle conversion, int32_t width, int32_t height) {
    WithSettings(conversion, [&](ConversionSettings& s, ConversionCallbacks&) {
        s.width = std::max(width, 0);
        s.height = std::max(height, 0);
    });
}

void MclSetCodec(MclHandle conversion, int32_t selector, int32_t codec) {
    WithSettings(conversion, [&](ConversionSettings& s, ConversionCallbacks&) {
        if (selector == kSelectorAviVideo) {
            s.kind = OutputKind::kAvi;
            s.aviFourcc = static_cast<uint32_t>(codec);
        } else if (selector == kSelectorMpegVideo) {
            s.kind = OutputKind::kMpeg;
            s.mpegCodec = codec;
        }
    });
}

void MclSetBitRate(MclHandle conversion, int32_t selector, int32_t kbps, int32_t minKbps,
                   int32_t maxKbps, int32_t) {
    auto given = [](int32_t value) { return value != kMclUnset && value > 0 ? value : 0; };
    WithSettings(conversion, [&](ConversionSettings& s, ConversionCallbacks&) {
        if (selector == kSelectorAudio) {
            s.audioKbps = given(kbps);
        } else if (selector == kSelectorAviVideo || selector == kSelectorMpegVideo) {
            s.videoKbps = given(kbps);
            s.videoMinKbps = given(minKbps);
            s.videoMaxKbps = given(maxKbps);
        }
    });
}

void MclSetAudioFormat(MclHandle conversion, int32_t rate, int32_t channels, int32_t bits) {
    WithSettings(conversion, [&](ConversionSettings& s, ConversionCallbacks&) {
        s.audioRate = rate > 0 ? rate : 44100;
        s.audioChannels = channels == 1 ? 1 : 2;
        s.audioBits = bits;
    });
}

}  // extern "C"

namespace {

// Puts the odd inputs' own paths back where the join read their stand-ins, and adds what their
// encoding left out to what the join tells of them.
void EndConform(Conversion& conversion, const ConformedInputs& conformed, std::string* error) {
    std::lock_guard<std::mutex> lock(conversion.mutex);
    conversion.replacedInputs.clear();
    conversion.progressHook = nullptr;
    conversion.encodedInputs.clear();
    for (const auto& [index, own] : conformed.originals) {
        conversion.encodedInputs.push_back(index);
    }
    auto& all = conversion.inputWarnings;
    for (const auto& [index, sentences] : conformed.warnings) {
        all.resize(std::max(all.size(), index + 1));
        all[index].insert(all[index].begin(), sentences.begin(), sentences.end());
    }
    for (std::vector<std::string>& sentences : all) {
        for (std::string& sentence : sentences) {
            sentence = conformed.WithOwnPaths(sentence);
        }
    }
    *error = conformed.WithOwnPaths(*error);
}

}  // namespace

extern "C" {

int32_t MclConvert(MclHandle handle) {
    std::shared_ptr<Conversion> conversion = Conversions().Find(handle);
    if (conversion == nullptr) {
        SetLastError(AVERROR(EINVAL), "There is no conversion with this handle.");
        return AVERROR(EINVAL);
    }
    if (!conversion->BeginRun()) {
        return AVERROR(EBUSY);
    }
    std::string error;
    ConversionSettings settings;
    {
        std::lock_guard<std::mutex> lock(conversion->mutex);
        settings = conversion->settings;
    }
    ForgetCopiedInputReports(handle);
    {
        std::lock_guard<std::mutex> lock(conversion->mutex);
        conversion->encodedInputs.clear();  // what an earlier run encoded
    }
    int result = 0;
    // Program streams that match are joined by the pack copier; everything else needs FFmpeg.
    // A list with odd inputs has them encoded to the first input's format first, and is then
    // copied like a list that matches.
    if (!RunProgramStreamCopy(*conversion, settings, AVERROR_EXIT, &result, &error)) {
        ConformedInputs conformed;
        result = EnsureFfmpeg(&error) ? ConformOddInputs(*conversion, settings, &conformed, &error)
                                      : AVERROR(ENOSYS);
        if (result >= 0 &&
            (conformed.EncodedCount() == 0 ||
             !RunProgramStreamCopy(*conversion, settings, AVERROR_EXIT, &result, &error))) {
            result = RunConversion(*conversion, &error);
        }
        EndConform(*conversion, conformed, &error);
    }
    conversion->EndRun();
    if (result == 0) {
        SetLastError(0, "");
        return 0;
    }
    SetLastError(result, error);
    MclErrorFn callback = nullptr;
    {
        std::lock_guard<std::mutex> lock(conversion->mutex);
        callback = conversion->callbacks.error;
    }
    if (callback != nullptr && result != AVERROR_EXIT) {
        int32_t answer = 0;
        callback(handle, result, &answer);
    }
    return result;
}

int32_t MclCheckError() {
    return LastErrorCode();
}

int32_t MclGetErrorText(char* buffer, int32_t size) {
    std::string text = LastErrorText();
    if (buffer != nullptr && size > 0) {
        size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<int32_t>(text.size());
}

void MclAbort(MclHandle handle) {
    std::shared_ptr<Conversion> conversion = Conversions().Find(handle);
    if (conversion != nullptr) {
        conversion->abortRequested = true;
    }
}

double MclGetElapsedTime(MclHandle handle) {
    std::shared_ptr<Conversion> conversion = Conversions().Find(handle);
    return conversion != nullptr ? conversion->ElapsedSeconds() : 0.0;
}

double MclGetRemainingTime(MclHandle handle, int32_t totalFrames, int32_t totalSamples) {
    std::shared_ptr<Conversion> conversion = Conversions().Find(handle);
    if (conversion == nullptr) {
        return 0.0;
    }
    // The rest at the pace so far, counted in frames, or in samples when there are no frames.
    double done = static_cast<double>(conversion->framesDone.load());
    double total = totalFrames;
    if (totalFrames <= 0) {
        done = static_cast<double>(conversion->samplesDone.load());
        total = totalSamples;
    }
    if (done <= 0 || total <= done) {
        return 0.0;
    }
    return conversion->ElapsedSeconds() * (total - done) / done;
}

void MclMakeTimeStr(double seconds, char* buffer) {
    if (buffer == nullptr) {
        return;
    }
    int64_t whole = std::isfinite(seconds) && seconds > 0 ? std::llround(seconds) : 0;
    // 99:59:59 at most, so that the text always fits the 16-byte buffer.
    whole = std::min<int64_t>(whole, 99 * 3600 + 59 * 60 + 59);
    std::snprintf(buffer, kTimeTextBytes, "%02d:%02d:%02d", static_cast<int>(whole / 3600),
                  static_cast<int>(whole / 60 % 60), static_cast<int>(whole % 60));
}

void MclListFree(MclHandle list) {
    FileLists().Remove(list);
}

void MclFree(MclHandle handle) {
    std::shared_ptr<Conversion> conversion = Conversions().Find(handle);
    if (conversion != nullptr) {
        conversion->abortRequested = true;  // a conversion still running ends
    }
    Conversions().Remove(handle);
    ForgetCopiedInputReports(handle);
}

}  // extern "C"
