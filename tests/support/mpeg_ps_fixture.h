// Test support: MPEG program streams edited byte by byte the way other software leaves them,
// starting from files the ffmpeg command made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kjtest {

// An audio stream of a program stream: its stream id (0xC0..0xDF, or 0xBD with a sub id).
struct PsAudioId {
    uint8_t streamId = 0xC0;
    int subId = -1;  // private stream 1: 0x80 AC-3, 0xA0 LPCM ...
};

// `ps` with the audio stream `id` ending `keep` bytes into its last frame, as a title from an
// authoring tool does (DeVeDe's end 8 bytes into an MP2 frame): the data after that in its
// packet, and its later packets, become padding packets of the same size, so every pack keeps
// its size. Frames are found from their headers (MPEG audio layer II, AC-3 at 48 kHz); LPCM
// ends inside a sample group half-way through its last packet. Empty when the stream or its
// frames are not found.
std::vector<uint8_t> EndAudioInsideItsLastFrame(const std::vector<uint8_t>& ps, PsAudioId id,
                                                size_t keep);

}  // namespace kjtest
