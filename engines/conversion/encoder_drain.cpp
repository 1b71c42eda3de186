#include "engines/conversion/encoder_drain.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "engines/conversion/av_error.h"
#include "engines/conversion/av_owners.h"

int DrainEncoder(AVCodecContext* encoder, AVPacket* packet, const PacketSink& sink,
                 const char* failure, std::string* error) {
    for (;;) {
        int result = avcodec_receive_packet(encoder, packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
            return 0;
        }
        if (result < 0) {
            *error = AvErrorText(failure, result);
            return result;
        }
        result = sink(packet, error);
        av_packet_unref(packet);
        if (result < 0) {
            return result;
        }
    }
}

namespace {
constexpr size_t kQueuedFrames = 4;
}  // namespace

struct EncoderThread::Shared {
    AVCodecContext* encoder = nullptr;
    const char* failure = nullptr;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<FramePtr> frames;  // waiting for the encoder; null: the end
    std::deque<PacketPtr> ready;  // made, not yet handed on
    int result = 0;               // the first failure
    std::string error;
    bool ended = false;  // the encoder has given its last packet (or failed)
    bool quit = false;
    std::thread thread;

    void Run() {
        PacketPtr packet(av_packet_alloc());
        PacketSink keep = [this](AVPacket* made, std::string*) {
            PacketPtr moved(av_packet_alloc());
            if (moved == nullptr) {
                return AVERROR(ENOMEM);
            }
            av_packet_move_ref(moved.get(), made);
            std::lock_guard lock(mutex);
            ready.push_back(std::move(moved));
            return 0;
        };
        std::unique_lock lock(mutex);
        while (!ended) {
            changed.wait(lock, [&] { return quit || !frames.empty(); });
            if (quit) {
                break;
            }
            FramePtr frame = std::move(frames.front());
            frames.pop_front();
            lock.unlock();
            changed.notify_all();  // room in the queue
            std::string text;
            int code =
                packet == nullptr ? AVERROR(ENOMEM) : avcodec_send_frame(encoder, frame.get());
            if (code == AVERROR_EOF && frame == nullptr) {
                code = 0;
            } else if (code < 0) {
                text = AvErrorText(failure, code);
            }
            if (code >= 0) {
                code = DrainEncoder(encoder, packet.get(), keep, failure, &text);
            }
            bool last = frame == nullptr;
            frame.reset();
            lock.lock();
            if (code < 0) {
                result = code;
                error = text;
            }
            ended = last || code < 0;
            changed.notify_all();
        }
    }
};

EncoderThread::EncoderThread(AVCodecContext* encoder, const char* failure)
    : m_shared(std::make_unique<Shared>()) {
    m_shared->encoder = encoder;
    m_shared->failure = failure;
    m_shared->thread = std::thread([shared = m_shared.get()] { shared->Run(); });
}

EncoderThread::~EncoderThread() {
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->quit = true;
    }
    m_shared->changed.notify_all();
    m_shared->thread.join();
}

int EncoderThread::Send(const AVFrame* frame, const PacketSink& sink, std::string* error) {
    FramePtr copy(av_frame_clone(frame));
    if (copy == nullptr) {
        *error = AvErrorText(m_shared->failure, AVERROR(ENOMEM));
        return AVERROR(ENOMEM);
    }
    {
        std::unique_lock lock(m_shared->mutex);
        m_shared->changed.wait(
            lock, [&] { return m_shared->ended || m_shared->frames.size() < kQueuedFrames; });
        if (!m_shared->ended) {
            m_shared->frames.push_back(std::move(copy));
        }
    }
    m_shared->changed.notify_all();
    return Collect(sink, false, error);
}

int EncoderThread::Finish(const PacketSink& sink, std::string* error) {
    {
        std::lock_guard lock(m_shared->mutex);
        if (!m_shared->ended) {
            m_shared->frames.push_back(FramePtr{});
        }
    }
    m_shared->changed.notify_all();
    return Collect(sink, true, error);
}

int EncoderThread::Collect(const PacketSink& sink, bool toTheEnd, std::string* error) {
    for (;;) {
        PacketPtr packet;
        {
            std::unique_lock lock(m_shared->mutex);
            if (toTheEnd) {
                m_shared->changed.wait(lock,
                                       [&] { return m_shared->ended || !m_shared->ready.empty(); });
            }
            if (m_shared->ready.empty()) {
                if (m_shared->result < 0) {
                    *error = m_shared->error;
                }
                return m_shared->result;
            }
            packet = std::move(m_shared->ready.front());
            m_shared->ready.pop_front();
        }
        int result = sink(packet.get(), error);
        if (result < 0) {
            return result;
        }
    }
}
