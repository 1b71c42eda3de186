// The conversion library's contract, shared by the library (libzivuvore) and the program that
// loads it: the handles and callbacks, every designed entry point by name and signature, the
// records of its file scan, and the exports of ours beyond the designed table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

// Opaque handles of the library: a conversion, a file list, a source.
using MclHandle = int32_t;

// The "unset" value of a setting.
inline constexpr int32_t kMclUnset = -1357902468;  // AF100D7C

// Byte size of the record MclGetFileInfo fills.
inline constexpr int kMclFileInfoBytes = 900;

extern "C" {
using MclSourceFn = int32_t (*)(MclHandle source, int32_t index);
using MclAudioFuncFn = void (*)(int32_t, int32_t, int32_t);
using MclProgressFn = void (*)(MclHandle conversion, int32_t status, int32_t frame, int32_t sample);
using MclErrorFn = void (*)(int32_t, int32_t, int32_t* answer);
using MclScanCallback = void (*)(const void* progressRecord);
}

// Name and signature of every entry point, in one list so that the table and its loading
// cannot drift apart.
#define KJ_MCL_ENTRY_POINTS(X)                                                         \
    X(MclAlloc, MclHandle (*)())                                                       \
    X(MclAssignVideoSource, void (*)(MclHandle, MclSourceFn))                          \
    X(MclAssignAudioSource, void (*)(MclHandle, MclSourceFn))                          \
    X(MclAssignAudioFunc, void (*)(MclHandle, MclAudioFuncFn))                         \
    X(MclAssignProgress, void (*)(MclHandle, MclProgressFn))                           \
    X(MclAssignError, void (*)(MclHandle, MclErrorFn))                                 \
    X(MclListAlloc, MclHandle (*)())                                                   \
    X(MclListAdd, int32_t (*)(MclHandle, const char*, int32_t, int32_t, int32_t))      \
    X(MclListGetFrameCount, int32_t (*)(MclHandle))                                    \
    X(MclListGetSampleCount, int32_t (*)(MclHandle))                                   \
    X(MclListGetName, int32_t (*)(MclHandle, int32_t, char*))                          \
    X(MclSrcSetFile, int32_t (*)(MclHandle, const char*))                              \
    X(MclSrcFinished, int32_t (*)(MclHandle))                                          \
    X(MclEnableMPEG2, void (*)())                                                      \
    X(MclSetOutputFile, void (*)(MclHandle, const char*, const char*))                 \
    X(MclSetFrameRate, void (*)(MclHandle, double))                                    \
    X(MclSetKeepDuration, void (*)(MclHandle, int32_t))                                \
    X(MclForceCompatibility, void (*)(MclHandle, int32_t))                             \
    X(MclSetResolution, void (*)(MclHandle, int32_t, int32_t))                         \
    X(MclSetCodec, void (*)(MclHandle, int32_t, int32_t))                              \
    X(MclSetBitRate, void (*)(MclHandle, int32_t, int32_t, int32_t, int32_t, int32_t)) \
    X(MclSetAudioFormat, void (*)(MclHandle, int32_t, int32_t, int32_t))               \
    X(MclConvert, int32_t (*)(MclHandle))                                              \
    X(MclCheckError, int32_t (*)())                                                    \
    X(MclAbort, void (*)(MclHandle))                                                   \
    X(MclGetElapsedTime, double (*)(MclHandle))                                        \
    X(MclGetRemainingTime, double (*)(MclHandle, int32_t, int32_t))                    \
    X(MclMakeTimeStr, void (*)(double, char*))                                         \
    X(MclListFree, void (*)(MclHandle))                                                \
    X(MclFree, void (*)(MclHandle))                                                    \
    X(MclGetFileInfo, int32_t (*)(const char*, int32_t, void*, MclScanCallback, void*))

// The records of the conversion library's file scan: the information record MclGetFileInfo
// fills and the progress record it hands its callback. Both sides of the module boundary (the
// library and the probe) use these layouts; every offset is checked at compile time.
// 4-byte packing: the audio rate is a double at offset 740, which natural alignment would move.
#pragma pack(push, 4)

struct MclFileInfo {
    char path[264];        // the path scanned, cut to fit
    char formatName[148];  // "AVI", "MPEG-1", "MPEG-2", "MPEG-2 (DVD)", "MPEG-2 (SVCD)", ...
    char videoCodec[128];  // e.g. "mpeg4", "mpeg2video"
    int32_t frameCount;    // video frames, counted from the packets
    double duration;       // seconds
    int64_t fileSize;      // bytes; -1 when unknown
    double frameRate;      // frames per second
    int32_t width;         // pixels
    int32_t height;
    int32_t audioSampleRate;  // Hz
    int32_t audioChannels;
    int32_t hasAudio;  // nonzero when the file has an audio stream
    int32_t hasVideo;
    char audioCodec[132];      // e.g. "mp2", "mp3"
    int32_t packBytes;         // MPEG program streams: the regular pack size, else 0
    int64_t audioSampleCount;  // per channel
    int32_t videoCd;           // nonzero: read through the sectors of a Video CD file
    double audioBitRate;       // bits per second
    char reserved[152];
};

// What the scan callback receives while MclGetFileInfo reads a file.
struct MclScanProgressRecord {
    int32_t recordBytes;  // sizeof(MclScanProgressRecord)
    int32_t framesSeen;   // video packets read so far
    int32_t reserved;
    double percent;  // of the file read; exactly -1.0 when the file's size is unknown
};

#pragma pack(pop)

static_assert(sizeof(MclFileInfo) == kMclFileInfoBytes);
static_assert(offsetof(MclFileInfo, formatName) == 264);
static_assert(offsetof(MclFileInfo, videoCodec) == 412);
static_assert(offsetof(MclFileInfo, frameCount) == 540);
static_assert(offsetof(MclFileInfo, duration) == 544);
static_assert(offsetof(MclFileInfo, frameRate) == 560);
static_assert(offsetof(MclFileInfo, width) == 568);
static_assert(offsetof(MclFileInfo, height) == 572);
static_assert(offsetof(MclFileInfo, hasAudio) == 584);
static_assert(offsetof(MclFileInfo, audioCodec) == 592);
static_assert(offsetof(MclFileInfo, audioBitRate) == 740);
static_assert(offsetof(MclScanProgressRecord, percent) == 12);

// The progress value that means "the total cannot be known".
inline constexpr double kMclUnknownPercent = -1.0;

// Two exports of our conversion library beyond the designed table, shared by the library and
// the join driver: what a configured conversion would do with its inputs (asked before a join,
// by the check of a list), and where each input landed in the output of a finished one.
inline constexpr size_t kMclPlanCodecBytes = 32;

#pragma pack(push, 4)

// One input as the conversion sees it.
struct MclPlanInput {
    char videoCodec[kMclPlanCodecBytes];  // FFmpeg's codec name, "" without video
    int32_t width;
    int32_t height;
    int32_t rateNum;  // the frame rate as the container gives it, reduced; 0/0 when unknown
    int32_t rateDen;
    char audioCodec[kMclPlanCodecBytes];  // "" without audio
    int32_t sampleRate;
    int32_t channels;
    // 1: the input differs from the first and is encoded to the first's format before the
    // others are copied around it; 0: it goes as the plan below says.
    int32_t encode;
};

// What the conversion does with each stream of the output.
struct MclPlanResult {
    // 1: the inputs' packets are copied (where some inputs are encoded to match the first, the
    // others'); 0: every input decoded and encoded again
    int32_t copyVideo;
    int32_t copyAudio;
    char videoCodec[kMclPlanCodecBytes];  // the output's codecs
    char audioCodec[kMclPlanCodecBytes];
    int32_t encodedInputs;  // how many inputs are encoded to match the first
    // An AVI output's audio tracks after those copied that are encoded (tracks the inputs do
    // not hold alike)
    int32_t encodedAudioTracks;
};

#pragma pack(pop)

extern "C" {
// "MclPlanJoin": the conversion's settings and video source, read as MclConvert would read
// them, without writing anything. Fills up to `capacity` inputs and *result; returns the number
// of inputs, or a negative error code (its text through MclGetErrorText).
using MclPlanJoinFn = int32_t (*)(MclHandle conversion, MclPlanInput* inputs, int32_t capacity,
                                  MclPlanResult* result);
}

extern "C" {
// "MclGetErrorText": the text of the library's last error, cut to fit `size` bytes; returns the
// text's full length.
using MclGetErrorTextFn = int32_t (*)(char* buffer, int32_t size);
// "MclGetInputReport": what the last MclConvert of `conversion` knows of its input `input` (0
// first): its start and length in the output (seconds; negative when not known) and what of it
// was left out (whole sentences, each ended by a line feed, cut to fit `warningBytes`); 1 when it
// knows the input, 0 otherwise.
using MclGetInputReportFn = int32_t (*)(MclHandle conversion, int32_t input, double* startSeconds,
                                        double* durationSeconds, char* warning,
                                        int32_t warningBytes);
// "MclWasInputEncoded": 1 when the last MclConvert of `conversion` encoded its input `input` to
// the first input's format before copying it in (the input differed from the first), 0 when the
// input was copied as it is or the whole list was encoded.
using MclWasInputEncodedFn = int32_t (*)(MclHandle conversion, int32_t input);
// "MclGetPicture": a picture of the file at `path` from about `fraction` (0..1) of its length,
// scaled to fit `maxWidth` x `maxHeight` with its shape kept, written into `pixels` (`capacity`
// bytes, at least maxWidth * maxHeight * 4) as rows of *width 32-bit B, G, R, A pixels; 1 when a
// picture was written, 0 for a file without one or one that cannot be decoded. Any thread.
using MclGetPictureFn = int32_t (*)(const char* path, double fraction, int32_t maxWidth,
                                    int32_t maxHeight, uint8_t* pixels, int32_t capacity,
                                    int32_t* width, int32_t* height);
// "MclPlanMatch": 1 when the file at `oddPath` can be encoded so that a join copying packets
// under the headers of the Windows Media or RealMedia file at `firstPath` takes it (its codecs,
// picture, rates and codec data made the first file's exactly), with the frame rate it is
// encoded at in *frameRate (may be null); 0 when it cannot, with the reason, a clause naming
// neither file, in `reason` (cut to fit `reasonBytes`); -1 when a file cannot be read (the
// reason says why).
using MclPlanMatchFn = int32_t (*)(const char* firstPath, const char* oddPath, double* frameRate,
                                   char* reason, int32_t reasonBytes);
// "MclEncodeToMatch": encodes `oddPath` so into `outputPath` on `conversion`, whose progress
// callback counts the output's frames and which MclAbort stops. 0, or a negative error code
// with its text through MclGetErrorText.
using MclEncodeToMatchFn = int32_t (*)(MclHandle conversion, const char* firstPath,
                                       const char* oddPath, const char* outputPath);
// "MclGetFileInfo", as the probe calls it.
using MclGetFileInfoFn = int32_t (*)(const char* path, int32_t flags, void* info,
                                     MclScanCallback callback, void* user);
}
