#include "probe/rm_header_reader.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "probe/probe_media_file.h"
#include "probe/tests/header_builders.h"

namespace {

using namespace kjtest;
using namespace kjtest::rm;

constexpr const char* kAudioMime = "audio/x-pn-realaudio";
constexpr const char* kVideoMime = "video/x-pn-realvideo";
constexpr uint32_t kRate2997 = 0x001DF5C2;  // 29.97 in 16.16

ProbeInfo Parse(const Bytes& header, const std::string& seedName = "") {
    if (!seedName.empty()) {
        KeepAsFuzzSeed("rm_header_fuzzer", seedName, header);
    }
    ProbeInfo info;
    EXPECT_EQ(ParseRmHeader(ByteReader(header), info), 0);
    return info;
}

Bytes VideoMdpr(uint32_t durationMs, uint32_t rate = kRate2997,
                std::string_view name = "Video Stream") {
    return Mdpr(0, 300000, durationMs, name, kVideoMime, Vido("RV40", 640, 360, rate));
}

Bytes AudioMdpr(std::string_view name, uint32_t avgBitRate, const Bytes& ra) {
    return Mdpr(1, avgBitRate, 10000, name, kAudioMime, ra);
}

TEST(RmHeaderReader, ReadsTheDesignedFields) {
    Bytes file = Concat({FileHeader(), Prop(12345), VideoMdpr(12000),
                         AudioMdpr("Audio Stream", 64000, RaV5('5', "cook", 6)), DataChunk()});
    ProbeInfo info = Parse(file, "typical");
    EXPECT_EQ(info.duration, 12u);
    EXPECT_EQ(info.videoDuration, 12u);
    EXPECT_STREQ(info.videoCodec, "RV40");
    EXPECT_EQ(info.width, 640u);
    EXPECT_EQ(info.height, 360u);
    EXPECT_EQ(info.frameRateMilli, 29000u);  // 29.97 keeps its whole frames only
    EXPECT_EQ(info.audioCount, 1u);
    EXPECT_EQ(info.audio[0].byteRate, 8000u);
    EXPECT_STREQ(info.audio[0].name, "RealAudio 8,cook-6");
    EXPECT_EQ(info.audio[0].nameKnown, 1u);
    EXPECT_EQ(info.audio[0].formatTag, 0u);
}

TEST(RmHeaderReader, AudioNameForm) {
    // Version character '5', codec characters abcd, flavour 6.
    EXPECT_STREQ(Parse(AudioMdpr("Audio", 8, RaV5('5', "abcd", 6))).audio[0].name,
                 "RealAudio 8,abcd-6");
    // Another version character: the four version characters stand as they are.
    EXPECT_STREQ(Parse(AudioMdpr("Audio", 8, RaV5('6', "sipr", 3))).audio[0].name, ".ra6,sipr-3");
    // Copies end early at a zero byte.
    const char codec[5] = {'a', 'b', '\0', 'd', '\0'};
    EXPECT_STREQ(Parse(AudioMdpr("Audio", 8, RaV5('5', codec, 12345))).audio[0].name,
                 "RealAudio 8,ab-12345");
}

TEST(RmHeaderReader, VersionFourHeadersKeepTheirCodecFourEarlier) {
    // ffmpeg writes ".ra4" headers, whose codec FourCC is at T + 62; T + 66 holds zeros.
    ProbeInfo info = Parse(AudioMdpr("Audio Stream", 48000, RaV4("dnet", 2)), "ra4");
    EXPECT_STREQ(info.audio[0].name, ".ra4,dnet-2");
}

TEST(RmHeaderReader, VideoAt2997FpsShows29AndWholeSecondFrames) {
    TempDir dir;
    std::string path = dir.File("ntsc.rm");
    ASSERT_TRUE(
        WriteFileBytes(path, Concat({FileHeader(), Prop(10000), VideoMdpr(10000), DataChunk()})));
    auto record = ProbeMediaFile(path);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->m_nKind, kKindRealMedia);
    EXPECT_FLOAT_EQ(record->m_fFrameRate, 29.0f);
    EXPECT_EQ(record->m_nFrameCount, 290);
    EXPECT_NE(record->FormatInfoLine().find("Freq:29.00FPS"), std::string::npos)
        << record->FormatInfoLine();
}

TEST(RmHeaderReader, VideoDurationIsCutToWholeSeconds) {
    ProbeInfo info = Parse(VideoMdpr(1999));
    EXPECT_EQ(info.videoDuration, 1u);
}

TEST(RmHeaderReader, StreamNamesDecideTheKind) {
    Bytes ra = RaV5('5', "cook", 1);
    EXPECT_EQ(Parse(AudioMdpr("Audio Stream", 8, ra)).audioCount, 1u);
    EXPECT_EQ(Parse(AudioMdpr("Audio", 8, ra)).audioCount, 1u);
    EXPECT_EQ(Parse(AudioMdpr("audio", 8, ra)).audioCount, 0u);  // case-sensitive
    EXPECT_EQ(Parse(AudioMdpr("Audi", 8, ra)).audioCount, 0u);   // shorter than the word
    // Unnamed streams, as early encoders wrote them, go by their MIME type; event and logical
    // streams are unnamed too, with types of their own.
    EXPECT_EQ(Parse(AudioMdpr("", 8, ra)).audioCount, 1u);
    EXPECT_EQ(Parse(VideoMdpr(5000, kRate2997, "")).width, 640u);
    EXPECT_EQ(Parse(Mdpr(2, 0, 0, "", "logical-fileinfo", Bytes{})).audioCount, 0u);
    EXPECT_EQ(Parse(Mdpr(2, 0, 0, "", "application/x-pn-imagemap", ra)).audioCount, 0u);
    EXPECT_EQ(Parse(Mdpr(1, 8, 0, "audio", kAudioMime, ra)).audioCount, 0u);  // named: the name
    EXPECT_EQ(Parse(VideoMdpr(5000, kRate2997, "video")).width, 0u);
    // ffmpeg's "The Audio Stream" and "The Video Stream".
    EXPECT_EQ(Parse(AudioMdpr("The Audio Stream", 8, ra)).audioCount, 1u);
    EXPECT_EQ(Parse(VideoMdpr(5000, kRate2997, "The Video Stream")).width, 640u);
    EXPECT_EQ(Parse(AudioMdpr("The audio Stream", 8, ra)).audioCount, 0u);
}

TEST(RmHeaderReader, ARealFileWithAnUnnamedVideoStreamShowsItsPicture) {
    // Written in 1997: its video stream has no name, its audio stream is "The Audio Stream".
    const std::string path =
        std::string(KJ_SHARED_MEDIA_DIR) + "/realmedia/rv10-dnet-176x144-1997.rm";
    if (!std::filesystem::exists(path)) {
        GTEST_SKIP() << "../shared/media is absent: " << path;
    }
    ProbeInfo info;
    ASSERT_EQ(ReadRmHeader(path, info), 0);
    EXPECT_STREQ(info.videoCodec, "RV10");
    EXPECT_EQ(info.width, 176u);
    EXPECT_EQ(info.height, 144u);
    EXPECT_EQ(info.audioCount, 1u);
}

TEST(RmHeaderReader, PropVersionOneIsPassedOver) {
    ProbeInfo info = Parse(Concat({Prop(60000, 1), VideoMdpr(7500)}), "prop_v1");
    EXPECT_EQ(info.duration, 0u);
    CompleteProbeInfo(info);
    EXPECT_EQ(info.duration, 7u);  // from the video stream
    // An MDPR of another version is passed over as well.
    EXPECT_EQ(Parse(Mdpr(0, 1, 1000, "Video", kVideoMime, Vido("RV20", 1, 1, 0), 1)).width, 0u);
}

TEST(RmHeaderReader, TwoAudioStreamsBothFilledTheFirstShown) {
    Bytes file = Concat({FileHeader(), Prop(3000), VideoMdpr(3000),
                         AudioMdpr("Audio Stream", 96000, RaV5('5', "cook", 8)),
                         AudioMdpr("Audio Stream", 32000, RaV5('5', "sipr", 2)), DataChunk()});
    ProbeInfo info = Parse(file, "two_audio");
    EXPECT_EQ(info.audioCount, 2u);
    EXPECT_STREQ(info.audio[0].name, "RealAudio 8,cook-8");
    EXPECT_EQ(info.audio[0].byteRate, 12000u);
    EXPECT_STREQ(info.audio[1].name, "RealAudio 8,sipr-2");
    EXPECT_EQ(info.audio[1].byteRate, 4000u);

    TempDir dir;
    std::string path = dir.File("two_audio.rmvb");
    ASSERT_TRUE(WriteFileBytes(path, file));
    auto record = ProbeMediaFile(path);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->m_strAudioCodec, "RealAudio 8,cook-8");
    EXPECT_FLOAT_EQ(record->m_fAudioRate, 12000.0f);
    EXPECT_NE(record->FormatInfoLine().find(" Audio:RealAudio 8,cook-8"), std::string::npos);
}

TEST(RmHeaderReader, DataChunkEndsTheWalk) {
    ProbeInfo info = Parse(Concat({FileHeader(), DataChunk(), VideoMdpr(5000)}));
    EXPECT_EQ(info.width, 0u);
}

TEST(RmHeaderReader, FileFailures) {
    TempDir dir;
    ProbeInfo info;
    EXPECT_EQ(ReadRmHeader(dir.File("missing.rm"), info), -1);
    ASSERT_TRUE(WriteFileBytes(dir.File("empty.rm"), {}));
    EXPECT_EQ(ReadRmHeader(dir.File("empty.rm"), info), -1);
    EXPECT_EQ(ParseRmHeader(ByteReader(), info), -1);
}

TEST(RmHeaderReader, OnlyTheFirst16384BytesAreRead) {
    Bytes filler = Chunk("RMMD", 0, Bytes(16400, 0));
    TempDir dir;
    std::string path = dir.File("late_video.rm");
    ASSERT_TRUE(WriteFileBytes(path, Concat({FileHeader(), Prop(4000), filler, VideoMdpr(4000)})));
    ProbeInfo info;
    EXPECT_EQ(ReadRmHeader(path, info), 0);
    EXPECT_EQ(info.duration, 4u);
    EXPECT_EQ(info.width, 0u);
}

// ---- hostile and truncated headers ----

TEST(RmHeaderReader, ChunkTooSmallToAdvanceEndsTheWalk) {
    for (uint32_t size : {0u, 7u}) {
        ByteWriter bad;
        bad.Text("CONT").BE32(size);
        ProbeInfo info = Parse(Concat({Prop(9000), bad.bytes(), VideoMdpr(5000)}),
                               size == 0 ? "zero_size_chunk" : "");
        EXPECT_EQ(info.duration, 9u);
        EXPECT_EQ(info.width, 0u);
    }
}

TEST(RmHeaderReader, MdprFieldsPastTheChunkEndAreNotRead) {
    // The chunk's size ends inside the VIDO block, before the height; the bytes after it
    // (a following chunk) must not be taken as the height or the frame rate.
    Bytes video = VideoMdpr(5000);
    size_t t = video.size() - 34;  // the VIDO block is the last 34 bytes
    ByteWriter w;
    w.bytes() = Bytes(video.begin(), video.begin() + static_cast<long>(t + 14));
    w.PatchBE32(4, static_cast<uint32_t>(t + 14));
    ProbeInfo info = Parse(Concat({w.bytes(), Prop(8000)}), "short_mdpr");
    EXPECT_STREQ(info.videoCodec, "RV40");
    EXPECT_EQ(info.width, 640u);
    EXPECT_EQ(info.height, 0u);
    EXPECT_EQ(info.frameRateMilli, 0u);
    EXPECT_EQ(info.duration, 8u);  // and the walk went on by the chunk's own size

    // An audio MDPR cut inside its RealAudio header: the name keeps what lies inside.
    Bytes audio = AudioMdpr("Audio", 16000, RaV5('5', "cook", 6));
    size_t at = audio.size() - 78;
    ByteWriter a;
    a.bytes() = Bytes(audio.begin(), audio.begin() + static_cast<long>(at + 20));
    a.PatchBE32(4, static_cast<uint32_t>(at + 20));
    ProbeInfo cut = Parse(a.bytes());
    EXPECT_EQ(cut.audioCount, 1u);
    EXPECT_STREQ(cut.audio[0].name, "RealAudio 8,");
}

TEST(RmHeaderReader, NameLongerThanItsChunk) {
    ByteWriter w;
    w.Text("MDPR").BE32(46).BE16(0).Zeros(30).U8(200).Text("Audio");  // 46 bytes, name 200
    ProbeInfo info = Parse(w.bytes());
    EXPECT_EQ(info.audioCount, 1u);
    EXPECT_STREQ(info.audio[0].name, ",");
}

TEST(RmHeaderReader, AudioCountStopsAtItsCeilingInsteadOfWrapping) {
    // 300 bare audio MDPRs fit in 16384 bytes; a wrapped 8-bit count would claim no audio.
    Bytes file = AudioMdpr("Audio", 8000, RaV5('5', "cook", 1));
    ByteWriter small;
    small.Text("MDPR").BE32(46).BE16(0).Zeros(30).U8(5).Text("Audio");
    for (int i = 0; i < 300; ++i) {
        file = Concat({file, small.bytes()});
    }
    ASSERT_LT(file.size(), 16384u);
    ProbeInfo info = Parse(file);
    EXPECT_EQ(info.audioCount, 255u);
    EXPECT_STREQ(info.audio[0].name, "RealAudio 8,cook-1");
    EXPECT_EQ(info.audio[0].byteRate, 1000u);
}

}  // namespace
