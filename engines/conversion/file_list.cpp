#include "engines/conversion/file_list.h"

#include <sys/stat.h>

#include <cmath>
#include <map>

namespace {

struct CachedEntry {
    int64_t size = -1;
    int64_t modified = 0;
    MediaScan scan;
};

std::mutex g_cacheMutex;
std::map<std::string, CachedEntry> g_cache;

bool FileStamp(const std::string& path, int64_t* size, int64_t* modified) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    *size = info.st_size;
    *modified = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return true;
}

// Rates closer than this count as the same (a rate that went through single precision).
constexpr double kSameRateTolerance = 1e-4;

}  // namespace

int CachedScan(const std::string& path, MediaScan* scan, std::string* error) {
    int64_t size = 0;
    int64_t modified = 0;
    bool stamped = FileStamp(path, &size, &modified);
    if (stamped) {
        std::lock_guard<std::mutex> lock(g_cacheMutex);
        auto it = g_cache.find(path);
        if (it != g_cache.end() && it->second.size == size && it->second.modified == modified) {
            *scan = it->second.scan;
            return 0;
        }
    }
    int result = ScanMedia(path, scan, nullptr, error);
    if (result == 0 && stamped) {
        std::lock_guard<std::mutex> lock(g_cacheMutex);
        g_cache[path] = CachedEntry{size, modified, *scan};
    }
    return result;
}

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
        if (CachedScan(entry.path, &scan, &error) != 0) {
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
