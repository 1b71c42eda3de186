// An encoder on a thread of its own: every packet reaches the sink, in the encoder's order, by
// the end; a failure of the encoder is returned, with its reason, from then on.
#include "engines/conversion/encoder_drain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/samplefmt.h>
}

namespace {

struct Encoder {
    Encoder() {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG1VIDEO);
        context = avcodec_alloc_context3(codec);
        context->width = 64;
        context->height = 48;
        context->pix_fmt = AV_PIX_FMT_YUV420P;
        context->time_base = AVRational{1, 25};
        context->framerate = AVRational{25, 1};
        context->max_b_frames = 2;  // packets come out of order and late
        opened = avcodec_open2(context, codec, nullptr) == 0;
    }
    ~Encoder() { avcodec_free_context(&context); }
    AVCodecContext* context = nullptr;
    bool opened = false;
};

AVFrame* Picture(int width, int height, int64_t pts) {
    AVFrame* frame = av_frame_alloc();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    av_frame_get_buffer(frame, 0);
    for (int plane = 0; plane < 3; ++plane) {
        int rows = plane == 0 ? height : height / 2;
        for (int y = 0; y < rows; ++y) {
            std::fill_n(frame->data[plane] + y * frame->linesize[plane],
                        plane == 0 ? width : width / 2, static_cast<uint8_t>(pts * 7 + y));
        }
    }
    frame->pts = pts;
    return frame;
}

TEST(EncoderThread, EveryPacketArrivesInTheEncodersOrderAndAFailureStays) {
    av_log_set_level(AV_LOG_ERROR);  // the test card's steps make the encoder talk
    Encoder encoder;
    ASSERT_TRUE(encoder.opened);
    std::vector<int64_t> dts;
    std::vector<int64_t> pts;
    PacketSink sink = [&](AVPacket* packet, std::string*) {
        dts.push_back(packet->dts);
        pts.push_back(packet->pts);
        return 0;
    };
    std::string error;
    {
        EncoderThread thread(encoder.context, "Cannot encode a picture");
        for (int64_t i = 0; i < 40; ++i) {
            AVFrame* frame = Picture(64, 48, i);
            ASSERT_EQ(thread.Send(frame, sink, &error), 0) << error;
            av_frame_free(&frame);  // the thread keeps its own reference
        }
        ASSERT_EQ(thread.Finish(sink, &error), 0) << error;
    }
    ASSERT_EQ(pts.size(), 40u);
    for (size_t i = 1; i < dts.size(); ++i) {
        EXPECT_LT(dts[i - 1], dts[i]) << "packet " << i << " out of the encoder's order";
    }
    std::vector<int64_t> shown = pts;
    std::sort(shown.begin(), shown.end());
    for (int64_t i = 0; i < 40; ++i) {
        EXPECT_EQ(shown[static_cast<size_t>(i)], i);
    }

    // More samples than the audio encoder's block: it refuses them, and says so to every later
    // call.
    const AVCodec* mp2 = avcodec_find_encoder(AV_CODEC_ID_MP2);
    AVCodecContext* audio = avcodec_alloc_context3(mp2);
    audio->sample_fmt = AV_SAMPLE_FMT_S16;
    audio->sample_rate = 44100;
    audio->bit_rate = 224000;
    av_channel_layout_default(&audio->ch_layout, 2);
    ASSERT_EQ(avcodec_open2(audio, mp2, nullptr), 0);
    {
        EncoderThread thread(audio, "Cannot encode the audio");
        auto block = [&](int samples) {
            AVFrame* frame = av_frame_alloc();
            frame->format = AV_SAMPLE_FMT_S16;
            frame->sample_rate = 44100;
            frame->nb_samples = samples;
            av_channel_layout_default(&frame->ch_layout, 2);
            av_frame_get_buffer(frame, 0);
            av_samples_set_silence(frame->data, 0, samples, 2, AV_SAMPLE_FMT_S16);
            frame->pts = 0;
            return frame;
        };
        AVFrame* tooLong = block(audio->frame_size * 2);
        int result = thread.Send(tooLong, sink, &error);
        av_frame_free(&tooLong);
        if (result == 0) {
            result = thread.Finish(sink, &error);
        }
        EXPECT_LT(result, 0);
        EXPECT_NE(error.find("Cannot encode the audio"), std::string::npos) << error;
        AVFrame* right = block(audio->frame_size);
        error.clear();
        EXPECT_LT(thread.Send(right, sink, &error), 0);
        EXPECT_LT(thread.Finish(sink, &error), 0);
        EXPECT_NE(error.find("Cannot encode the audio"), std::string::npos) << error;
        av_frame_free(&right);
    }
    avcodec_free_context(&audio);
}

}  // namespace
