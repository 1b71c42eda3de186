// The one owner of a file descriptor that the engines read and write by position: opened for
// reading, for update or created, closed (with the disk space reserved ahead given back) when
// its owner goes. Results are errno values; each engine turns them into its own codes.
// Header-only, so that every engine module can use it without linking the platform library.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/growing_output.h"
#include "platform/read_fully.h"

class DescriptorFile {
public:
    enum class Mode { Read, ReadWrite, Create };

    DescriptorFile() = default;
    ~DescriptorFile() { Close(); }
    DescriptorFile(const DescriptorFile&) = delete;
    DescriptorFile& operator=(const DescriptorFile&) = delete;

    // 0, or an errno value. Only regular files open: folders, devices and pipes are not media
    // files (EINVAL).
    int Open(const std::string& path, Mode mode) {
        Close();
        if (path.empty()) {
            return EINVAL;
        }
        // Not blocking: opening a pipe by mistake must not wait for a writer; a regular file
        // reads the same either way.
        int flags = O_CLOEXEC;
        switch (mode) {
            case Mode::Read:
                flags |= O_RDONLY | O_NONBLOCK;
                break;
            case Mode::ReadWrite:
                flags |= O_RDWR | O_NONBLOCK;
                break;
            case Mode::Create:
                flags |= O_RDWR | O_CREAT | O_TRUNC;
                break;
        }
        m_fd = ::open(path.c_str(), flags, 0644);
        if (m_fd < 0) {
            return errno;
        }
        struct stat st {};
        if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            Close();
            return EINVAL;
        }
        if (mode == Mode::Read) {
            AdviseReadingInOrder(m_fd);
        }
        return 0;
    }

    // Gives back what was reserved and not written, then closes; 0 or the first errno value.
    int Close() {
        if (m_fd < 0) {
            return 0;
        }
        int error = m_growth.Finish(m_fd);
        if (::close(m_fd) != 0 && error == 0) {
            error = errno;
        }
        m_fd = -1;
        return error;
    }

    bool IsOpen() const { return m_fd >= 0; }
    // For system calls that take two descriptors (an in-kernel copy); -1 when closed.
    int Descriptor() const { return m_fd; }

    // The bytes read at `offset`: `count` unless the file ends first or a read fails (then
    // *failed, when given, says which).
    size_t ReadSome(uint64_t offset, void* out, size_t count, bool* failed = nullptr) const {
        return PreadFully(m_fd, offset, out, count, failed);
    }
    // 0, or an errno value.
    int WriteAt(uint64_t offset, const void* data, size_t count) {
        return PwriteFully(m_fd, offset, data, count);
    }
    int Truncate(uint64_t size) {
        return ::ftruncate(m_fd, static_cast<off_t>(size)) == 0 ? 0 : errno;
    }
    int Sync() { return ::fsync(m_fd) == 0 ? 0 : errno; }
    uint64_t Size() const {
        struct stat st {};
        if (m_fd < 0 || ::fstat(m_fd, &st) != 0) {
            return 0;
        }
        return static_cast<uint64_t>(st.st_size);
    }

    // After the bytes before `end` were written in order: reserves space ahead and starts
    // writing them to the disk, without waiting (see GrowingOutput).
    void Grew(uint64_t end) { m_growth.Wrote(m_fd, end); }

private:
    int m_fd = -1;
    GrowingOutput m_growth;
};
