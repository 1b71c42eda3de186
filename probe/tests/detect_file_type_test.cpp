#include "probe/detect_file_type.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "probe/probe_info.h"
#include "tests/support/media_fixtures.h"

namespace {

FileTypeCode Detect(const ByteWriter& w) { return DetectFileTypeInBytes(ByteReader(w.bytes())); }

ByteWriter RiffHeader(const char* form) {
    ByteWriter w;
    w.Text("RIFF").LE32(1000).Text(form);
    return w;
}

TEST(DetectFileType, RecognisesEachSignatureAtTheStart) {
    ByteWriter asf;
    asf.Bytes("\x30\x26\xB2\x75\x8E\x66\xCF\x11", 8).Zeros(40);
    EXPECT_EQ(Detect(asf), kTypeAsf);
    EXPECT_EQ(Detect(RiffHeader("AVI LIST")), kTypeAvi);
    ByteWriter rm;
    rm.Text(".RMF").Zeros(14);
    EXPECT_EQ(Detect(rm), kTypeRealMedia);
    ByteWriter ogg;
    ogg.Text("OggS").Zeros(20);
    EXPECT_EQ(Detect(ogg), kTypeOgg);
    ByteWriter pack, sequence;
    pack.Bytes("\x00\x00\x01\xBA", 4).Zeros(10);
    sequence.Bytes("\x00\x00\x01\xB3", 4).Zeros(10);
    EXPECT_EQ(Detect(pack), kTypeMpeg);
    EXPECT_EQ(Detect(sequence), kTypeMpeg);
}

TEST(DetectFileType, VideoCdPackHeaderSixtyEightBytesAfterRiff) {
    ByteWriter w = RiffHeader("CDXA");
    w.Zeros(68 - w.size()).Bytes("\x00\x00\x01\xBA", 4).Zeros(40);
    EXPECT_EQ(Detect(w), kTypeMpeg);
}

TEST(DetectFileType, PackHeaderAfter124OtherBytesIsFound) {
    ByteWriter w;
    w.Zeros(124).Bytes("\x00\x00\x01\xBA", 4);
    ASSERT_EQ(w.size(), 128u);
    EXPECT_EQ(Detect(w), kTypeMpeg);
    ByteWriter tooFar;
    tooFar.Zeros(125).Bytes("\x00\x00\x01\xBA", 4);
    EXPECT_EQ(DetectFileTypeInBytes(ByteReader(tooFar.bytes().data(), 128)), kTypeUnknown);
}

TEST(DetectFileType, WaveWithoutOtherSignatureIsUnknown) {
    ByteWriter w = RiffHeader("WAVEfmt ");
    w.LE32(16).Zeros(100);
    EXPECT_EQ(Detect(w), kTypeUnknown);
}

TEST(DetectFileType, LowestPositionWins) {
    ByteWriter w;
    w.Zeros(3).Text(".RMF").Zeros(5).Bytes("\x00\x00\x01\xBA", 4);
    EXPECT_EQ(Detect(w), kTypeRealMedia);
}

TEST(DetectFileType, ShortAndEmptyBuffersOnlyLookAtWhatIsThere) {
    ByteWriter threeBytes;
    threeBytes.Text(".RM");
    EXPECT_EQ(Detect(threeBytes), kTypeUnknown);
    EXPECT_EQ(DetectFileTypeInBytes(ByteReader()), kTypeUnknown);
    // A RIFF whose form type lies past the end decides nothing.
    ByteWriter cutRiff;
    cutRiff.Text("RIFF").LE32(0);
    EXPECT_EQ(Detect(cutRiff), kTypeUnknown);
}

TEST(DetectFileType, FilesOnDisk) {
    kjtest::TempDir dir;
    ByteWriter rm;
    rm.Text(".RMF").Zeros(30);
    ASSERT_TRUE(kjtest::WriteFileBytes(dir.File("movie.avi"), rm.bytes()));
    EXPECT_EQ(DetectFileType(dir.File("movie.avi")), kTypeRealMedia);
    EXPECT_EQ(g_probeInfo.typeCode, kTypeRealMedia);

    ASSERT_TRUE(kjtest::WriteFileBytes(dir.File("empty.mpg"), {}));
    EXPECT_EQ(DetectFileType(dir.File("empty.mpg")), kTypeUnknown);
    EXPECT_EQ(g_probeInfo.typeCode, kTypeUnknown);

    EXPECT_EQ(DetectFileType(dir.File("missing.wmv")), kTypeUnknown);
    EXPECT_EQ(DetectFileType(dir.path()), kTypeUnknown);
}

}  // namespace
