// Scans remembered per file while the file keeps its size and modification time, so that the
// scan made when a file is added also serves the join's totals. A pipe or a device is read anew
// every time.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

template <typename Scan>
class RememberedScans {
public:
    // The scan remembered for `path`, or `scanFile(scan)`'s (remembered when it gives 0).
    template <typename ScanFile>
    int Get(const std::string& path, Scan* scan, ScanFile scanFile) {
        Stamp stamp;
        bool stamped = StampOf(path, &stamp);
        if (stamped) {
            std::lock_guard<std::mutex> lock(m_mutex);
            auto it = m_scans.find(path);
            if (it != m_scans.end() && it->second.stamp == stamp) {
                *scan = it->second.scan;
                return 0;
            }
        }
        int result = scanFile(scan);
        if (result == 0 && stamped) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_scans[path] = Remembered{stamp, *scan};
        }
        return result;
    }

private:
    // The file's identity too: a path such as /proc/self/fd/N names other files over time.
    struct Stamp {
        int64_t size = -1;
        int64_t modified = 0;  // nanoseconds
        uint64_t device = 0;
        uint64_t inode = 0;
        bool operator==(const Stamp&) const = default;
    };
    struct Remembered {
        Stamp stamp;
        Scan scan;
    };

    static bool StampOf(const std::string& path, Stamp* stamp) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            return false;
        }
        stamp->size = info.st_size;
        stamp->modified =
            static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        stamp->device = static_cast<uint64_t>(info.st_dev);
        stamp->inode = static_cast<uint64_t>(info.st_ino);
        return true;
    }

    std::mutex m_mutex;
    std::map<std::string, Remembered> m_scans;
};
