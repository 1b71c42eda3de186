#include "engines/conversion/output_file.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engines/conversion/av_error.h"

OutputFile::~OutputFile() {
    Discard();
}

void OutputFile::Discard() {
    if (m_context != nullptr) {
        if (m_context->pb != nullptr) {
            avio_closep(&m_context->pb);
        }
        avformat_free_context(m_context);
        m_context = nullptr;
    }
    if (!m_tempPath.empty()) {
        std::remove(m_tempPath.c_str());
        m_tempPath.clear();
    }
}

int OutputFile::Create(const std::string& path, const char* muxer, std::string* error) {
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

namespace {
// A path that names one of our open descriptors: the caller made an unnamed file for us, which
// only gets its name when we have succeeded, so it is written in place.
bool IsOpenDescriptorPath(const std::string& path) {
    return path.rfind("/proc/self/fd/", 0) == 0;
}
}  // namespace

int OutputFile::Start(AVDictionary** options, std::string* error) {
    if (IsOpenDescriptorPath(m_path)) {
        return OpenAndWriteHeader(m_path, options, error);
    }
    // A sibling of the output, so that putting it in place is a rename on the same disk.
    size_t slash = m_path.find_last_of('/');
    std::string folder = slash == std::string::npos ? std::string(".") : m_path.substr(0, slash);
    std::string name = slash == std::string::npos ? m_path : m_path.substr(slash + 1);
    std::string pattern = folder + "/." + name + ".mclpart-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    int fd = ::mkstemp(buffer.data());
    if (fd < 0) {
        *error = "Cannot write in the folder " + folder + ": " + std::strerror(errno);
        return AVERROR(errno);
    }
    ::close(fd);
    m_tempPath = buffer.data();
    return OpenAndWriteHeader(m_tempPath, options, error);
}

int OutputFile::OpenAndWriteHeader(const std::string& target, AVDictionary** options,
                                   std::string* error) {
    int result = avio_open(&m_context->pb, target.c_str(), AVIO_FLAG_WRITE);
    if (result < 0) {
        *error = AvErrorText("Cannot write " + m_path, result);
        return result;
    }
    result = avformat_write_header(m_context, options);
    if (result < 0) {
        *error = AvErrorText("Cannot start writing " + m_path, result);
        return result;
    }
    m_headerWritten = true;
    return 0;
}

int OutputFile::Write(AVPacket* packet, std::string* error) {
    int result = av_interleaved_write_frame(m_context, packet);
    if (result < 0) {
        *error = AvErrorText("Cannot write " + m_path, result);
    }
    return result;
}

int OutputFile::Finish(std::string* error) {
    int result = av_write_trailer(m_context);
    if (result >= 0) {
        result = avio_closep(&m_context->pb);
    }
    if (result < 0) {
        *error = AvErrorText("Cannot finish writing " + m_path, result);
        return result;
    }
    if (m_tempPath.empty()) {
        return 0;  // written in place
    }
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(m_tempPath.c_str(), 0666 & ~mask);
    if (std::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
        *error = "Cannot put the converted file at " + m_path + ": " + std::strerror(errno);
        return AVERROR(errno);
    }
    m_tempPath.clear();
    return 0;
}
