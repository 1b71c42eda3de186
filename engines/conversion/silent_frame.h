// Silence in a copied audio track's own codec: what an AVI join puts where an input's sound ends
// before its pictures, since an AVI's sound has no times and would otherwise run early.
#pragma once

#include <cstdint>
#include <string>

#include "engines/conversion/av_owners.h"

struct AVCodecParameters;

// One whole packet of silence for a track with the parameters `track`, and the samples it
// lasts. PCM is made for `pcmSamples` samples; a coded track gets one frame of its encoder
// (at the track's rate, channels and bit rate). Null when FFmpeg cannot make it.
PacketPtr MakeSilentPacket(const AVCodecParameters* track, int64_t pcmSamples, int64_t* samples);
