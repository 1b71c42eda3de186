// Helps a file written front to back reach the disk well, for the engines' outputs:
//  - disk space is reserved some way ahead of the writing, so the file system finds room for
//    the file in large runs instead of a page at a time as the pages are written (measured:
//    about a tenth less time for a join that copies from the page cache);
//  - what is written is handed to the disk every few megabytes: without it the kernel keeps the
//    dirty pages until the final flush, which then waits for the whole file, and one file's dirty
//    pages fill the page cache.
// Neither step is needed for the file to be right: where the file system cannot reserve space,
// or the disk is full, the writes themselves report it. Header-only, so that every engine module
// can use it without linking the platform library.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

class GrowingOutput {
public:
    static constexpr uint64_t kWritebackStep = uint64_t{8} << 20;
    static constexpr uint64_t kReserveAhead = uint64_t{64} << 20;
    static constexpr uint64_t kFirstReserve = uint64_t{1} << 20;

    // How far ahead of `end` space is reserved: as much as was written, from kFirstReserve up
    // to kReserveAhead, so that a small output does not take (and, on a memory file system,
    // zero) 64 MB it will give back.
    static constexpr uint64_t AheadOf(uint64_t end) {
        return end < kFirstReserve ? kFirstReserve : end < kReserveAhead ? end : kReserveAhead;
    }

    // Call after the bytes of `fd` before `end` were written in order.
    void Wrote(int fd, uint64_t end) {
        uint64_t ahead = AheadOf(end);
        if (m_reserving && end + ahead / 2 > m_reserved) {
            uint64_t upTo = end + ahead;
            m_tried = true;
            m_reserving = ::fallocate(fd, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(m_reserved),
                                      static_cast<off_t>(upTo - m_reserved)) == 0;
            if (m_reserving) {
                m_reserved = upTo;
            }
        }
        if (end >= m_started + kWritebackStep) {
            ::sync_file_range(fd, static_cast<off_t>(m_started),
                              static_cast<off_t>(end - m_started), SYNC_FILE_RANGE_WRITE);
            m_started = end;
        }
    }

    // Gives back the space reserved past the end of the file, once the writing is over; 0 or
    // an errno value.
    int Finish(int fd) {
        // A reservation that failed may still have taken part of its space.
        if (!m_tried) {
            return 0;
        }
        m_tried = false;
        struct stat info {};
        if (::fstat(fd, &info) != 0) {
            return errno;
        }
        // Cutting a file to its own length frees what lies beyond it.
        return ::ftruncate(fd, info.st_size) == 0 ? 0 : errno;
    }

private:
    uint64_t m_started = 0;
    uint64_t m_reserved = 0;
    bool m_reserving = true;
    bool m_tried = false;
};
