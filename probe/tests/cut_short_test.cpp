// Whether a file holds what its header promises: files written by ffmpeg, whole and cut at 30 %,
// for each kind, and header edge cases built byte by byte.
#include <gtest/gtest.h>

#include <string>

#include "platform/bytes.h"
#include "probe/cut_short.h"
#include "probe/file_type_readers.h"
#include "probe/tests/header_builders.h"
#include "tests/support/media_fixtures.h"

namespace {

using namespace kjtest;

CutShortReadAt ReaderOf(const std::vector<uint8_t>& bytes) {
    return [&bytes](uint64_t offset, uint8_t* out, size_t count) -> size_t {
        if (offset >= bytes.size()) {
            return 0;
        }
        size_t n = std::min<uint64_t>(count, bytes.size() - offset);
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), n, out);
        return n;
    };
}

// The judge of the type's reader over the bytes, as the probe runs it on a file.
CutShortFinding Judge(const FileTypeReader& reader, const std::vector<uint8_t>& bytes) {
    return reader.findCutShort(ReaderOf(bytes), bytes.size(), -1);
}

struct KindCase {
    const char* name;
    FileTypeReader (*reader)();
    const char* codecs;
    bool tellsLength;  // the header says how long the whole file is
};

class CutFiles : public ::testing::TestWithParam<KindCase> {};

TEST_P(CutFiles, AFileCutAtThirtyPercentIsToldAndTheWholeOneIsNot) {
    const KindCase& c = GetParam();
    kjtest::TempDir dir;
    std::string whole = dir.File(std::string("whole.") + c.name);
    // Noise keeps every frame large, so that 30 % of the bytes is about 30 % of the time.
    ASSERT_TRUE(kjtest::MakeWithFfmpeg(
        std::string("-f lavfi -i testsrc=size=320x240:rate=25,noise=alls=40:allf=t "
                    "-f lavfi -i sine=r=44100 -t 4 ") +
            c.codecs,
        whole));
    std::vector<uint8_t> bytes = kjtest::ReadFileBytes(whole);
    CutShortFinding intact = Judge(c.reader(), bytes);
    EXPECT_FALSE(intact.cutShort) << CutShortText(intact);
    EXPECT_EQ(FindCutShort(whole, c.reader().findCutShort, -1).cutShort, false);

    bytes.resize(bytes.size() * 3 / 10);
    CutShortFinding cut = Judge(c.reader(), bytes);
    ASSERT_TRUE(cut.cutShort);
    std::string text = CutShortText(cut);
    EXPECT_EQ(text.rfind("cut short: ", 0), 0u) << text;
    if (c.tellsLength) {
        EXPECT_NEAR(cut.promisedSeconds, 4.0, 0.3);
        EXPECT_GT(cut.readableSeconds, 4.0 * 0.15) << text;
        EXPECT_LT(cut.readableSeconds, 4.0 * 0.5) << text;
        EXPECT_NE(text.find(" of 4."), std::string::npos) << text;
    }
    std::string cutPath = dir.File(std::string("cut.") + c.name);
    ASSERT_TRUE(kjtest::WriteFileBytes(cutPath, bytes));
    EXPECT_TRUE(FindCutShort(cutPath, c.reader().findCutShort, 1.2).cutShort);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, CutFiles,
    ::testing::Values(KindCase{"wmv", AsfFileReader, "-c:v wmv2 -b:v 4M -c:a wmav2", true},
                      KindCase{"rm", RealMediaFileReader, "-c:v rv20 -b:v 4M -c:a ac3", true},
                      KindCase{"avi", AviFileReader, "-c:v mpeg4 -b:v 4M -c:a libmp3lame", true},
                      KindCase{"mpg", MpegFileReader,
                               "-c:v mpeg1video -b:v 4M -maxrate 4M -bufsize 1M -c:a mp2 -f mpeg",
                               false}),
    [](const ::testing::TestParamInfo<KindCase>& info) { return std::string(info.param.name); });

TEST(CutShortAsf, AHeaderWithoutItsDataCanReadNothing) {
    // 40 packets of 3200 bytes promised, the file ends after the header.
    Bytes file = asf::Header(asf::FileProperties(40, 97'000'000));
    CutShortFinding cut = Judge(AsfFileReader(), file);
    ASSERT_TRUE(cut.cutShort);
    EXPECT_DOUBLE_EQ(cut.readableSeconds, 0);
    EXPECT_NEAR(cut.promisedSeconds, 9.7 + 3.1 - 3.1, 0.01);
    EXPECT_EQ(CutShortText(cut), "cut short: nothing of its 9.7 s can be read");
    KeepAsFuzzSeed("cut_short_fuzzer", "asf_header_only", file);
}

TEST(CutShortAsf, TheLastWholePacketsSendTimeSaysHowFarItGoes) {
    Bytes file = Concat({asf::Header(asf::FileProperties(40, 97'000'000)), asf::DataObject()});
    for (uint32_t packet = 0; packet < 3; ++packet) {
        ByteWriter w;
        // "82 00 00", single payload, no packet length, BYTE padding, send time, duration.
        w.U8(0x82).U8(0).U8(0).U8(0x08).U8(0x5D).U8(0).LE32(1000 + packet * 250).LE16(250);
        w.Zeros(3200 - w.bytes().size());
        file.insert(file.end(), w.bytes().begin(), w.bytes().end());
    }
    file.resize(file.size() - 100);  // the third packet is cut
    CutShortFinding cut = Judge(AsfFileReader(), file);
    ASSERT_TRUE(cut.cutShort);
    EXPECT_DOUBLE_EQ(cut.readableSeconds, 1.5);  // the second packet ends at 1250 + 250 ms
    EXPECT_EQ(CutShortText(cut), "cut short: about 1.5 s of 9.7 s can be read");
    KeepAsFuzzSeed("cut_short_fuzzer", "asf_cut_packets", file);
}

Bytes RmFile(uint32_t indexOffset, uint32_t dataBytes) {
    Bytes prop = rm::Prop(20000);
    // PROP: the index offset at 38, the stream count at 46.
    ByteWriter patch;
    patch.Bytes(prop.data(), prop.size());
    patch.bytes()[38] = static_cast<uint8_t>(indexOffset >> 24);
    patch.bytes()[39] = static_cast<uint8_t>(indexOffset >> 16);
    patch.bytes()[40] = static_cast<uint8_t>(indexOffset >> 8);
    patch.bytes()[41] = static_cast<uint8_t>(indexOffset);
    Bytes head = Concat({rm::FileHeader(), patch.bytes()});
    ByteWriter data;
    data.Text("DATA").BE32(18 + dataBytes).BE16(0).BE32(0).BE32(0);
    // Packets of 100 bytes on stream 0, 40 ms apart.
    for (uint32_t i = 0; i < dataBytes / 100; ++i) {
        data.BE16(0).BE16(100).BE16(0).BE32(i * 40).U8(0).U8(2).Zeros(88);
    }
    return Concat({head, data.bytes()});
}

TEST(CutShortRealMedia, AFileCutInsideItsDataEndsAtItsLastWholePacket) {
    Bytes file = RmFile(0, 100 * 100);
    EXPECT_FALSE(Judge(RealMediaFileReader(), file).cutShort);
    file.resize(file.size() - 4 * 100 - 50);  // 95 whole packets and half of the 96th
    CutShortFinding cut = Judge(RealMediaFileReader(), file);
    ASSERT_TRUE(cut.cutShort);
    EXPECT_DOUBLE_EQ(cut.readableSeconds, 94 * 0.040);
    EXPECT_EQ(CutShortText(cut), "cut short: about 3.8 s of 20.0 s can be read");
    KeepAsFuzzSeed("cut_short_fuzzer", "rm_cut_packets", file);
}

TEST(CutShortRealMedia, WholeDataWithoutItsIndexIsToldAsAMissingIndex) {
    Bytes file = RmFile(0, 10 * 100);
    Bytes withIndex = RmFile(static_cast<uint32_t>(file.size()), 10 * 100);
    CutShortFinding cut = Judge(RealMediaFileReader(), withIndex);
    ASSERT_TRUE(cut.cutShort);
    EXPECT_TRUE(cut.indexMissing);
    EXPECT_EQ(CutShortText(cut), "cut short: its index is missing; all 20.0 s can be read");
}

TEST(CutShortAvi, AFileShorterThanItsRiffSizeIsCutUnlessTheSizeWasNeverWritten) {
    Bytes file = avi::File(Concat({avi::MainHeader(), avi::VideoStreamList(0, 0)}));
    ASSERT_FALSE(Judge(AviFileReader(), file).cutShort);
    Bytes cut(file.begin(), file.end() - 200);
    CutShortFinding finding = Judge(AviFileReader(), cut);
    ASSERT_TRUE(finding.cutShort);
    EXPECT_NEAR(finding.promisedSeconds, 25 * 0.04, 1e-9);  // 25 frames of 40 ms
    EXPECT_GT(finding.readableSeconds, 0);
    EXPECT_LT(finding.readableSeconds, finding.promisedSeconds);
    KeepAsFuzzSeed("cut_short_fuzzer", "avi_cut_movi", cut);
    cut[4] = cut[5] = cut[6] = cut[7] = 0;  // a capture that never wrote its RIFF size
    EXPECT_FALSE(Judge(AviFileReader(), cut).cutShort);
}

TEST(CutShortMpeg, AProgramEndCodeOrAWholePacketEndsAWholeFile) {
    ByteWriter w;
    for (int i = 0; i < 4; ++i) {
        // An MPEG-1 pack header and a padding packet of 100 bytes.
        w.BE32(0x000001BA).U8(0x21).Zeros(7);
        w.BE32(0x000001BE).BE16(100).Zeros(100);
    }
    Bytes packets = w.bytes();
    EXPECT_FALSE(Judge(MpegFileReader(), packets).cutShort);
    Bytes ended = packets;
    for (uint8_t b : {0x00, 0x00, 0x01, 0xB9}) {
        ended.push_back(b);
    }
    EXPECT_FALSE(Judge(MpegFileReader(), ended).cutShort);
    Bytes cut(packets.begin(), packets.end() - 30);
    CutShortFinding finding = Judge(MpegFileReader(), cut);
    EXPECT_TRUE(finding.cutShort);
    EXPECT_EQ(CutShortText(finding), "cut short: it ends inside its last packet");
    KeepAsFuzzSeed("cut_short_fuzzer", "mpeg_cut_packets", cut);
}

TEST(CutShortMpeg, AVideoCdFileShorterThanItsRiffSizeIsCut) {
    ByteWriter w;
    w.Text("RIFF").LE32(100000).Text("CDXA").Zeros(500);
    EXPECT_TRUE(FindMpegCutShort(ReaderOf(w.bytes()), w.bytes().size(), 2.5).cutShort);
    EXPECT_EQ(CutShortText(FindMpegCutShort(ReaderOf(w.bytes()), w.bytes().size(), 2.5)),
              "cut short: about 2.5 s can be read");
}

}  // namespace
