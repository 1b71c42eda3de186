// The records of the conversion library's file scan: the information record MclGetFileInfo
// fills and the progress record it hands its callback. Both sides of the module boundary (the
// library and the probe) use these layouts; every offset is checked at compile time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mcljoin/mcl_api.h"

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
