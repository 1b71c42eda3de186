// The conversion's output file: a muxer's bytes reach the file, seeks included, and a write the
// disk refuses is a failure with its reason, not a short file reported as written.
#include "engines/conversion/output_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "tests/support/media_fixtures.h"

namespace {

// One MPEG-1 video stream of `packets` packets of made-up bytes.
int WriteMpeg(const std::string& path, int packets, std::string* error) {
    OutputFile out;
    int result = out.Create(path, "mpeg", error);
    if (result < 0) {
        return result;
    }
    AVStream* stream = out.AddStream();
    stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    stream->codecpar->codec_id = AV_CODEC_ID_MPEG1VIDEO;
    stream->codecpar->width = 352;
    stream->codecpar->height = 288;
    stream->time_base = AVRational{1, 25};
    result = out.Start(nullptr, error);
    AVPacket* packet = av_packet_alloc();
    for (int i = 0; result >= 0 && i < packets; ++i) {
        av_new_packet(packet, 4000);
        std::fill(packet->data, packet->data + packet->size, static_cast<uint8_t>(i));
        packet->pts = packet->dts = i;
        packet->stream_index = stream->index;
        result = out.Write(packet, error);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    return result < 0 ? result : out.Finish(error);
}

TEST(OutputFile, AMuxersBytesReachTheFileAndARefusedWriteIsAFailure) {
    kjtest::TempDir dir;
    std::string error;
    std::string path = dir.File("out.mpg");
    ASSERT_EQ(WriteMpeg(path, 600, &error), 0) << error;  // 2.4 MB: several buffers' worth
    std::vector<uint8_t> written = kjtest::ReadFileBytes(path);
    ASSERT_GT(written.size(), 600u * 4000u);
    // From the first pack header to the last packet's bytes, which the trailer flushes.
    const std::vector<uint8_t> pack = {0x00, 0x00, 0x01, 0xBA};
    EXPECT_TRUE(std::equal(pack.begin(), pack.end(), written.begin()));
    const std::vector<uint8_t> last(1000, static_cast<uint8_t>(599));
    EXPECT_NE(std::search(written.end() - 8192, written.end(), last.begin(), last.end()),
              written.end());

    // An unnamed output is reached through its descriptor; here the descriptor is a full disk.
    int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    std::string viaDescriptor = "/proc/self/fd/" + std::to_string(full);
    int result = WriteMpeg(viaDescriptor, 600, &error);
    ::close(full);
    EXPECT_LT(result, 0);
    EXPECT_NE(error.find(viaDescriptor), std::string::npos) << error;
    EXPECT_NE(error.find("No space left"), std::string::npos) << error;
}

TEST(OutputFile, ARefusedPacketSaysWhatTheMuxerFoundWrong) {
    kjtest::TempDir dir;
    std::string error;
    OutputFile out;
    ASSERT_EQ(out.Create(dir.File("out.mpg"), "mpeg", &error), 0) << error;
    AVStream* stream = out.AddStream();
    stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    stream->codecpar->codec_id = AV_CODEC_ID_MPEG1VIDEO;
    stream->codecpar->width = 352;
    stream->codecpar->height = 288;
    stream->time_base = AVRational{1, 25};
    ASSERT_EQ(out.Start(nullptr, &error), 0) << error;
    AVPacket* packet = av_packet_alloc();
    int result = 0;
    // The second packet goes back in time.
    for (int64_t dts : {int64_t{5}, int64_t{3}}) {
        av_new_packet(packet, 1000);
        packet->pts = packet->dts = dts;
        packet->stream_index = stream->index;
        result = out.Write(packet, &error);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    EXPECT_LT(result, 0);
    EXPECT_NE(error.find("Cannot write " + dir.File("out.mpg") + ": Invalid argument ("),
              std::string::npos)
        << error;
    EXPECT_NE(error.find("monotonically increasing dts"), std::string::npos) << error;
}

}  // namespace
