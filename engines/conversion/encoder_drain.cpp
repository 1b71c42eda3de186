#include "engines/conversion/encoder_drain.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "engines/conversion/av_error.h"

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
