#include "probe/probe_media_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/bytes.h"
#include "probe/detect_file_type.h"
#include "tests/support/media_fixtures.h"

namespace {

TEST(CompleteProbeInfo, AsfPacketsAndSendDurationGiveTheFrameRate) {
    ProbeInfo info;
    info.frameCount = 9000;
    info.duration = 300;
    CompleteProbeInfo(info);
    EXPECT_EQ(info.videoDuration, 300u);
    EXPECT_EQ(info.duration, 300u);
    EXPECT_EQ(info.frameCount, 9000u);
    EXPECT_EQ(info.frameRateMilli, 30000u);
}

TEST(CompleteProbeInfo, RealMediaWholeFramesTimesWholeSeconds) {
    ProbeInfo info;
    info.frameRateMilli = 29 * 1000;  // 29.97 fps keeps only its whole frames
    info.videoDuration = 10;
    CompleteProbeInfo(info);
    EXPECT_EQ(info.duration, 10u);
    EXPECT_EQ(info.frameCount, 290u);
    EXPECT_EQ(info.frameRateMilli, 29000u);
}

TEST(CompleteProbeInfo, FrameCountAndRateGiveTheVideoDuration) {
    ProbeInfo info;
    info.frameCount = 250;
    info.frameRateMilli = 25000;
    info.duration = 99;  // kept: duration is only filled when still zero
    CompleteProbeInfo(info);
    EXPECT_EQ(info.videoDuration, 10u);
    EXPECT_EQ(info.duration, 99u);
}

TEST(CompleteProbeInfo, AudioNameFromTheFormatTagOnlyWhenNotKnown) {
    ProbeInfo info;
    info.audioCount = 1;
    info.audio[0].formatTag = 0x0161;
    CompleteProbeInfo(info);
    EXPECT_STREQ(info.audio[0].name, "Windows Media Audio V2");
    EXPECT_EQ(info.audio[0].nameKnown, 1u);

    ProbeInfo named;
    named.audioCount = 1;
    named.audio[0].formatTag = 0x0161;
    std::strcpy(named.audio[0].name, "Windows Media Audio 9.2");
    CompleteProbeInfo(named);
    EXPECT_STREQ(named.audio[0].name, "Windows Media Audio 9.2");

    ProbeInfo unknownTag;
    unknownTag.audioCount = 1;
    unknownTag.audio[0].formatTag = 0x7777;
    CompleteProbeInfo(unknownTag);
    EXPECT_EQ(unknownTag.audio[0].nameKnown, 0u);
    EXPECT_STREQ(unknownTag.audio[0].name, "");
}

TEST(CopyTextToSlot, CutsAtACharacterBoundary) {
    char slot[6];
    const std::string text = "ab\xC3\xA9\xC3\xA9";  // "abéé": 6 bytes
    CopyTextToSlot(text.data(), text.size(), slot, sizeof slot);
    EXPECT_STREQ(slot, "ab\xC3\xA9");  // the second é would not fit whole
}

TEST(MediaFileInfo, InfoLineWithAndWithoutAudio) {
    MediaFileInfo info;
    info.m_strVideoCodec = "WMV2";
    info.m_nFrameCount = 9000;
    info.m_fFrameRate = 30;
    EXPECT_EQ(info.FormatInfoLine(), "Video:Windows Media Video 8 Frame:9000 Freq:30.00FPS");
    info.m_bHasAudio = 1;
    info.m_strAudioCodec = "Windows Media Audio V2";
    info.m_fAudioRate = 16000;
    EXPECT_EQ(info.FormatInfoLine(),
              "Video:Windows Media Video 8 Frame:9000 Freq:30.00FPS Audio:Windows Media Audio V2 "
              "Bitrate:16000.000000bps");
}

class ProbeFiles : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const ByteWriter& w) {
        std::string path = dir.File(name);
        EXPECT_TRUE(kjtest::WriteFileBytes(path, w.bytes()));
        return path;
    }
    kjtest::TempDir dir;
};

TEST_F(ProbeFiles, KindsFollowTheContent) {
    ByteWriter rm;
    rm.Text(".RMF").Zeros(60);
    auto record = ProbeMediaFile(Write("clip.avi", rm));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->m_nKind, kKindRealMedia);
    EXPECT_EQ(record->m_fFileSize, 64.0);

    ByteWriter mpeg;
    mpeg.Bytes("\x00\x00\x01\xBA", 4).Zeros(100);
    record = ProbeMediaFile(Write("clip.bin", mpeg));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->m_nKind, kKindMpeg);
}

TEST_F(ProbeFiles, NoRecordAndAReasonForWhatCannotBeJoined) {
    ProbeError error;
    EXPECT_EQ(ProbeMediaFile(dir.File("missing.wmv"), &error), nullptr);
    EXPECT_EQ(error.failure, ProbeFailure::kUnreadable);
    EXPECT_FALSE(error.reason.empty());

    EXPECT_EQ(ProbeMediaFile(dir.path(), &error), nullptr);
    EXPECT_EQ(error.failure, ProbeFailure::kUnreadable);

    ByteWriter ogg;
    ogg.Text("OggS").Zeros(40);
    EXPECT_EQ(ProbeMediaFile(Write("song.ogg", ogg), &error), nullptr);
    EXPECT_EQ(error.failure, ProbeFailure::kOgg);

    ByteWriter text;
    text.Text("just some words that are not a video file at all");
    EXPECT_EQ(ProbeMediaFile(Write("notes.avi", text), &error), nullptr);
    EXPECT_EQ(error.failure, ProbeFailure::kUnrecognised);

    EXPECT_EQ(ProbeMediaFile(Write("empty.avi", ByteWriter()), &error), nullptr);
    EXPECT_EQ(error.failure, ProbeFailure::kUnrecognised);

    // A named pipe with no writer must not hold the probe.
    std::string fifo = dir.File("pipe.avi");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ProbeMediaFile(fifo, &error), nullptr);
    EXPECT_EQ(error.failure, ProbeFailure::kUnreadable);
    EXPECT_EQ(DetectFileType(fifo), kTypeUnknown);
}

TEST_F(ProbeFiles, SizesBeyondTwoGibibytesAreExact) {
    // A sparse file: the size is real, the disk use is not.
    std::string path = dir.File("big.mpg");
    {
        std::ofstream out(path, std::ios::binary);
        out.write("\x00\x00\x01\xBA", 4);
    }
    const uintmax_t size = 5'000'000'123ull;
    std::filesystem::resize_file(path, size);
    auto record = ProbeMediaFile(path);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->m_fFileSize, static_cast<double>(size));
}

}  // namespace
