// The engines' one way of writing a joined file front to back: into a HiddenOutput (nothing at
// the output path until Finish), through a buffer that goes to the file in whole pieces, the
// file growing as GrowingOutput has it (space reserved ahead, the bytes handed to the disk every
// few megabytes). Runs of bytes that lie in another file can be copied inside the kernel. The
// first failure is kept and ends the writing; Finish reports it, or puts the file in place.
// Header-only, so that every engine module can use it without linking the platform library.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/descriptor_file.h"
#include "platform/growing_output.h"
#include "platform/hidden_output.h"

class OutputWriter {
public:
    // Output goes to the file in whole buffers of this size; a small output never takes that much.
    // The buffer stays in the processor's cache between being filled and being copied into the
    // page cache: with 8 MB buffers every byte went through memory twice more, and the Real Media
    // and MPEG joins took 1.2 to 2 times as long as `cat`.
    static constexpr size_t kBufferBytes = size_t{512} << 10;
    static constexpr size_t kSmallBytes = size_t{64} << 10;
    // In-kernel copies go in steps this large, so that the writeback keeps up.
    static constexpr uint64_t kCopyStep = GrowingOutput::kWritebackStep;

    // 0 or an errno value (also kept as Error()).
    int Open(const std::string& path, bool allowUnnamed = true) {
        m_error = m_hidden.Open(path, allowUnnamed);
        if (m_error == 0) {
            m_error = m_file.Open(m_hidden.WritePath(), DescriptorFile::Mode::Create);
        }
        return m_error;
    }

    // 0 or the first errno value so far.
    int Write(const void* data, size_t size) {
        if (m_error != 0) {
            return m_error;
        }
        if (m_buffer.capacity() < kBufferBytes && m_buffer.size() + size > kSmallBytes) {
            m_buffer.reserve(kBufferBytes);  // once: a large output is written in whole buffers
        }
        if (m_buffer.size() + size > kBufferBytes && Flush() != 0) {
            return m_error;
        }
        if (size >= kBufferBytes) {
            return Put(data, size);
        }
        const auto* p = static_cast<const uint8_t*>(data);
        m_buffer.insert(m_buffer.end(), p, p + size);
        return 0;
    }

    // Appends `count` bytes of the file `fd` from `offset` inside the kernel. False, with nothing
    // appended, where the file systems cannot: the caller then copies the bytes itself.
    bool CopyFrom(int fd, uint64_t offset, uint64_t count) {
        if (Flush() != 0) {
            return true;  // the failure is kept
        }
        uint64_t done = 0;
        while (done < count) {
            loff_t from = static_cast<loff_t>(offset + done);
            loff_t to = static_cast<loff_t>(m_written);
            size_t step = static_cast<size_t>(std::min<uint64_t>(count - done, kCopyStep));
            ssize_t n = ::copy_file_range(fd, &from, m_file.Descriptor(), &to, step, 0);
            if (n <= 0) {
                if (done == 0) {
                    return false;
                }
                m_error = n < 0 ? errno : EIO;
                return true;
            }
            done += static_cast<uint64_t>(n);
            m_written += static_cast<uint64_t>(n);
            m_file.Grew(m_written);
        }
        return true;
    }

    uint64_t Offset() const { return m_written + m_buffer.size(); }
    int Error() const { return m_error; }

    // Writes what is left, closes the file and puts it at the output path: 0, or the first
    // errno value (then nothing is put there).
    int Finish() {
        Flush();
        int closed = m_file.Close();
        if (m_error == 0) {
            m_error = closed;
        }
        if (m_error == 0) {
            m_error = m_hidden.Commit();
        }
        if (m_error != 0) {
            m_hidden.Discard();
        }
        return m_error;
    }

    // Drops the unfinished file; the output path is not touched.
    void Abandon() {
        m_file.Close();
        m_hidden.Discard();
        m_buffer.clear();
    }

private:
    int Flush() {
        if (m_error == 0 && !m_buffer.empty()) {
            Put(m_buffer.data(), m_buffer.size());
        }
        m_buffer.clear();
        return m_error;
    }

    int Put(const void* data, size_t size) {
        m_error = m_file.WriteAt(m_written, data, size);
        if (m_error == 0) {
            m_written += size;
            m_file.Grew(m_written);
        }
        return m_error;
    }

    HiddenOutput m_hidden;  // outlives m_file: destroyed after it
    DescriptorFile m_file;
    std::vector<uint8_t> m_buffer;
    uint64_t m_written = 0;
    int m_error = 0;
};
