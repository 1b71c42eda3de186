// What the conversion library knows of one input after reading it through: what the file scan
// reports and what the join needs for its totals and its choice between copying and encoding.
#pragma once

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
};

// Called as the scan advances with the percentage of the file read, or -1.0 when the file's size
// cannot be known.
using ScanProgress = std::function<void(double percent)>;

// Reads `path` through and fills *scan. 0 on success, otherwise an FFmpeg error code and a
// readable reason in *error.
int ScanMedia(const std::string& path, MediaScan* scan, const ScanProgress& progress,
              std::string* error);
