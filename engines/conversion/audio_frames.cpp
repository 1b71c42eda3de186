#include "engines/conversion/audio_frames.h"

extern "C" {
#include <libavcodec/ac3_parser.h>
#include <libavcodec/avcodec.h>
}

#include <memory>

namespace {

struct ParserDeleter {
    void operator()(AVCodecParserContext* parser) const { av_parser_close(parser); }
};
struct ContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};

}  // namespace

bool AudioPacketIsWholeFrame(const AVCodecParameters* stream, const AVPacket* packet) {
    if (packet->size <= 0) {
        return false;
    }
    if (stream->codec_id == AV_CODEC_ID_AC3 || stream->codec_id == AV_CODEC_ID_EAC3) {
        // The AC-3 parser gives a frame back only once it has seen the next one's header: the
        // frame's own header says its size instead.
        uint8_t bitstream = 0;
        uint16_t frameBytes = 0;
        return av_ac3_parse_header(packet->data, static_cast<size_t>(packet->size), &bitstream,
                                   &frameBytes) == 0 &&
               frameBytes == packet->size;
    }
    std::unique_ptr<AVCodecParserContext, ParserDeleter> parser(av_parser_init(stream->codec_id));
    if (parser == nullptr) {
        return true;
    }
    std::unique_ptr<AVCodecContext, ContextDeleter> context(avcodec_alloc_context3(nullptr));
    if (context == nullptr || avcodec_parameters_to_context(context.get(), stream) < 0) {
        return true;  // nothing to judge it with: it stays, as it would have without the check
    }
    // The packet came from the demuxer, padded as the parser needs.
    uint8_t* frame = nullptr;
    int frameSize = 0;
    av_parser_parse2(parser.get(), context.get(), &frame, &frameSize, packet->data, packet->size,
                     AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    return frameSize == packet->size;
}
