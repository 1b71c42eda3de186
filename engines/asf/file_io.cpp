#include "engines/asf/file_io.h"

#include <cerrno>

#include "engines/asf/wmsdk.h"

namespace asf {

namespace {
HRESULT OpenResult(int error) {
    switch (error) {
        case 0:
            return S_OK;
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
        case EMFILE:
        case ENFILE:
            return E_TOO_MANY_OPEN_FILES;
        case EINVAL:
            return E_INVALIDARG;  // no path, or not a regular file
        default:
            return E_FAIL;
    }
}

HRESULT WriteResult(int error) {
    if (error == 0) {
        return S_OK;
    }
    return error == ENOSPC ? E_DISK_FULL : E_WRITE_FAULT;
}
}  // namespace

HRESULT OpenFile(File& file, const std::string& path, File::Mode mode) {
    return OpenResult(file.Open(path, mode));
}

HRESULT CreateOutput(HiddenOutput& hidden, File& file, const std::string& path) {
    HRESULT hr = OpenResult(hidden.Open(path));
    if (SUCCEEDED(hr)) {
        hr = OpenFile(file, hidden.WritePath(), File::Mode::Create);
    }
    if (FAILED(hr)) {
        hidden.Discard();
    }
    return hr;
}

HRESULT NameOutput(HiddenOutput& hidden, File& file) {
    HRESULT hr = WriteResult(file.Close());
    if (SUCCEEDED(hr)) {
        hr = WriteResult(hidden.Commit());
    }
    if (FAILED(hr)) {
        hidden.Discard();
    }
    return hr;
}

HRESULT ReadAt(const File& file, uint64_t off, void* buffer, size_t n) {
    bool failed = false;
    size_t got = file.ReadSome(off, buffer, n, &failed);
    if (failed) {
        return E_READ_FAULT;
    }
    return got == n ? S_OK : ASF_E_BUFFEROVERRUN;
}

HRESULT WriteAt(File& file, uint64_t off, const void* buffer, size_t n) {
    return WriteResult(file.WriteAt(off, buffer, n));
}

HRESULT Truncate(File& file, uint64_t size) {
    return file.Truncate(size) == 0 ? S_OK : E_WRITE_FAULT;
}

HRESULT Sync(File& file) {
    return file.Sync() == 0 ? S_OK : E_WRITE_FAULT;
}

}  // namespace asf
