#include "engines/conversion/output_file.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engines/conversion/av_error.h"
#include "engines/conversion/ffmpeg_log.h"
#include "platform/growing_output.h"
#include "platform/read_fully.h"

// The muxer writes through a buffer of its own into this descriptor, which grows the file as
// GrowingOutput does: space reserved ahead, the bytes handed to the disk every few megabytes.
struct OutputFile::Sink {
    int fd = -1;
    uint64_t position = 0;
    uint64_t end = 0;  // one past the furthest byte written
    GrowingOutput growth;

    // (FFmpeg 5.1 declares the bytes writable.)
    static int Write(void* opaque, uint8_t* data, int size) {
        auto* sink = static_cast<Sink*>(opaque);
        int error = PwriteFully(sink->fd, sink->position, data, static_cast<size_t>(size));
        if (error != 0) {
            return AVERROR(error);
        }
        sink->position += static_cast<uint64_t>(size);
        if (sink->position > sink->end) {
            sink->end = sink->position;
            sink->growth.Wrote(sink->fd, sink->end);
        }
        return size;
    }

    static int64_t Seek(void* opaque, int64_t offset, int whence) {
        auto* sink = static_cast<Sink*>(opaque);
        int64_t base = 0;
        switch (whence & ~AVSEEK_FORCE) {
            case SEEK_SET:
                break;
            case SEEK_CUR:
                base = static_cast<int64_t>(sink->position);
                break;
            case SEEK_END:
                base = static_cast<int64_t>(sink->end);
                break;
            case AVSEEK_SIZE:
                return static_cast<int64_t>(sink->end);
            default:
                return AVERROR(EINVAL);
        }
        if (offset < -base) {
            return AVERROR(EINVAL);
        }
        sink->position = static_cast<uint64_t>(base + offset);
        return static_cast<int64_t>(sink->position);
    }
};

namespace {
constexpr int kSinkBufferBytes = 1 << 20;

// The failure of a muxer call, with what the muxer logged about it: its code alone says little
// ("Invalid argument").
std::string MuxerFailure(const std::string& what, int code) {
    std::string text = AvErrorText(what, code);
    std::string said = LastFfmpegError();
    return said.empty() ? text : text + " (" + said + ")";
}
}  // namespace

OutputFile::OutputFile() = default;

OutputFile::~OutputFile() {
    Discard();
}

int OutputFile::CloseSink() {
    int result = 0;
    if (m_context != nullptr && m_context->pb != nullptr) {
        avio_flush(m_context->pb);
        result = m_context->pb->error;
        av_freep(&m_context->pb->buffer);
        avio_context_free(&m_context->pb);
    }
    if (m_sink != nullptr) {
        if (m_sink->fd >= 0) {
            int released = m_sink->growth.Finish(m_sink->fd);
            if (released != 0 && result == 0) {
                result = AVERROR(released);
            }
            if (::close(m_sink->fd) != 0 && result == 0) {
                result = AVERROR(errno);
            }
        }
        m_sink.reset();
    }
    return result;
}

void OutputFile::Discard() {
    if (m_context != nullptr) {
        CloseSink();
        avformat_free_context(m_context);
        m_context = nullptr;
    }
    m_hidden.Discard();
}

int OutputFile::Create(const std::string& path, const char* muxer, std::string* error) {
    InstallFfmpegLog();
    m_path = path;
    int result = avformat_alloc_output_context2(&m_context, nullptr, muxer, nullptr);
    if (result < 0 || m_context == nullptr) {
        *error = AvErrorText(std::string("Cannot write the ") + muxer + " format", result);
        return result < 0 ? result : AVERROR(ENOMEM);
    }
    return 0;
}

AVStream* OutputFile::AddStream() {
    return avformat_new_stream(m_context, nullptr);
}

int OutputFile::Start(AVDictionary** options, std::string* error) {
    if (int failure = m_hidden.Open(m_path)) {
        *error = "Cannot write in the folder " + m_hidden.Folder() + ": " + std::strerror(failure);
        return AVERROR(failure);
    }
    return OpenAndWriteHeader(m_hidden.WritePath(), options, error);
}

int OutputFile::OpenAndWriteHeader(const std::string& target, AVDictionary** options,
                                   std::string* error) {
    m_sink = std::make_unique<Sink>();
    m_sink->fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_sink->fd < 0) {
        int result = AVERROR(errno);
        *error = AvErrorText("Cannot write " + m_path, result);
        return result;
    }
    auto* buffer = static_cast<unsigned char*>(av_malloc(kSinkBufferBytes));
    m_context->pb = buffer == nullptr
                        ? nullptr
                        : avio_alloc_context(buffer, kSinkBufferBytes, 1, m_sink.get(), nullptr,
                                             &Sink::Write, &Sink::Seek);
    if (m_context->pb != nullptr) {
        // Whole buffers to the file, not a system call for every pack the muxer finishes.
        m_context->pb->min_packet_size = kSinkBufferBytes;
    } else {
        av_free(buffer);
        *error = AvErrorText("Cannot write " + m_path, AVERROR(ENOMEM));
        return AVERROR(ENOMEM);
    }
    ClearFfmpegError();
    int result = avformat_write_header(m_context, options);
    if (result < 0) {
        *error = MuxerFailure("Cannot start writing " + m_path, result);
        return result;
    }
    m_headerWritten = true;
    return 0;
}

int OutputFile::Write(AVPacket* packet, std::string* error) {
    ClearFfmpegError();
    int result = av_interleaved_write_frame(m_context, packet);
    if (result < 0) {
        *error = MuxerFailure("Cannot write " + m_path, result);
    }
    return result;
}

int OutputFile::Finish(std::string* error) {
    ClearFfmpegError();
    int result = av_write_trailer(m_context);
    int closed = CloseSink();
    if (result >= 0) {
        result = closed;
    }
    if (result < 0) {
        *error = MuxerFailure("Cannot finish writing " + m_path, result);
        return result;
    }
    if (int failure = m_hidden.Commit()) {
        *error = "Cannot put the converted file at " + m_path + ": " + std::strerror(failure);
        return AVERROR(failure);
    }
    return 0;
}
