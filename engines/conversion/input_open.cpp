#include "engines/conversion/input_open.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <mutex>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include "engines/conversion/av_error.h"
#include "engines/conversion/cdxa_reader.h"
#include "engines/conversion/ffmpeg_log.h"
#include "platform/read_fully.h"

namespace {

// Bytes looked at to recognise a wrapped file: enough for the RIFF chunks before "data".
constexpr size_t kHeadBytes = 4096;
constexpr int kAvioBufferBytes = 32768;

// The I/O under a Video CD file: libavformat reads the sectors' payload through it.
struct CdxaInput {
    int fd = -1;
    std::unique_ptr<CdxaPayloadReader> reader;
    ~CdxaInput() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

int CdxaRead(void* opaque, uint8_t* buffer, int size) {
    auto* input = static_cast<CdxaInput*>(opaque);
    size_t n = input->reader->Read(buffer, static_cast<size_t>(size));
    return n == 0 ? AVERROR_EOF : static_cast<int>(n);
}

int64_t CdxaSeek(void* opaque, int64_t offset, int whence) {
    auto* input = static_cast<CdxaInput*>(opaque);
    CdxaPayloadReader& reader = *input->reader;
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE) {
        return static_cast<int64_t>(reader.Size());
    }
    int64_t base = 0;
    if (whence == SEEK_CUR) {
        base = static_cast<int64_t>(reader.Position());
    } else if (whence == SEEK_END) {
        base = static_cast<int64_t>(reader.Size());
    } else if (whence != SEEK_SET) {
        return AVERROR(EINVAL);
    }
    if (offset < -base) {
        return AVERROR(EINVAL);
    }
    uint64_t target = static_cast<uint64_t>(base + offset);
    if (!reader.Seek(target)) {
        return AVERROR(EINVAL);
    }
    return static_cast<int64_t>(target);
}

// Opens `path` as a Video CD file when it is one: *pb is then an I/O context over the sectors'
// payload. 0 when it is not one (nothing opened), 1 when it is, or an error code.
int OpenCdxaIo(const std::string& path, AVIOContext** pb, std::string* error) {
    *pb = nullptr;
    // Only a regular file can be a Video CD file: a pipe is left unread for libavformat.
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return 0;  // libavformat's own open reports why
    }
    auto input = std::make_unique<CdxaInput>();
    input->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (input->fd < 0) {
        return 0;
    }
    uint8_t head[kHeadBytes];
    size_t got = PreadFully(input->fd, 0, head, sizeof head);
    CdxaLayout layout;
    if (!FindCdxaLayout(ByteReader(head, got), static_cast<uint64_t>(status.st_size), &layout)) {
        return 0;
    }
    int fd = input->fd;
    auto readAt = [fd](uint64_t offset, uint8_t* out, size_t count) {
        return PreadFully(fd, offset, out, count);
    };
    SkipCdxaFrontMargin(readAt, &layout);
    input->reader = std::make_unique<CdxaPayloadReader>(readAt, layout);
    auto* buffer = static_cast<unsigned char*>(av_malloc(kAvioBufferBytes));
    if (buffer == nullptr) {
        *error = AvErrorText("Cannot open " + path, AVERROR(ENOMEM));
        return AVERROR(ENOMEM);
    }
    *pb = avio_alloc_context(buffer, kAvioBufferBytes, 0, input.get(), CdxaRead, nullptr, CdxaSeek);
    if (*pb == nullptr) {
        av_free(buffer);
        *error = AvErrorText("Cannot open " + path, AVERROR(ENOMEM));
        return AVERROR(ENOMEM);
    }
    static_cast<void>(input.release());  // owned by the I/O context from here on
    return 1;
}

void FreeCdxaIo(AVIOContext** pb) {
    if (*pb == nullptr) {
        return;
    }
    delete static_cast<CdxaInput*>((*pb)->opaque);
    av_freep(&(*pb)->buffer);
    avio_context_free(pb);
}

}  // namespace

void QuietFfmpegLog() {
    // The module reports its errors through its own results and texts; FFmpeg's console
    // chatter about damaged streams would only end up on the user's terminal.
    InstallFfmpegLog();
}

int OpenMediaInput(const std::string& path, AVFormatContext** context, std::string* error) {
    QuietFfmpegLog();
    *context = nullptr;
    AVIOContext* cdxa = nullptr;
    int result = OpenCdxaIo(path, &cdxa, error);
    if (result < 0) {
        return result;
    }
    if (cdxa != nullptr) {
        *context = avformat_alloc_context();
        if (*context == nullptr) {
            FreeCdxaIo(&cdxa);
            *error = AvErrorText("Cannot open " + path, AVERROR(ENOMEM));
            return AVERROR(ENOMEM);
        }
        (*context)->pb = cdxa;
        (*context)->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    // Inside a Video CD file there is an MPEG program stream; say so rather than let a
    // damaged first sector send the probe elsewhere.
    const AVInputFormat* format = cdxa != nullptr ? av_find_input_format("mpeg") : nullptr;
    result = avformat_open_input(context, path.c_str(), format, nullptr);
    if (result < 0) {
        // On failure libavformat freed the context but left our I/O to us.
        FreeCdxaIo(&cdxa);
        *error = AvErrorText("Cannot open " + path, result);
        return result;
    }
    result = avformat_find_stream_info(*context, nullptr);
    if (result < 0) {
        *error = AvErrorText("Cannot read the streams of " + path, result);
        CloseMediaInput(context);
        return result;
    }
    return 0;
}

bool IsVideoCdInput(const AVFormatContext* context) {
    return context != nullptr && (context->flags & AVFMT_FLAG_CUSTOM_IO) != 0 &&
           context->pb != nullptr && context->pb->read_packet == CdxaRead;
}

void CloseMediaInput(AVFormatContext** context) {
    if (*context == nullptr) {
        return;
    }
    AVIOContext* cdxa = IsVideoCdInput(*context) ? (*context)->pb : nullptr;
    avformat_close_input(context);
    FreeCdxaIo(&cdxa);
}
