// The conversion library's entry points, resolved by name when the program starts.
#pragma once

#include <cstdint>
#include <type_traits>

class Module;

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

struct MclApiTable {
#define KJ_MCL_FIELD(name, type) std::type_identity_t<type> name = nullptr;
    KJ_MCL_ENTRY_POINTS(KJ_MCL_FIELD)
#undef KJ_MCL_FIELD

    // One more export of our library, beyond the designed table: the text of its last error,
    // for the failure dialog. (Its encoders are asked through the compressor manager, vfw.h.)
    int32_t (*MclGetErrorText)(char* buffer, int32_t size) = nullptr;
    // Optional as well (mcl_plan.h): a conversion's plan without running it.
    int32_t (*MclPlanJoin)(MclHandle, struct MclPlanInput*, int32_t,
                           struct MclPlanResult*) = nullptr;
    // And, when the library has it, what a join knows of each input: its start and length in
    // the output and what of it was left out (whole sentences, each ended by a line feed); 1
    // when it knows the input.
    int32_t (*MclGetInputReport)(MclHandle conversion, int32_t input, double* startSeconds,
                                 double* durationSeconds, char* warning,
                                 int32_t warningBytes) = nullptr;

    // Number of entry points of the designed table that were found.
    int ResolvedCount() const;
    static constexpr int kEntryPointCount = 31;
};

// The process-wide table; every entry empty until the library is loaded.
extern MclApiTable MclApi;

// Resolves every entry point of `module` into MclApi (missing ones stay empty); with no module
// it empties the table.
void LoadMclApi(const Module* module);
