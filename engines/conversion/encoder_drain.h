// Handing on what an encoder has ready, for the audio and the video stage alike.
#pragma once

#include <functional>
#include <memory>
#include <string>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

// Where encoded packets go: 0 or an error code with the reason in *error.
using PacketSink = std::function<int(AVPacket* packet, std::string* error)>;

// Passes every packet `encoder` has ready to `sink` (through `packet`, unreferenced after each).
// 0 when the encoder wants more input or has ended; otherwise the error, with "<failure>: ..."
// in *error for the encoder's own.
int DrainEncoder(AVCodecContext* encoder, AVPacket* packet, const PacketSink& sink,
                 const char* failure, std::string* error);

// An opened encoder fed and emptied on a thread of its own, so that encoding overlaps the
// decoding, scaling and resampling of what comes next. Packets reach the sink on the caller's
// thread, in the order the encoder made them, from Send and Finish. Frames wait in a short
// queue (Send waits while it is full), so memory does not grow with the input. The encoder must
// not be fed or emptied elsewhere while this exists.
class EncoderThread {
public:
    EncoderThread(AVCodecContext* encoder, const char* failure);
    ~EncoderThread();  // stops the thread; frames not yet encoded are dropped
    EncoderThread(const EncoderThread&) = delete;
    EncoderThread& operator=(const EncoderThread&) = delete;

    // Queues a new reference to `frame`, then hands on the packets that are ready. 0 or the
    // encoder's failure (kept: every later call returns it too).
    int Send(const AVFrame* frame, const PacketSink& sink, std::string* error);
    // Ends the stream and waits until every packet is made and handed on.
    int Finish(const PacketSink& sink, std::string* error);

private:
    struct Shared;
    int Collect(const PacketSink& sink, bool toTheEnd, std::string* error);
    std::unique_ptr<Shared> m_shared;
};
