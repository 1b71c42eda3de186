#include "engines/asf/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engines/asf/wmsdk.h"
#include "platform/read_fully.h"

namespace asf {

namespace {
HRESULT FromErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return E_FILE_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
            return E_ACCESSDENIED;
        case ENOSPC:
        case EDQUOT:
            return E_DISK_FULL;
        case ENOMEM:
            return E_OUTOFMEMORY;
        default:
            return E_FAIL;
    }
}
}  // namespace

File::~File() {
    Close();
}

HRESULT File::Open(const std::string& path, Mode mode) {
    Close();
    if (path.empty()) {
        return E_INVALIDARG;
    }
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::Read:
            flags |= O_RDONLY;
            break;
        case Mode::ReadWrite:
            flags |= O_RDWR;
            break;
        case Mode::Create:
            flags |= O_RDWR | O_CREAT | O_TRUNC;
            break;
    }
    m_fd = ::open(path.c_str(), flags, 0644);
    if (m_fd < 0) {
        return FromErrno(errno);
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        Close();
        return E_INVALIDARG;  // folders, devices and pipes are not media files
    }
    if (mode == Mode::Read) {
        AdviseReadingInOrder(m_fd);
    }
    return S_OK;
}

void File::Close() {
    if (m_fd >= 0) {
        m_growth.Finish(m_fd);  // only frees what was reserved and not written
        ::close(m_fd);
        m_fd = -1;
    }
}

HRESULT File::ReadSome(uint64_t off, void* buffer, size_t n, size_t* got) const {
    bool failed = false;
    *got = PreadFully(m_fd, off, buffer, n, &failed);
    return failed ? E_READ_FAULT : S_OK;
}

HRESULT File::ReadAt(uint64_t off, void* buffer, size_t n) const {
    size_t got = 0;
    HRESULT hr = ReadSome(off, buffer, n, &got);
    if (FAILED(hr)) {
        return hr;
    }
    return got == n ? S_OK : ASF_E_BUFFEROVERRUN;
}

HRESULT File::WriteAt(uint64_t off, const void* buffer, size_t n) {
    int error = PwriteFully(m_fd, off, buffer, n);
    if (error == 0) {
        return S_OK;
    }
    return error == ENOSPC ? E_DISK_FULL : E_WRITE_FAULT;
}

HRESULT File::Truncate(uint64_t size) {
    return ::ftruncate(m_fd, static_cast<off_t>(size)) == 0 ? S_OK : E_WRITE_FAULT;
}

HRESULT File::Sync() {
    return ::fsync(m_fd) == 0 ? S_OK : E_WRITE_FAULT;
}

uint64_t File::Size() const {
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) {
        return 0;
    }
    return static_cast<uint64_t>(st.st_size);
}

}  // namespace asf
