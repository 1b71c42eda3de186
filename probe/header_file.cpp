#include "probe/header_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "platform/read_fully.h"

HeaderFile::~HeaderFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool HeaderFile::Open(const std::string& path) {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    // Opening never waits (a named pipe would block for a writer), and a folder opens for
    // reading here but is no file to read.
    struct stat status {};
    if (m_fd >= 0 && (::fstat(m_fd, &status) != 0 || S_ISDIR(status.st_mode))) {
        ::close(m_fd);
        m_fd = -1;
    }
    return m_fd >= 0;
}

size_t HeaderFile::ReadAt(uint64_t offset, uint8_t* out, size_t count) {
    if (m_fd < 0 || offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) {
        return 0;
    }
    return PreadFully(m_fd, offset, out, count);
}

bool ReadFileHead(const std::string& path, size_t maxBytes, std::vector<uint8_t>& out) {
    out.clear();
    HeaderFile file;
    if (!file.Open(path)) {
        return false;
    }
    out.resize(maxBytes);
    out.resize(file.ReadAt(0, out.data(), maxBytes));
    return true;
}
