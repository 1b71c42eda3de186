// What the conversion library knows of one input after reading it through: what the file scan
// reports and what the join needs for its totals and its choice between copying and encoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

struct MediaScan {
    std::string formatName;  // "AVI", "MPEG-1", "MPEG-2", ...
    // Video: the first video stream.
    bool hasVideo = false;
    std::string videoCodec;
    int64_t frameCount = 0;  // counted from the packets, without decoding
    double frameRate = 0.0;
    int width = 0;
    int height = 0;
    double duration = 0.0;  // seconds
    // Audio: the first audio stream.
    bool hasAudio = false;
    std::string audioCodec;
    int64_t audioBitRate = 0;  // bits per second
    int audioSampleRate = 0;
    int audioChannels = 0;
    int64_t audioSampleCount = 0;  // samples per channel over the whole file
    // MPEG program streams: the disc standard the stream follows ("VCD", "SVCD", "DVD"), from
    // its video codec, picture size and pack size; empty for anything else.
    std::string standard;
    int packBytes = 0;     // the pack size every pack of the stream has, 0 when not regular
    bool videoCd = false;  // read through the sectors of a Video CD (.DAT) file
};

// The pack size of an MPEG program stream whose first bytes are `head`: the distance between
// its pack headers when (nearly) all of them are that far apart, else 0.
int MpegPackBytes(const uint8_t* head, size_t size);

// The disc standard of an MPEG stream ("VCD", "SVCD", "DVD" or empty), from what the scan found.
std::string MpegStandard(const MediaScan& scan);

// Called as the scan advances (whenever the whole percentage changes, and at least every few
// hundred packets) with the percentage of the file read, or -1.0 when the file's size cannot be
// known.
using ScanProgress = std::function<void(double percent)>;

// Reads `path` through and fills *scan. 0 on success, otherwise an FFmpeg error code and a
// readable reason in *error; a file that breaks off keeps in *scan what was read before.
int ScanMedia(const std::string& path, MediaScan* scan, const ScanProgress& progress,
              std::string* error);

// ScanMedia, remembered: a file scanned before in this process, unchanged since (the same size
// and modification time), is not read again, so the scan made when a file is added also serves
// the join's totals. `progress` is called only when the file is read.
int ScanMediaCached(const std::string& path, MediaScan* scan, const ScanProgress& progress,
                    std::string* error);
