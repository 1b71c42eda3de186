// The video compressor of an AVI join: the first row's own, else one that is always there.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// True when a compressor for `fourcc` opens (and it is closed again at once).
using CompressorOpen = std::function<bool(uint32_t fourcc)>;

// The compressor check FindVideoCodec uses; an empty one restores the default, the compressor
// manager's ICOpen for compression (answered from the conversion library's encoders).
void SetCompressorOpen(CompressorOpen open);

// The FourCC to compress with: `fourcc` itself, else "divx", else "mp42", the first whose
// compressor opens; 0 when none does.
uint32_t FindVideoCodec(uint32_t fourcc);

// The four characters of a FourCC in memory order (lowest byte first).
std::string FourCCToText(uint32_t fourcc);
