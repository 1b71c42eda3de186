#include "probe/asf_header_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "probe/detect_file_type.h"
#include "probe/probe_media_file.h"
#include "probe/tests/header_builders.h"

namespace {

using namespace kjtest;
using namespace kjtest::asf;

ProbeInfo Parse(const Bytes& header, const std::string& seedName = "") {
    if (!seedName.empty()) {
        KeepAsFuzzSeed("asf_header_fuzzer", seedName, header);
    }
    ProbeInfo info;
    EXPECT_EQ(ParseAsfHeader(ByteReader(header), info), 0);
    return info;
}

Bytes TypicalHeader() {
    return Header(Concat({FileProperties(9000, 300ull * 10000000), VideoStream(1, 320, 240, "WMV2"),
                          AudioStream(2, 0x0161, 20000),
                          CodecList({{1, u"Windows Media Video 8", FourccInfo("WMV2")},
                                     {2, u"Windows Media Audio V8", {0x61, 0x01}}}),
                          Bitrates({{1, 800000}, {2, 128000}})}),
                  5);
}

TEST(AsfHeaderReader, ReadsEveryDesignedField) {
    ProbeInfo info = Parse(TypicalHeader(), "typical");
    EXPECT_EQ(info.width, 320u);
    EXPECT_EQ(info.height, 240u);
    EXPECT_STREQ(info.videoCodec, "WMV2");
    EXPECT_EQ(info.frameCount, 9000u);  // data packets
    EXPECT_EQ(info.duration, 300u);
    EXPECT_EQ(info.audioCount, 1u);
    EXPECT_EQ(info.audio[0].formatTag, 0x0161);
    EXPECT_STREQ(info.audio[0].name, "Windows Media Audio V8");
    EXPECT_EQ(info.audio[0].nameKnown, 0u);     // the format-tag lookup still runs
    EXPECT_EQ(info.audio[0].byteRate, 16000u);  // 128 kbit/s from the bitrate records

    // 9000 packets over 300 s of send duration: 30 frames per second.
    TempDir dir;
    std::string path = dir.File("typical.wmv");
    ASSERT_TRUE(WriteFileBytes(path, TypicalHeader()));
    auto record = ProbeMediaFile(path);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->m_nKind, kKindWmv);
    EXPECT_EQ(record->FormatInfoLine(),
              "Video:Windows Media Video 8 Frame:9000 Freq:30.00FPS Audio:Windows Media Audio V8 "
              "Bitrate:16000.000000bps");
}

TEST(AsfHeaderReader, RefusesAHeaderThatDoesNotStartTheFile) {
    Bytes header = Concat({Bytes{'x', 'y', 'z'}, TypicalHeader()});
    KeepAsFuzzSeed("asf_header_fuzzer", "shifted", header);
    ProbeInfo info;
    info.width = 7;  // untouched on failure
    EXPECT_EQ(ParseAsfHeader(ByteReader(header), info), -1);
    EXPECT_EQ(info.width, 7u);
    EXPECT_EQ(info.audioCount, 0u);

    // Detection still calls it ASF; the probe then gives a row without geometry.
    EXPECT_EQ(DetectFileTypeInBytes(ByteReader(header)), kTypeAsf);
    TempDir dir;
    std::string path = dir.File("shifted.wmv");
    ASSERT_TRUE(WriteFileBytes(path, header));
    EXPECT_EQ(ReadAsfHeader(path, info), -1);
    auto record = ProbeMediaFile(path);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->m_nKind, kKindWmv);
    EXPECT_EQ(record->m_nWidth, 0);
    EXPECT_EQ(record->m_nHeight, 0);
    EXPECT_EQ(record->m_bHasAudio, 0);
}

TEST(AsfHeaderReader, FileFailures) {
    TempDir dir;
    ProbeInfo info;
    EXPECT_EQ(ReadAsfHeader(dir.File("missing.wmv"), info), -1);
    ASSERT_TRUE(WriteFileBytes(dir.File("empty.wmv"), {}));
    EXPECT_EQ(ReadAsfHeader(dir.File("empty.wmv"), info), -1);
    EXPECT_EQ(ReadAsfHeader(dir.path(), info), -1);  // a folder reads no bytes
    EXPECT_EQ(info.width, 0u);
}

TEST(AsfHeaderReader, CodecListFourccWinsOnlyWhenItComesAfterTheStream) {
    Bytes codecs = CodecList({{1, u"Video", FourccInfo("WVC1")}});
    Bytes video = VideoStream(1, 640, 480, "WMV3");
    EXPECT_STREQ(Parse(Header(Concat({video, codecs}), 2), "codecs_after").videoCodec, "WVC1");
    EXPECT_STREQ(Parse(Header(Concat({codecs, video}), 2), "codecs_before").videoCodec, "WMV3");

    // Information that is not exactly four bytes long leaves the stream's code alone.
    Bytes longInfo = CodecList({{1, u"Video", {'W', 'V', 'C', '1', '!'}}});
    EXPECT_STREQ(Parse(Header(Concat({video, longInfo}), 2)).videoCodec, "WMV3");
}

TEST(AsfHeaderReader, FourccCopyEndsAtAZeroByte) {
    Bytes codecs = CodecList({{1, u"Video", {'M', 'P', 0, 'Z'}}});
    EXPECT_STREQ(Parse(Header(Concat({VideoStream(1, 2, 2, "WMV1"), codecs}), 2)).videoCodec, "MP");
}

TEST(AsfHeaderReader, SendDurationIsCutToWholeSeconds) {
    ProbeInfo info = Parse(Header(FileProperties(10, 2999999999ull)));
    EXPECT_EQ(info.duration, 299u);
    // Beyond 32 bits of seconds the largest duration is kept rather than a wrapped one.
    ProbeInfo huge = Parse(Header(FileProperties(10, 0xFFFFFFFFFFFFFFFFull)));
    EXPECT_EQ(huge.duration, 0xFFFFFFFFu);
}

TEST(AsfHeaderReader, BitrateRecordsReplaceTheWaveFormatRate) {
    Bytes streams = Concat({VideoStream(1, 320, 240, "WMV2"), AudioStream(2, 0x0161, 20000),
                            AudioStream(3, 0x0160, 8000)});
    // Streams 1 (video) and 2 (audio, 128 kbit/s): the audio stream gets 16000 bytes/s.
    ProbeInfo both =
        Parse(Header(Concat({streams, Bitrates({{1, 800000}, {2, 128000}})}), 4), "bitrates_1_2");
    EXPECT_EQ(both.audio[0].byteRate, 16000u);
    EXPECT_EQ(both.audio[1].byteRate, 8000u);

    // Streams 1 and 3 but not 2: the run stops at 2, so stream 3 keeps its own rate.
    ProbeInfo gap =
        Parse(Header(Concat({streams, Bitrates({{1, 800000}, {3, 64000}})}), 4), "bitrates_1_3");
    EXPECT_EQ(gap.audio[0].byteRate, 20000u);
    EXPECT_EQ(gap.audio[1].byteRate, 8000u);

    // Without a record for stream 1 nothing is applied.
    ProbeInfo noFirst = Parse(Header(Concat({streams, Bitrates({{2, 128000}})}), 4));
    EXPECT_EQ(noFirst.audio[0].byteRate, 20000u);

    // Flags above the stream number (bit 7 and the high byte) are masked off.
    ProbeInfo masked =
        Parse(Header(Concat({streams, Bitrates({{0x8081, 800000}, {0x0182, 96000}})}), 4));
    EXPECT_EQ(masked.audio[0].byteRate, 12000u);
}

TEST(AsfHeaderReader, FourAudioStreamsFillThreeSlots) {
    Bytes streams =
        Concat({AudioStream(1, 0x0161, 1000), AudioStream(2, 0x0160, 2000),
                AudioStream(3, 0x0162, 3000), AudioStream(4, 0x0163, 4000),
                CodecList({{2, u"One", {}}, {2, u"Two", {}}, {2, u"Three", {}}, {2, u"Four", {}}}),
                Bitrates({{1, 8000}, {2, 16000}, {3, 24000}, {4, 32000}})});
    ProbeInfo info = Parse(Header(streams, 6), "four_audio");
    EXPECT_EQ(info.audioCount, 4u);
    EXPECT_EQ(info.audio[0].formatTag, 0x0161);
    EXPECT_EQ(info.audio[1].formatTag, 0x0160);
    EXPECT_EQ(info.audio[2].formatTag, 0x0162);
    EXPECT_EQ(info.audio[0].byteRate, 1000u);
    EXPECT_EQ(info.audio[1].byteRate, 2000u);
    EXPECT_EQ(info.audio[2].byteRate, 3000u);
    EXPECT_STREQ(info.audio[0].name, "One");
    EXPECT_STREQ(info.audio[2].name, "Three");
}

// An Extended Content Description holding one WM/Picture of `pictureBytes` bytes, as music
// tagged with its album art carries it.
Bytes CoverPicture(size_t pictureBytes) {
    ByteWriter value;
    value.U8(3).LE32(static_cast<uint32_t>(pictureBytes));  // front cover
    for (char16_t c : std::u16string(u"image/jpeg")) {
        value.LE16(c);
    }
    value.LE16(0).LE16(0);  // the MIME type's end, an empty description
    value.Zeros(pictureBytes);
    const std::u16string name = u"WM/Picture";
    ByteWriter w;
    w.LE16(1).LE16(static_cast<uint16_t>(2 * (name.size() + 1)));
    for (char16_t c : name) {
        w.LE16(c);
    }
    w.LE16(0).LE16(1).LE16(static_cast<uint16_t>(value.size()));
    w.Bytes(value.bytes().data(), value.size());
    return Object(Guid("D2D0A440-E307-11D2-97F0-00A0C95EA850"), w.bytes());
}

TEST(AsfHeaderReader, TheWholeHeaderObjectIsReadAsFarAsItsOwnSizeSays) {
    // A 42 KB cover picture before the streams: the audio stream lies far past the first 16 KB.
    Bytes header = Header(Concat({FileProperties(50, 100000000), CoverPicture(42 * 1024),
                                  AudioStream(1, 0x0161, 16000)}),
                          3);
    TempDir dir;
    std::string path = dir.File("cover.wma");
    Bytes file = Concat({header, DataObject()});
    ASSERT_TRUE(WriteFileBytes(path, file));
    ProbeInfo info;
    EXPECT_EQ(ReadAsfHeader(path, info), 0);
    EXPECT_EQ(info.frameCount, 50u);
    EXPECT_EQ(info.audioCount, 1u);
    EXPECT_EQ(info.audio[0].formatTag, 0x0161);
    auto record = ProbeMediaFile(path);
    ASSERT_NE(record, nullptr);
    EXPECT_NE(record->m_bHasAudio, 0);

    // A header cut short before its stream is read as far as the file goes.
    std::string cut = dir.File("cut.wma");
    const auto streamBytes = static_cast<long>(AudioStream(1, 0x0161, 16000).size());
    ASSERT_TRUE(WriteFileBytes(cut, Bytes(header.begin(), header.end() - streamBytes)));
    ProbeInfo cutInfo;
    EXPECT_EQ(ReadAsfHeader(cut, cutInfo), 0);
    EXPECT_EQ(cutInfo.frameCount, 50u);
    EXPECT_EQ(cutInfo.audioCount, 0u);
}

TEST(AsfHeaderReader, AHeaderLargerThanAnyRealOneIsReadNoFurtherThanTheLimit) {
    // A sparse file: a Padding object of 65 MB, then a video stream the walk must not reach.
    const uint64_t padding = 65ull << 20;
    Bytes stream = VideoStream(1, 720, 576, "WMV3");
    ByteWriter head;
    Bytes guid = HeaderGuid();
    Bytes front = FileProperties(50, 50000000);
    uint64_t size = 30 + front.size() + padding + stream.size();
    head.Bytes(guid.data(), guid.size()).LE64(size).LE32(3).U8(1).U8(2);
    head.Bytes(front.data(), front.size());
    Bytes paddingGuid = PaddingGuid();
    head.Bytes(paddingGuid.data(), paddingGuid.size()).LE64(padding);
    TempDir dir;
    std::string path = dir.File("huge_header.wmv");
    ASSERT_TRUE(WriteFileBytes(path, head.bytes()));
    std::filesystem::resize_file(path, size - stream.size());
    {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out.write(reinterpret_cast<const char*>(stream.data()),
                  static_cast<std::streamsize>(stream.size()));
    }
    ProbeInfo info;
    EXPECT_EQ(ReadAsfHeader(path, info), 0);
    EXPECT_EQ(info.frameCount, 50u);
    EXPECT_EQ(info.width, 0u);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadAsfHeaderObject(path, bytes));
    EXPECT_LT(bytes.size(), size);
}

TEST(AsfHeaderReader, DataObjectEndsTheWalk) {
    ProbeInfo info = Parse(Header(Concat({DataObject(), VideoStream(1, 320, 240, "WMV2")}), 2));
    EXPECT_EQ(info.width, 0u);
}

TEST(AsfHeaderReader, SkipsUnknownObjectsAndOtherStreamTypes) {
    Bytes extension = Object(HeaderExtensionGuid(), Bytes(22, 0));
    Bytes command = StreamProperties(CommandMediaGuid(), 3, Bytes(10, 0));
    ProbeInfo info =
        Parse(Header(Concat({extension, command, Padding(40), VideoStream(1, 32, 16, "WMV1")}), 4));
    EXPECT_EQ(info.width, 32u);
    EXPECT_EQ(info.audioCount, 0u);
}

TEST(AsfHeaderReader, TheWalkStopsAtHeaderSize) {
    Bytes header = Header(Concat({FileProperties(5, 0), VideoStream(1, 320, 240, "WMV2")}), 2);
    // Shrink the Header Object's size so that it ends before the stream.
    ByteWriter w;
    w.bytes() = header;
    w.PatchLE64(16, 30 + 104);
    ProbeInfo info = Parse(w.bytes());
    EXPECT_EQ(info.frameCount, 5u);
    EXPECT_EQ(info.width, 0u);
}

TEST(AsfHeaderReader, CodecNamesBecomeUtf8CutToTheSlot) {
    std::u16string accented(100, u'\u00E9');  // 200 bytes of UTF-8
    std::u16string supplementary = u"A\U0001F3B5B";
    std::u16string broken = u"x";
    broken += static_cast<char16_t>(0xD800);  // a high surrogate with no partner
    broken += u"y";
    ProbeInfo info = Parse(
        Header(Concat({AudioStream(1, 0x161, 1), AudioStream(2, 0x161, 1), AudioStream(3, 0x161, 1),
                       CodecList({{2, accented, {}}, {2, supplementary, {}}, {2, broken, {}}})}),
               4));
    // 128 bytes of text: 64 whole two-byte characters.
    EXPECT_EQ(std::strlen(info.audio[0].name), 128u);
    std::string expected;
    for (int i = 0; i < 64; ++i) {
        expected += "\xC3\xA9";
    }
    EXPECT_EQ(std::string(info.audio[0].name), expected);
    EXPECT_STREQ(info.audio[1].name,
                 "A\xF0\x9F\x8E\xB5"
                 "B");
    EXPECT_STREQ(info.audio[2].name, "x\xEF\xBF\xBDy");
}

TEST(AsfHeaderReader, ThreeByteCharactersAreNotSplitAtTheSlotEnd) {
    std::u16string text(50, u'\u20AC');  // 150 bytes of UTF-8, 3 per character
    ProbeInfo info =
        Parse(Header(Concat({AudioStream(1, 0x161, 1), CodecList({{2, text, {}}})}), 2));
    EXPECT_EQ(std::strlen(info.audio[0].name), 126u);  // 42 whole characters
}

// ---- hostile and truncated headers: the walk keeps what it gathered and stops ----

TEST(AsfHeaderReader, ObjectTooSmallToAdvanceEndsTheWalk) {
    for (uint64_t size : {0ull, 1ull, 23ull}) {
        Bytes bad = Object(PaddingGuid(), {});
        ByteWriter w;
        w.bytes() = bad;
        w.PatchLE64(16, size);
        ProbeInfo info = Parse(
            Header(Concat({FileProperties(12, 0), w.bytes(), VideoStream(1, 320, 240, "WMV2")}), 3),
            size == 0 ? "zero_size_object" : "");
        EXPECT_EQ(info.frameCount, 12u) << size;
        EXPECT_EQ(info.width, 0u) << size;
    }
}

TEST(AsfHeaderReader, FieldsPastTheEndOfTheirObjectAreNotRead) {
    // A video Stream Properties Object whose size ends after the height: no FourCC from the
    // following bytes, which belong to the next object.
    Bytes video = VideoStream(1, 320, 240, "WMV2");
    ByteWriter w;
    w.bytes() = video;
    w.PatchLE64(16, 86);
    Bytes shortVideo(w.bytes().begin(), w.bytes().begin() + 86);
    ProbeInfo info = Parse(Header(Concat({shortVideo, FileProperties(3, 0)}), 2));
    EXPECT_EQ(info.width, 320u);
    EXPECT_EQ(info.height, 240u);
    EXPECT_STREQ(info.videoCodec, "");
    EXPECT_EQ(info.frameCount, 3u);  // the walk went on by the object's own size
}

TEST(AsfHeaderReader, TruncatedCodecListKeepsTheEntriesBeforeTheCut) {
    Bytes codecs = CodecList({{2, u"First", {}}, {2, u"Second", {}}});
    codecs.resize(codecs.size() - 6);  // the second entry runs past the end of the file
    Bytes header = Header(Concat({AudioStream(1, 0x161, 1), AudioStream(2, 0x161, 1), codecs}), 3);
    ProbeInfo info = Parse(header, "truncated_codec_list");
    EXPECT_STREQ(info.audio[0].name, "First");
    EXPECT_STREQ(info.audio[1].name, "");
}

TEST(AsfHeaderReader, HugeCountsEndWithTheObjectsBytes) {
    Bytes codecs = CodecList({{2, u"Only", {}}});
    ByteWriter c;
    c.bytes() = codecs;
    c.PatchLE32(40, 0xFFFFFFFF);
    Bytes bitrates = Bitrates({{1, 8000}});
    ByteWriter b;
    b.bytes() = bitrates;
    b.PatchLE16(24, 0xFFFF);
    ProbeInfo info =
        Parse(Header(Concat({AudioStream(1, 0x161, 1), c.bytes(), b.bytes()}), 3), "huge_counts");
    EXPECT_STREQ(info.audio[0].name, "Only");
    EXPECT_EQ(info.audio[0].byteRate, 1000u);
}

TEST(AsfHeaderReader, HeaderCutShortOfItsFirstChild) {
    Bytes header = TypicalHeader();
    for (size_t keep : {size_t{16}, size_t{24}, size_t{30}, size_t{40}, size_t{100}}) {
        Bytes cut(header.begin(), header.begin() + static_cast<long>(keep));
        ProbeInfo info;
        EXPECT_EQ(ParseAsfHeader(ByteReader(cut), info), 0) << keep;
        EXPECT_EQ(info.width, 0u);
    }
    Bytes guidOnly(header.begin(), header.begin() + 15);
    ProbeInfo info;
    EXPECT_EQ(ParseAsfHeader(ByteReader(guidOnly), info), -1);
}

}  // namespace
