// An MPEG program stream read in order through a window of bytes: a plain file, or the sector
// payload of a Video CD file (past its front margin). Memory stays one window whatever the size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/bytes.h"

class CdxaPayloadReader;

class PsInput {
public:
    PsInput();
    ~PsInput();
    PsInput(const PsInput&) = delete;
    PsInput& operator=(const PsInput&) = delete;

    // Opens `path`; false with a readable reason in *error.
    bool Open(const std::string& path, std::string* error);
    // At least `want` bytes from the current position (fewer only at the end of the stream);
    // `want` is at most kMaxWant.
    ByteReader Window(size_t want);
    void Advance(size_t count);
    // Goes on from stream offset `position` of a plain file (what is before it was dealt with
    // otherwise); nothing for a Video CD file.
    void SkipTo(uint64_t position);
    // The bytes of the last Window, writable: a copier patches them in place before passing
    // them on. Valid until the next Window or Advance.
    uint8_t* WindowBytes() { return m_buffer.get() + m_begin; }
    // Offset of the current position in the stream (the payload, for a Video CD file).
    uint64_t Position() const { return m_position; }
    // Bytes of the file read so far, against FileBytes(): for progress.
    uint64_t FileOffset() const;
    uint64_t FileBytes() const { return m_fileBytes; }
    bool VideoCd() const { return m_cdxa != nullptr; }
    int Fd() const { return m_fd; }
    bool Failed() const { return m_failed; }

    static constexpr size_t kMaxWant = size_t{128} << 10;

private:
    size_t ReadMore(uint8_t* out, size_t count);

    int m_fd = -1;
    std::unique_ptr<CdxaPayloadReader> m_cdxa;
    std::unique_ptr<uint8_t[]> m_buffer;
    size_t m_capacity = 0;
    size_t m_begin = 0;  // window in m_buffer
    size_t m_end = 0;
    uint64_t m_position = 0;
    uint64_t m_fileRead = 0;
    uint64_t m_fileBytes = 0;
    bool m_atEnd = false;
    bool m_failed = false;
};

// True when the first bytes of `path` are those of an MPEG program stream (a pack header first,
// after at most a few bytes of other data) or of a Video CD file holding one.
bool LooksLikeProgramStream(const std::string& path);
