// Handing a growing output to the disk as it is written. Without it the kernel keeps the dirty
// pages until the final flush, which then waits for the whole file; started every few megabytes,
// the disk writes while the join goes on, and one file's dirty pages do not fill the page cache.
// Header-only, so that every engine module can use it without linking the platform library.
#pragma once

#include <fcntl.h>

#include <cstdint>

class WritebackPacer {
public:
    static constexpr uint64_t kStepBytes = 8u << 20;

    // Call after the bytes of `fd` before `end` were written in order. Only starts the writing:
    // it neither waits for the disk nor reports its errors (the final flush does).
    void Wrote(int fd, uint64_t end) {
        if (end >= m_started + kStepBytes) {
            ::sync_file_range(fd, static_cast<off_t>(m_started),
                              static_cast<off_t>(end - m_started), SYNC_FILE_RANGE_WRITE);
            m_started = end;
        }
    }

private:
    uint64_t m_started = 0;
};
