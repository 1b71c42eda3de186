// A decoder for one stream of an input.
#pragma once

#include <string>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVStream;

class StreamDecoder {
public:
    StreamDecoder() = default;
    ~StreamDecoder();
    StreamDecoder(const StreamDecoder&) = delete;
    StreamDecoder& operator=(const StreamDecoder&) = delete;

    // 0 or an FFmpeg error code with the reason (naming `path`) in *error.
    int Open(const AVStream* stream, const std::string& path, std::string* error);
    AVCodecContext* Context() const { return m_context; }
    // avcodec_send_packet / avcodec_receive_frame; a null packet starts the drain.
    int Send(const AVPacket* packet);
    int Receive(AVFrame* frame);

private:
    AVCodecContext* m_context = nullptr;
};
