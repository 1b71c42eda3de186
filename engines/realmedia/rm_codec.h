// The codec descriptions carried in a stream's type-specific data: the RealAudio header
// (".ra\xfd", versions 3 to 5) and the RealVideo block ("VIDO"), and the comparison that
// decides whether the packets of two files can follow each other in one stream.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rm {

struct AudioFormat {
    uint16_t version = 0;
    uint16_t flavor = 0;
    uint32_t codedFrameSize = 0;
    uint16_t subPacketHeight = 0;
    uint16_t frameSize = 0;
    uint16_t subPacketSize = 0;
    uint32_t sampleRate = 0;
    uint16_t sampleSize = 0;
    uint16_t channels = 0;
    std::string interleaver;
    std::string fourcc;
};

struct VideoFormat {
    std::string fourcc;
    uint16_t width = 0;
    uint16_t height = 0;
    uint32_t frameRate = 0;  // 16.16 fixed point
};

// False when the data is not a RealAudio header that holds these fields.
bool ParseAudioFormat(const std::vector<uint8_t>& typeData, AudioFormat& format);
// False when the data is not a "VIDO" block.
bool ParseVideoFormat(const std::vector<uint8_t>& typeData, VideoFormat& format);

// Whether the stream's packets come in interleave blocks that play only whole.
bool PlaysInBlocks(const AudioFormat& format);

// Codecs whose packets this module knows how to copy.
bool IsCopyableAudioCodec(const std::string& fourcc);
bool IsCopyableVideoCodec(const std::string& fourcc);

// Empty when packets of a stream described by `other` may follow those of one described by
// `first`; otherwise what differs, for the user ("the sample rate is 22050 Hz, not 44100 Hz").
// The fields of a RealAudio header that describe one file's data or its bit rate (no decoder
// reads them) are left out; so are the media properties' rates, sizes and preroll, which only
// size a player's buffers (the joined header takes the largest of them).
std::string DescribeAudioDifference(const std::vector<uint8_t>& first,
                                    const std::vector<uint8_t>& other);
std::string DescribeVideoDifference(const std::vector<uint8_t>& first,
                                    const std::vector<uint8_t>& other);

}  // namespace rm
