#include "engines/conversion/mpeg_ps_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engines/conversion/cdxa_reader.h"
#include "engines/conversion/mpeg_ps_facts.h"
#include "platform/read_fully.h"

namespace {

// Reads go to the file in steps this large: enough to make few calls, and small enough that the
// bytes are still in the processor's cache when the copier patches them and passes them on (4 MB
// steps made the copy of 2 x 72 MB half as fast again; the kernel's read-ahead keeps the disk
// busy either way).
constexpr size_t kReadStep = size_t{256} << 10;
constexpr size_t kHeadBytes = 4096;
// Bytes of other data allowed before the first pack header of a plain program stream (the
// type detection looks at 128 bytes).
constexpr size_t kLeadBytes = 124;

}  // namespace

PsInput::PsInput() = default;

PsInput::~PsInput() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool PsInput::Open(const std::string& path, std::string* error) {
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (m_fd < 0 || ::fstat(m_fd, &status) != 0) {
        *error = "Cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    m_fileBytes = static_cast<uint64_t>(std::max<off_t>(status.st_size, 0));
    AdviseReadingInOrder(m_fd);
    uint8_t head[kHeadBytes];
    size_t got = PreadFully(m_fd, 0, head, sizeof head);
    CdxaLayout layout;
    if (FindCdxaLayout(ByteReader(head, got), m_fileBytes, &layout)) {
        int fd = m_fd;
        auto readAt = [fd](uint64_t offset, uint8_t* out, size_t count) {
            return PreadFully(fd, offset, out, count);
        };
        SkipCdxaFrontMargin(readAt, &layout);
        m_cdxa = std::make_unique<CdxaPayloadReader>(readAt, layout);
    }
    // A small file needs no more than itself (the payload of a Video CD file is smaller still).
    m_capacity = kMaxWant + static_cast<size_t>(std::min<uint64_t>(kReadStep, m_fileBytes + 1));
    m_buffer.reset(new uint8_t[m_capacity]);  // not cleared: only what was read is looked at
    return true;
}

size_t PsInput::ReadMore(uint8_t* out, size_t count) {
    if (m_cdxa != nullptr) {
        return m_cdxa->Read(out, count);
    }
    bool failed = false;
    size_t got = PreadFully(m_fd, m_fileRead, out, count, &failed);
    m_fileRead += got;
    m_failed = m_failed || failed;
    return got;
}

ByteReader PsInput::Window(size_t want) {
    want = std::min(want, kMaxWant);
    if (m_end - m_begin < want && !m_atEnd) {
        std::memmove(m_buffer.get(), m_buffer.get() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
        while (m_end < want && !m_atEnd) {
            size_t got = ReadMore(m_buffer.get() + m_end, m_capacity - m_end);
            m_end += got;
            m_atEnd = got == 0;
        }
    }
    return ByteReader(m_buffer.get() + m_begin, m_end - m_begin);
}

void PsInput::Advance(size_t count) {
    count = std::min(count, m_end - m_begin);
    m_begin += count;
    m_position += count;
}

void PsInput::SkipTo(uint64_t position) {
    if (m_cdxa != nullptr) {
        return;
    }
    m_fileRead = position;
    m_position = position;
    m_begin = m_end = 0;
    m_atEnd = false;
}

uint64_t PsInput::FileOffset() const {
    return m_cdxa != nullptr ? m_cdxa->FileOffset() : m_fileRead;
}

bool LooksLikeProgramStream(const std::string& path) {
    // A pipe can be read once only: it is left whole for the general path.
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    uint8_t bytes[kHeadBytes];
    size_t got = PreadFully(fd, 0, bytes, sizeof bytes);
    ByteReader head(bytes, got);
    CdxaLayout layout;
    if (FindCdxaLayout(head, static_cast<uint64_t>(status.st_size), &layout)) {
        auto readAt = [fd](uint64_t offset, uint8_t* out, size_t count) {
            return PreadFully(fd, offset, out, count);
        };
        bool found = cdxa::FirstPackSector(readAt, layout.dataStart, layout.dataBytes) >= 0;
        ::close(fd);
        return found;
    }
    ::close(fd);
    for (size_t k = 0; k + 4 <= head.size() && k <= kLeadBytes; ++k) {
        if (head.U8(k) == 0 && head.U8(k + 1) == 0 && head.U8(k + 2) == 1 &&
            head.U8(k + 3) == mpegps::kPackStart) {
            return true;
        }
    }
    return false;
}
