// Bare RealAudio files (".ra\xfd" where a Real Media file has ".RMF"): recognised as Real Media,
// and probed as one audio stream without video.
#include <gtest/gtest.h>

#include "platform/bytes.h"
#include "probe/detect_file_type.h"
#include "probe/probe_media_file.h"
#include "probe/rm_header_reader.h"
#include "probe/tests/header_builders.h"
#include "tests/support/media_fixtures.h"

namespace {

// A 1996-style version 3 header (14.4 audio): 8000 bytes a minute, `audioBytes` of frames.
std::vector<uint8_t> Version3(uint32_t audioBytes) {
    ByteWriter body;
    body.BE16(1).BE16(0).BE16(20).BE16(0).BE16(8000).BE32(audioBytes);
    body.U8(5).Text("Title").U8(0).U8(0).U8(0).U8(0).U8(4).Text("lpcJ");
    ByteWriter w;
    w.Text(".ra\xfd").BE16(3).BE16(static_cast<uint16_t>(body.size()));
    w.Bytes(body.bytes().data(), body.size()).Zeros(audioBytes);
    return w.bytes();
}

// A version 4 header with dnet at 24000 bytes a second (1440000 a minute), as a bare file has
// it: the strings after the codec, then the frames.
std::vector<uint8_t> Version4(uint32_t audioBytes) {
    ByteWriter w;
    w.Text(".ra\xfd").BE16(4).BE16(0).Text(".ra4").BE32(0x10000).BE16(4).BE32(0);
    w.BE16(5).BE32(768).BE32(audioBytes).BE32(1440000).BE32(1440000);
    w.BE16(1).BE16(768).BE16(0).BE16(0).BE16(48000).BE16(0).BE16(16).BE16(2);
    w.U8(4).Text("Int0").U8(4).Text("dnet").Bytes("\x00\x03\x00", 3);
    w.U8(0).U8(0).U8(0).U8(0);
    w.PatchBE32(18, static_cast<uint32_t>(w.size() - 16));
    w.Zeros(audioBytes);
    return w.bytes();
}

TEST(BareRealAudioProbe, IsRecognisedAsRealMediaAtAnyPositionLikeRmf) {
    std::vector<uint8_t> v4 = Version4(768);
    EXPECT_EQ(DetectFileTypeInBytes(ByteReader(v4)), kTypeRealMedia);
    std::vector<uint8_t> later(10, 0);
    later.insert(later.end(), v4.begin(), v4.end());
    EXPECT_EQ(DetectFileTypeInBytes(ByteReader(later)), kTypeRealMedia);
    std::vector<uint8_t> near = {'.', 'r', 'a', 0xFE, 0, 0, 0, 0};
    EXPECT_EQ(DetectFileTypeInBytes(ByteReader(near)), kTypeUnknown);
}

TEST(BareRealAudioProbe, EachVersionGivesOneAudioStreamItsNameRateAndDuration) {
    struct Case {
        const char* file;
        std::vector<uint8_t> bytes;
        const char* name;
        float byteRate;
        float seconds;
    };
    std::vector<uint8_t> v5 = kjtest::rm::RaV5('5', "cook", 23);
    for (const Case& c : {Case{"a.ra", Version3(20 * 400), ".ra3,lpcJ", 133, 60},
                          Case{"b.ra", Version4(768 * 100), ".ra4,dnet-5", 24000, 3},
                          Case{"c.ra", v5, "RealAudio 8,cook-23", 12000, 0}}) {
        SCOPED_TRACE(c.file);
        kjtest::TempDir dir;
        ASSERT_TRUE(kjtest::WriteFileBytes(dir.File(c.file), c.bytes));
        auto record = ProbeMediaFile(dir.File(c.file));
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->m_nKind, kKindRealMedia);
        EXPECT_TRUE(record->IsAudioOnly());
        EXPECT_EQ(record->m_strAudioCodec, c.name);
        EXPECT_FLOAT_EQ(record->m_fAudioRate, c.byteRate);
        EXPECT_FLOAT_EQ(record->m_fDuration, c.seconds);
        EXPECT_EQ(record->FormatInfoLine().rfind("Audio:" + std::string(c.name) + " Bitrate:", 0),
                  0u)
            << record->FormatInfoLine();
    }
}

TEST(BareRealAudioProbe, AHeaderCutShortGivesWhatItHas) {
    std::vector<uint8_t> v4 = Version4(0);
    for (size_t n : {size_t{4}, size_t{20}, size_t{40}, size_t{70}}) {
        ProbeInfo info{};
        std::vector<uint8_t> cut(v4.begin(), v4.begin() + static_cast<ptrdiff_t>(n));
        EXPECT_EQ(ParseRmHeader(ByteReader(cut), info), 0);
        EXPECT_EQ(info.audioCount, 1);
        EXPECT_EQ(info.width, 0u);
    }
}

}  // namespace
