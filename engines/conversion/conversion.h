// One conversion of the library: its callbacks, its settings and the state of a running
// MclConvert that other threads may look at (progress figures, the abort request).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "engines/conversion/mcl.h"

// Setting selectors and codec numbers of MclSetCodec and MclSetBitRate.
inline constexpr int32_t kSelectorAviVideo = 6;    // codec: the FourCC of the video compressor
inline constexpr int32_t kSelectorMpegVideo = 11;  // codec: kMpegCodec1 or kMpegCodec2
inline constexpr int32_t kSelectorAudio = 18;      // bit rate of the audio
inline constexpr int32_t kMpegCodec1 = 1;          // MPEG-1 video in an MPEG-1 system stream
inline constexpr int32_t kMpegCodec2 = 2;          // MPEG-2 video in an MPEG-2 program stream

// Status codes of the progress callback.
inline constexpr int32_t kStatusFinished = 0;
inline constexpr int32_t kStatusPreparing = 1;
inline constexpr int32_t kStatusProgress = 3;

// kAsf and kRealMedia are written only to match a first file whose packets are copied
// (match_encode.h): their codecs and settings are all that file's.
enum class OutputKind { kNone, kAvi, kMpeg, kAsf, kRealMedia };

struct InputFacts;

struct ConversionSettings {
    std::string outputPath;
    std::string secondOutputPath;
    double frameRate = 0.0;  // 0: the first input's
    bool keepDuration = true;
    bool forceCompatibility = false;
    int width = 0;  // 0: the first input's
    int height = 0;
    OutputKind kind = OutputKind::kNone;
    uint32_t aviFourcc = 0;
    int32_t mpegCodec = 0;
    int videoKbps = 0;  // 0: the format's usual rate
    int videoMinKbps = 0;
    int videoMaxKbps = 0;
    int audioKbps = 0;
    int audioRate = 44100;
    int audioChannels = 2;
    int audioBits = 16;
    // Set when an odd input is encoded to be joined with a list by copying: the list's first
    // input, whose codecs, picture, rates and shape the output takes exactly.
    std::shared_ptr<const InputFacts> matchFirst;
    // Frames from one key picture to the next when matching such a first file (its own
    // spacing, so that the encoded part seeks as the rest does); 0: the format's usual.
    int keyInterval = 0;
};

struct ConversionCallbacks {
    MclSourceFn videoSource = nullptr;
    MclSourceFn audioSource = nullptr;
    MclAudioFuncFn audioFunc = nullptr;
    MclProgressFn progress = nullptr;
    MclErrorFn error = nullptr;
};

struct Conversion {
    int32_t handle = 0;
    std::mutex mutex;  // guards settings and callbacks while they are set
    ConversionSettings settings;
    ConversionCallbacks callbacks;

    std::atomic<bool> running{false};
    std::atomic<bool> abortRequested{false};
    std::atomic<int64_t> framesDone{0};
    std::atomic<int64_t> samplesDone{0};
    std::atomic<int64_t> startNanoseconds{0};  // steady clock at the start of MclConvert
    std::atomic<int64_t> endNanoseconds{0};    // at its end; 0 while it runs
    // What the last MclConvert left out of each input, in whole sentences (guarded by mutex).
    std::vector<std::vector<std::string>> inputWarnings;
    // Where each input of the last run starts in the output and how long it lasts there, in
    // seconds; guarded by `mutex`, emptied when a run starts.
    std::vector<std::pair<double, double>> inputTimes;

    // Inputs read from elsewhere than the source callbacks say (guarded by `mutex`): by position,
    // the encoded stand-ins of odd inputs. When `givenInputs` is not empty it is the whole list.
    std::map<size_t, std::string> replacedInputs;
    // The positions of the inputs the last MclConvert encoded to match the first (guarded).
    std::vector<size_t> encodedInputs;
    std::vector<std::string> givenInputs;
    // When set, progress goes here instead of to the progress callback.
    std::function<void(int32_t status, int64_t frames, int64_t samples)> progressHook;

    // Starts a run (MclConvert, MclEncodeToMatch): its clock and figures from zero, no abort
    // asked for. False, with the library's last error set, when one is running already.
    bool BeginRun();
    // Ends it: the clock stops.
    void EndRun();
    // Seconds since MclConvert started (up to its end once it has ended).
    double ElapsedSeconds() const;
    // Keeps the figures and tells the hook, or else the caller's progress callback.
    void ReportProgress(int32_t status, int64_t frames, int64_t samples);
    // Keeps the figures and tells the caller's progress callback, whatever the hook.
    void TellCaller(int32_t status, int64_t frames, int64_t samples);
};

// Steady-clock nanoseconds, the time base of the conversion's clock.
int64_t SteadyNanoseconds();

// MPEG-2 input is accepted once MclEnableMPEG2 has been called (process-wide).
extern std::atomic<bool> g_mpeg2Enabled;

// The last error of the library (process-wide): its code and readable text.
void SetLastError(int32_t code, const std::string& text);
int32_t LastErrorCode();
std::string LastErrorText();
