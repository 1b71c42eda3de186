#include "engines/conversion/riff_length.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

#include "platform/bytes.h"
#include "platform/read_fully.h"

namespace {
// "RIFF", the chunk's size, its form type.
constexpr size_t kRiffHeadBytes = 12;
constexpr uint64_t kChunkHeaderBytes = 8;
}  // namespace

bool RiffFileCutShort(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    uint8_t head[kRiffHeadBytes] = {};
    size_t got = PreadFully(fd, 0, head, sizeof head);
    struct stat info {};
    bool stated = ::fstat(fd, &info) == 0;
    ::close(fd);
    ByteReader riff(head, got);
    if (!stated || !riff.Has(0, kRiffHeadBytes) || !riff.Matches(0, "RIFF")) {
        return false;
    }
    return static_cast<uint64_t>(info.st_size) <
           kChunkHeaderBytes + static_cast<uint64_t>(riff.LE32(4));
}
