// Read-only access to the start of a media file for the header readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A file opened for reading, read at explicit positions; closed with the object.
class HeaderFile {
public:
    HeaderFile() = default;
    ~HeaderFile();
    HeaderFile(const HeaderFile&) = delete;
    HeaderFile& operator=(const HeaderFile&) = delete;

    // False when the file cannot be opened for reading.
    bool Open(const std::string& path);

    // Reads up to `count` bytes at `offset` into `out`; fewer only at the end of the file or on
    // a read error. Returns the number of bytes read.
    size_t ReadAt(uint64_t offset, uint8_t* out, size_t count);

private:
    int m_fd = -1;
};

// The first `maxBytes` bytes of the file (fewer when it is shorter) into `out`.
// False when the file cannot be opened.
bool ReadFileHead(const std::string& path, size_t maxBytes, std::vector<uint8_t>& out);
