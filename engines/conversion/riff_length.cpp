#include "engines/conversion/riff_length.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

#include "platform/bytes.h"
#include "platform/read_fully.h"
#include "platform/riff_format.h"

bool RiffFileCutShort(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    uint8_t head[riff::kRiffHeaderBytes] = {};
    size_t got = PreadFully(fd, 0, head, sizeof head);
    struct stat info {};
    bool stated = ::fstat(fd, &info) == 0;
    ::close(fd);
    ByteReader header(head, got);
    if (!stated || !header.Has(0, riff::kRiffHeaderBytes) || !header.Matches(0, riff::kRiff)) {
        return false;
    }
    return static_cast<uint64_t>(info.st_size) <
           riff::kChunkHeaderBytes + static_cast<uint64_t>(header.LE32(riff::kChunkSizeOffset));
}
