// The scratch record the header readers fill during one probe.
#pragma once

#include <cstddef>
#include <cstdint>

#include "probe/media_kind.h"

inline constexpr size_t kProbeAudioSlots = 3;
inline constexpr size_t kProbeAudioNameBytes = 129;  // 128 bytes of text and the terminator

struct ProbeAudioStream {
    uint16_t formatTag = 0;                // WAVE format tag; 0 = none
    char name[kProbeAudioNameBytes] = {};  // UTF-8, NUL-terminated
    uint32_t nameKnown = 0;                // the name is final: no format-tag lookup
    uint32_t byteRate = 0;                 // bytes per second
};

struct ProbeInfo {
    FileTypeCode typeCode = kTypeUnknown;
    uint32_t duration = 0;    // whole seconds
    char videoCodec[5] = {};  // FourCC characters, NUL-terminated
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t frameCount = 0;
    uint32_t frameRateMilli = 0;  // frames per second x 1000
    uint32_t videoDuration = 0;   // whole seconds
    uint8_t audioCount = 0;       // audio streams seen; may exceed the slots
    ProbeAudioStream audio[kProbeAudioSlots];

    void Clear() { *this = ProbeInfo{}; }
};

// The one process-wide instance used by the probe (one probe runs at a time).
extern ProbeInfo g_probeInfo;

// Size of the header window the ASF and RealMedia readers look at.
inline constexpr size_t kHeaderReadBytes = 16384;

// Copies text into a fixed, NUL-terminated slot, cutting it at a UTF-8 character boundary.
void CopyTextToSlot(const char* text, size_t length, char* slot, size_t slotBytes);
