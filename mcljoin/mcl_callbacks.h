// The callbacks the AVI and MPEG join hands the conversion library, and the process-wide state
// of the one conversion they serve.
#pragma once

#include <cstdint>

#include "mcljoin/mcl_api.h"

class JoinHost;

struct MclJoinState {
    MclHandle conversion = 0;
    MclHandle videoList = 0;
    MclHandle audioList = 0;
    int32_t totalFrames = 0;
    int32_t totalSamples = 0;
    JoinHost* host = nullptr;  // progress and the pump go here while a join runs
};

// The running conversion's state (one join at a time).
extern MclJoinState g_mclJoin;

extern "C" {
int32_t MclVideoSourceCallback(MclHandle source, int32_t index);
int32_t MclAudioSourceCallback(MclHandle source, int32_t index);
void MclAudioFuncCallback(int32_t, int32_t, int32_t);
void MclProgressCallback(MclHandle conversion, int32_t status, int32_t frame, int32_t sample);
void MclErrorCallback(int32_t, int32_t, int32_t* answer);
}
