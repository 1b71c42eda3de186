// A plain file handle with positioned reads and writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/com.h"
#include "platform/growing_output.h"

namespace asf {

class File {
public:
    enum class Mode { Read, ReadWrite, Create };

    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    HRESULT Open(const std::string& path, Mode mode);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // Reads exactly n bytes at off; ASF_E_BUFFEROVERRUN when the file ends first.
    HRESULT ReadAt(uint64_t off, void* buffer, size_t n) const;
    // Reads up to n bytes at off; *got tells how many.
    HRESULT ReadSome(uint64_t off, void* buffer, size_t n, size_t* got) const;
    HRESULT WriteAt(uint64_t off, const void* buffer, size_t n);
    HRESULT Truncate(uint64_t size);
    HRESULT Sync();
    // After the bytes before `end` were written in order: reserves space ahead and starts
    // writing them to the disk, without waiting (see GrowingOutput).
    void Grew(uint64_t end) { m_growth.Wrote(m_fd, end); }
    uint64_t Size() const;

private:
    int m_fd = -1;
    GrowingOutput m_growth;
};

}  // namespace asf
