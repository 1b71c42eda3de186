#include "engines/conversion/file_list.h"

#include <cmath>

namespace {

// Rates closer than this count as the same (a rate that went through single precision).
constexpr double kSameRateTolerance = 1e-4;

}  // namespace

int64_t OutputFrameCount(int64_t inputFrames, double inputRate, double outputRate) {
    if (inputRate <= 0.0 || outputRate <= 0.0 ||
        std::fabs(inputRate - outputRate) <= kSameRateTolerance * outputRate) {
        return inputFrames;
    }
    return std::llround(static_cast<double>(inputFrames) * outputRate / inputRate);
}

double OutputSegmentSeconds(const MediaScan& scan, double outputRate) {
    if (scan.hasVideo && outputRate > 0.0) {
        return static_cast<double>(OutputFrameCount(scan.frameCount, scan.frameRate, outputRate)) /
               outputRate;
    }
    return scan.audioSampleRate > 0
               ? static_cast<double>(scan.audioSampleCount) / scan.audioSampleRate
               : scan.duration;
}

void FileList::Add(const std::string& path, int32_t type) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.push_back({path, type});
}

size_t FileList::Size() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries.size();
}

bool FileList::Name(size_t index, std::string* path) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index >= m_entries.size()) {
        return false;
    }
    *path = m_entries[index].path;
    return true;
}

std::vector<MediaScan> FileList::Scans() const {
    std::vector<Entry> entries;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        entries = m_entries;
    }
    std::vector<MediaScan> scans;
    scans.reserve(entries.size());
    for (const Entry& entry : entries) {
        MediaScan scan;
        std::string error;
        // A file that cannot be read adds nothing; the conversion reports it by name.
        if (ScanMediaCached(entry.path, &scan, nullptr, &error) != 0) {
            scan = MediaScan{};
        }
        scans.push_back(scan);
    }
    return scans;
}

int64_t FileList::FrameCount() const {
    std::vector<MediaScan> scans = Scans();
    if (scans.empty()) {
        return 0;
    }
    double rate = scans.front().frameRate;
    int64_t total = 0;
    for (const MediaScan& scan : scans) {
        if (scan.hasVideo) {
            total += OutputFrameCount(scan.frameCount, scan.frameRate, rate);
        }
    }
    return total;
}

int64_t FileList::SampleCount() const {
    std::vector<MediaScan> scans = Scans();
    if (scans.empty()) {
        return 0;
    }
    double rate = scans.front().frameRate;
    double seconds = 0.0;
    for (const MediaScan& scan : scans) {
        seconds += OutputSegmentSeconds(scan, rate);
    }
    return std::llround(seconds * kOutputSampleRate);
}
