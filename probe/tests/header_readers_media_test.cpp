// The header readers against files written by ffmpeg, judged by ffprobe.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/bytes.h"
#include "probe/asf_header_reader.h"
#include "probe/avi_header_walk.h"
#include "probe/probe_media_file.h"
#include "probe/rm_header_reader.h"
#include "probe/tests/header_builders.h"
#include "tests/support/media_fixtures.h"

namespace {

using namespace kjtest;

constexpr const char* kSource =
    "-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 "
    "-t 3 ";

struct Fixture {
    std::string name;
    std::string codecs;  // ffmpeg codec options
};

std::string Trim(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

// Keeps the first bytes of a real file as a fuzz seed (small: the headers only).
void KeepHeadAsSeed(const std::string& target, const std::string& name, const std::string& path,
                    size_t bytes) {
    Bytes all = ReadFileBytes(path);
    all.resize(std::min(all.size(), bytes));
    KeepAsFuzzSeed(target, name, all);
}

// The number of data packets from the Data Object's size and the fixed packet size, found
// independently of the File Properties' packet count.
uint32_t DataPacketsBySize(const std::string& path) {
    Bytes bytes = ReadFileBytes(path);
    ByteReader file(bytes);
    Bytes fileProperties = asf::FilePropertiesGuid();
    Bytes data = asf::DataGuid();
    uint32_t packetSize = 0;
    for (size_t k = 0; k < bytes.size(); ++k) {
        if (packetSize == 0 && file.Matches(k, fileProperties.data(), 16)) {
            packetSize = file.LE32(k + 96);  // maximum data packet size = the fixed size
        }
        if (packetSize != 0 && file.Matches(k, data.data(), 16)) {
            return static_cast<uint32_t>((file.LE64(k + 16) - 50) / packetSize);
        }
    }
    return 0;
}

class MediaFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveProgram("ffmpeg") || !HaveProgram("ffprobe")) {
            GTEST_SKIP() << "ffmpeg and ffprobe are needed";
        }
    }

    std::string Make(const std::string& name, const std::string& codecs) {
        std::string path = m_dir.File(name);
        std::string error;
        EXPECT_TRUE(MakeWithFfmpeg(kSource + codecs, path, &error)) << error;
        return path;
    }

    void ExpectPictureAndFourcc(const std::string& path, const MediaFileInfo& record) {
        EXPECT_EQ(std::to_string(record.m_nWidth), Trim(Ffprobe(path, "stream=width", "v:0")));
        EXPECT_EQ(std::to_string(record.m_nHeight), Trim(Ffprobe(path, "stream=height", "v:0")));
        EXPECT_EQ(record.m_strVideoCodec, Trim(Ffprobe(path, "stream=codec_tag_string", "v:0")));
    }

    TempDir m_dir;
};

TEST_F(MediaFiles, WindowsMediaFiles) {
    for (const Fixture& f : {Fixture{"wmv2.wmv", "-c:v wmv2 -c:a wmav2"},
                             Fixture{"wmv1.asf", "-c:v wmv1 -c:a wmav1"}}) {
        SCOPED_TRACE(f.name);
        std::string path = Make(f.name, f.codecs);
        KeepHeadAsSeed("asf_header_fuzzer", "ffmpeg_" + f.name, path, 1024);
        auto record = ProbeMediaFile(path);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->m_nKind, kKindWmv);
        ExpectPictureAndFourcc(path, *record);

        // Duration: the whole seconds of the send duration, which ffmpeg sets to the end of
        // the last stream; the frame count is the number of data packets.
        double seconds = std::stod(Ffprobe(path, "stream=duration", "v:0"));
        EXPECT_EQ(record->m_fDuration, std::floor(seconds));
        EXPECT_EQ(static_cast<uint32_t>(record->m_nFrameCount), DataPacketsBySize(path));
        EXPECT_EQ(record->m_fFrameRate,
                  static_cast<float>(record->m_nFrameCount * 1000u /
                                     static_cast<uint32_t>(record->m_fDuration) / 1000u));

        EXPECT_EQ(record->m_bHasAudio, 1);
        EXPECT_FALSE(record->m_strAudioCodec.empty());
        double bitRate = std::stod(Ffprobe(path, "stream=bit_rate", "a:0"));
        EXPECT_EQ(record->m_fAudioRate, static_cast<float>(static_cast<uint32_t>(bitRate) / 8));
    }
}

TEST_F(MediaFiles, RealMediaFiles) {
    for (const Fixture& f :
         {Fixture{"rv10.rm", "-c:v rv10 -c:a ac3"}, Fixture{"rv20.rm", "-c:v rv20 -c:a ac3"}}) {
        SCOPED_TRACE(f.name);
        std::string path = Make(f.name, f.codecs);
        KeepHeadAsSeed("rm_header_fuzzer", "ffmpeg_" + f.name, path, 512);
        auto record = ProbeMediaFile(path);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->m_nKind, kKindRealMedia);
        ExpectPictureAndFourcc(path, *record);
        // 25 fps for 3 s: whole frames per second times whole seconds.
        EXPECT_EQ(Trim(Ffprobe(path, "stream=r_frame_rate", "v:0")), "25/1");
        EXPECT_EQ(record->m_fFrameRate, 25.0f);
        double seconds = std::stod(Ffprobe(path, "stream=duration", "v:0"));
        EXPECT_EQ(record->m_fDuration, std::floor(seconds));
        EXPECT_EQ(record->m_nFrameCount, 25 * static_cast<int>(std::floor(seconds)));

        EXPECT_EQ(record->m_bHasAudio, 1);
        EXPECT_EQ(Trim(Ffprobe(path, "stream=codec_tag_string", "a:0")), "dnet");
        EXPECT_EQ(record->m_strAudioCodec.rfind(".ra4,dnet-", 0), 0u) << record->m_strAudioCodec;
        double bitRate = std::stod(Ffprobe(path, "stream=bit_rate", "a:0"));
        EXPECT_EQ(record->m_fAudioRate, static_cast<float>(static_cast<uint32_t>(bitRate) / 8));
    }
}

TEST_F(MediaFiles, AviFiles) {
    for (const Fixture& f : {Fixture{"mpeg4.avi", "-c:v mpeg4 -c:a mp3"},
                             Fixture{"msmpeg4v2.avi", "-c:v msmpeg4v2 -c:a pcm_s16le"},
                             Fixture{"mjpeg.avi", "-c:v mjpeg -c:a mp3"}}) {
        SCOPED_TRACE(f.name);
        std::string path = Make(f.name, f.codecs);
        KeepHeadAsSeed("avi_walk_fuzzer", "ffmpeg_" + f.name, path, 600);
        KeepHeadAsSeed("avi_file_fuzzer", "ffmpeg_" + f.name, path, 600);
        auto record = ProbeMediaFile(path);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->m_nKind, kKindAvi);
        std::string tag = Trim(Ffprobe(path, "stream=codec_tag_string", "v:0"));
        EXPECT_EQ(FourccText(record->m_dwFourcc), tag);
        EXPECT_EQ(record->m_strVideoCodec, tag);
        uint32_t fourcc = 0;
        EXPECT_EQ(WalkAviHeaders(path, fourcc), kAviWalkOk);
        EXPECT_EQ(fourcc, record->m_dwFourcc);
    }
}

TEST_F(MediaFiles, UncompressedAviGivesTheHandlerCode) {
    std::string path = Make("raw.avi", "-c:v rawvideo -pix_fmt bgr24 -s 64x48 -c:a pcm_s16le");
    uint32_t fourcc = 0;
    ASSERT_EQ(WalkAviHeaders(path, fourcc), kAviWalkOk);
    // ffmpeg writes compression 0 (BI_RGB) and no handler code for raw BGR frames.
    EXPECT_EQ(fourcc, 0u);
    auto record = ProbeMediaFile(path);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->m_dwFourcc, 0u);
}

}  // namespace
