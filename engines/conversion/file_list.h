// A file list of the library: paths in the order they were added, with the totals a join of
// them will run to.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "engines/conversion/media_scan.h"

inline constexpr int32_t kListTypeVideo = 8;
inline constexpr int32_t kListTypeAudio = 16;

// The audio every join writes: 44100 Hz, whatever the inputs have.
inline constexpr int kOutputSampleRate = 44100;

// How many output frames an input of `inputFrames` frames at `inputRate` becomes at
// `outputRate` when its duration is kept (frames dropped or repeated).
int64_t OutputFrameCount(int64_t inputFrames, double inputRate, double outputRate);

// The seconds of output an input takes: its frames at the output rate; an input without video
// takes its audio's length.
double OutputSegmentSeconds(const MediaScan& scan, double outputRate);

class FileList {
public:
    void Add(const std::string& path, int32_t type);
    size_t Size() const;
    // The path at `index`, or false past the end.
    bool Name(size_t index, std::string* path) const;
    // Output frames of a join of the whole list at the first file's frame rate.
    int64_t FrameCount() const;
    // Output audio samples (per channel, at 44100 Hz) of that join.
    int64_t SampleCount() const;

private:
    struct Entry {
        std::string path;
        int32_t type = 0;
    };
    std::vector<MediaScan> Scans() const;

    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;
};
