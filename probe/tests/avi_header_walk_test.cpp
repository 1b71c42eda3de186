#include "probe/avi_header_walk.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/vfw.h"
#include "probe/asf_header_reader.h"
#include "probe/avi_probe.h"
#include "probe/rm_header_reader.h"
#include "probe/tests/header_builders.h"

namespace {

using namespace kjtest;
using namespace kjtest::avi;

struct WalkResult {
    int code = 1;
    uint32_t fourcc = 0;
};

WalkResult Walk(const Bytes& file, const std::string& seedName = "") {
    if (!seedName.empty()) {
        KeepAsFuzzSeed("avi_walk_fuzzer", seedName, file);
        KeepAsFuzzSeed("avi_file_fuzzer", seedName, file);
    }
    WalkResult r;
    r.code = WalkAviBytes(ByteReader(file), r.fourcc);
    // The walk over the same bytes in a file gives the same answer.
    TempDir dir;
    std::string path = dir.File("walk.avi");
    EXPECT_TRUE(WriteFileBytes(path, file));
    uint32_t fromFile = 0;
    EXPECT_EQ(WalkAviHeaders(path, fromFile), r.code);
    EXPECT_EQ(fromFile, r.fourcc);
    return r;
}

constexpr uint32_t kDivx = MakeFourcc("divx");
constexpr uint32_t kXvid = MakeFourcc("XVID");

TEST(AviHeaderWalk, UncompressedVideoGivesTheHandlerCode) {
    WalkResult r =
        Walk(File(Concat({MainHeader(), VideoStreamList(MakeFourcc("DIB "), 0)})), "uncompressed");
    EXPECT_EQ(r.code, kAviWalkOk);
    EXPECT_EQ(r.fourcc, MakeFourcc("DIB "));
}

TEST(AviHeaderWalk, ACompressionFourccDifferentFromTheHandlerWins) {
    WalkResult r = Walk(File(Concat({MainHeader(), VideoStreamList(kDivx, kXvid)})), "xvid");
    EXPECT_EQ(r.code, kAviWalkOk);
    EXPECT_EQ(r.fourcc, kXvid);
    // Numbers below the FourCC range (BI_RLE8, BI_BITFIELDS, ...) give the handler instead.
    EXPECT_EQ(Walk(File(Concat({MainHeader(), VideoStreamList(kDivx, 3)}))).fourcc, kDivx);
    EXPECT_EQ(Walk(File(Concat({MainHeader(), VideoStreamList(kDivx, 0x19FFFFFE)}))).fourcc, kDivx);
    EXPECT_EQ(Walk(File(Concat({MainHeader(), VideoStreamList(kDivx, 0x19FFFFFF)}))).fourcc,
              0x19FFFFFFu);
}

TEST(AviHeaderWalk, AudioFirstIsRefused) {
    WalkResult r =
        Walk(File(Concat({MainHeader(), AudioStreamList(), VideoStreamList(kDivx, kXvid)})),
             "audio_first");
    EXPECT_EQ(r.code, kAviWalkNotVideo);
    EXPECT_EQ(Walk(File(MainHeader())).code, kAviWalkNotVideo);  // no stream header at all
}

TEST(AviHeaderWalk, OddJunkIsSkippedWithItsPadByte) {
    // The JUNK data holds a decoy audio stream header that only a walk that stepped into the
    // chunk would see; its odd size 11 is skipped as 8 + 12 = 20 bytes, landing exactly on
    // the real "strh" list.
    ByteWriter junkData;
    junkData.Text("strhauds").Zeros(3);
    Bytes junk = Chunk("JUNK", junkData.bytes());
    ASSERT_EQ(junk.size(), 20u);
    WalkResult r =
        Walk(File(Concat({MainHeader(), junk, VideoStreamList(kDivx, kXvid)})), "odd_junk");
    EXPECT_EQ(r.code, kAviWalkOk);
    EXPECT_EQ(r.fourcc, kXvid);

    // "strn" chunks are skipped the same way.
    Bytes strn = Chunk("strn", Bytes{'s', 't', 'r', 'h', 'a', 'u', 'd', 's', 0});
    EXPECT_EQ(Walk(File(Concat({MainHeader(), strn, VideoStreamList(kDivx, kXvid)}))).fourcc,
              kXvid);
}

TEST(AviHeaderWalk, ShortFilesAndOtherForms) {
    Bytes file = File(Concat({MainHeader(), VideoStreamList(kDivx, kXvid)}));
    EXPECT_EQ(Walk(Bytes(file.begin(), file.begin() + 400), "short_400").code, kAviWalkTooShort);
    EXPECT_EQ(Walk(Bytes(file.begin(), file.begin() + 511)).code, kAviWalkTooShort);
    Bytes wave = file;
    wave[8] = 'W';
    EXPECT_EQ(Walk(wave).code, kAviWalkNotAvi);
    uint32_t fourcc = 0;
    EXPECT_EQ(WalkAviHeaders("/nonexistent/kj/file.avi", fourcc), kAviWalkCannotOpen);
    TempDir dir;
    EXPECT_EQ(WalkAviHeaders(dir.path(), fourcc), kAviWalkCannotOpen);
}

TEST(AviHeaderWalk, MoviEndsTheSearch) {
    Bytes hdrl = MainHeader();
    Bytes afterMovi = Concat({List("movi", Bytes(40, 0)), VideoStreamList(kDivx, kXvid)});
    Bytes file = File(hdrl, afterMovi);
    EXPECT_EQ(Walk(file).code, kAviWalkNotVideo);
    // Also when "movi" sits two bytes past a four-byte step.
    Bytes shifted = File(Concat({MainHeader(), Chunk("JUNK", Bytes(2, 0))}),
                         Concat({List("movi", Bytes(40, 0)), VideoStreamList(kDivx, kXvid)}));
    EXPECT_EQ(Walk(shifted).code, kAviWalkNotVideo);
}

TEST(AviHeaderWalk, FirstStreamHeaderFoundThroughTheRefill) {
    // A JUNK chunk that ends a little past the first 16384 bytes.
    size_t junkData = 16384 - 12 - 12 - 64 + 20;
    Bytes hdrl =
        Concat({MainHeader(), Chunk("JUNK", Bytes(junkData, 0)), VideoStreamList(kDivx, kXvid)});
    Bytes file = File(hdrl);
    WalkResult r = Walk(file, "refill");
    EXPECT_EQ(r.code, kAviWalkOk);
    EXPECT_EQ(r.fourcc, kXvid);
}

TEST(AviHeaderWalk, StreamRecordAcrossTheWindowEdgeComesFromTheFile) {
    // The "strh" lies 110 bytes before the end of the first 16384 bytes: the walk does not
    // refill yet, but the record needs bytes beyond the window.
    for (size_t before : {size_t{100}, size_t{104}, size_t{108}, size_t{112}, size_t{140}}) {
        size_t strlAt = 16384 - before - 12;  // "LIST" size "strl" then "strh"
        size_t junkData = strlAt - 12 - 12 - 64 - 8;
        Bytes hdrl = Concat(
            {MainHeader(), Chunk("JUNK", Bytes(junkData, 0)), VideoStreamList(kDivx, kXvid)});
        WalkResult r = Walk(File(hdrl));
        EXPECT_EQ(r.code, kAviWalkOk) << before;
        EXPECT_EQ(r.fourcc, kXvid) << before;
    }
}

TEST(AviHeaderWalk, LongStreamHeaderFillsTheRecordOnly) {
    // A 200-byte "strh": the record is its first 140 bytes, offset 72 comes from it.
    ByteWriter sh;
    sh.Bytes(StreamHeaderData("vids", kDivx).data(), 56)
        .Zeros(16)
        .LE32(MakeFourcc("ABCD"))
        .Zeros(124);
    Bytes strl =
        List("strl", Concat({Chunk("strh", sh.bytes()), Chunk("strf", BitmapInfo(kXvid))}));
    WalkResult r = Walk(File(Concat({MainHeader(), strl})), "long_strh");
    EXPECT_EQ(r.code, kAviWalkOk);
    EXPECT_EQ(r.fourcc, MakeFourcc("ABCD"));
}

TEST(AviHeaderWalk, HostileSizesEndTheWalk) {
    // A "strh" and a "strf" whose sizes point far past the file.
    ByteWriter hostile;
    hostile.Text("strh").LE32(56).Bytes(StreamHeaderData("vids", kDivx).data(), 56);
    hostile.Text("strf").LE32(0xFFFFFFF0).Bytes(BitmapInfo(kXvid).data(), 40);
    WalkResult r =
        Walk(File(Concat({MainHeader(), List("strl", hostile.bytes())})), "hostile_strf");
    EXPECT_EQ(r.code, kAviWalkOk);
    EXPECT_EQ(r.fourcc, kXvid);

    ByteWriter hugeStrh;
    hugeStrh.Text("strh").LE32(0xFFFFFFFF).Text("vids").LE32(kDivx);
    EXPECT_EQ(Walk(File(Concat({MainHeader(), List("strl", hugeStrh.bytes())}))).fourcc, kDivx);

    // A JUNK chunk that claims 4 GiB: the walk runs out of bytes and finds no stream.
    ByteWriter junk;
    junk.Text("JUNK").LE32(0xFFFFFFFF);
    EXPECT_EQ(
        Walk(File(Concat({MainHeader(), junk.bytes(), VideoStreamList(kDivx, kXvid)})), "huge_junk")
            .code,
        kAviWalkNotVideo);

    // A "strh" in the last bytes of the file, its size field cut off.
    Bytes file = File(MainHeader());
    ByteWriter tail;
    tail.bytes() = file;
    tail.Zeros(2).Text("strh").U8(56);
    EXPECT_EQ(Walk(tail.bytes()).code, kAviWalkNotVideo);
}

// ---- the AVI file interface and the dispatcher's FourCC steps ----

TEST(AviFileInterface, FirstVideoStreamInformation) {
    TempDir dir;
    std::string path = dir.File("two_streams.avi");
    Bytes strn = Chunk("strn", Bytes{'M', 'y', ' ', 'v', 'i', 'd', 'e', 'o', 0});
    Bytes video = List("strl", Concat({Chunk("strh", StreamHeaderData("vids", kDivx)),
                                       Chunk("strf", BitmapInfo(kXvid)), strn}));
    ASSERT_TRUE(WriteFileBytes(path, File(Concat({MainHeader(), AudioStreamList(), video}))));

    PAVIFILE file = nullptr;
    ASSERT_EQ(AVIFileOpenA(&file, path.c_str(), OF_READ | OF_SHARE_DENY_NONE, nullptr), AVIERR_OK);
    PAVISTREAM stream = nullptr;
    ASSERT_EQ(AVIFileGetStream(file, &stream, streamtypeVIDEO, 0), AVIERR_OK);
    AVISTREAMINFOA info;
    ASSERT_EQ(AVIStreamInfoA(stream, &info, sizeof info), AVIERR_OK);
    EXPECT_EQ(info.fccType, streamtypeVIDEO);
    EXPECT_EQ(info.fccHandler, kDivx);
    EXPECT_EQ(info.dwScale, 1u);
    EXPECT_EQ(info.dwRate, 25u);
    EXPECT_EQ(info.dwLength, 75u);
    EXPECT_EQ(info.rcFrame.right, 320);
    EXPECT_EQ(info.rcFrame.bottom, 240);
    EXPECT_STREQ(info.szName, "My video");

    PAVISTREAM second = nullptr;
    EXPECT_EQ(AVIFileGetStream(file, &second, streamtypeVIDEO, 1), AVIERR_NODATA);
    EXPECT_EQ(second, nullptr);
    PAVISTREAM audio = nullptr;
    ASSERT_EQ(AVIFileGetStream(file, &audio, streamtypeAUDIO, 0), AVIERR_OK);
    AVISTREAMINFOA audioInfo;
    // A short size copies only the start of the record.
    audioInfo.fccHandler = 0x12345678;
    ASSERT_EQ(AVIStreamInfoA(audio, &audioInfo, 4), AVIERR_OK);
    EXPECT_EQ(audioInfo.fccType, streamtypeAUDIO);
    EXPECT_EQ(audioInfo.fccHandler, 0x12345678u);

    EXPECT_EQ(AVIStreamRelease(audio), 0u);
    EXPECT_EQ(AVIStreamRelease(stream), 0u);
    EXPECT_EQ(AVIFileRelease(file), 0u);
}

TEST(AviFileInterface, FailuresAreReportedAndLeaveNoObject) {
    TempDir dir;
    PAVIFILE file = reinterpret_cast<PAVIFILE>(0x1);
    EXPECT_TRUE(FAILED(AVIFileOpenA(&file, dir.File("missing.avi").c_str(), OF_READ, nullptr)));
    EXPECT_EQ(file, nullptr);

    std::string path = dir.File("not_avi.avi");
    ASSERT_TRUE(WriteFileBytes(path, Bytes(1000, 'x')));
    EXPECT_EQ(AVIFileOpenA(&file, path.c_str(), OF_READ, nullptr), AVIERR_BADFORMAT);
    EXPECT_EQ(file, nullptr);

    std::string good = dir.File("good.avi");
    ASSERT_TRUE(WriteFileBytes(good, File(Concat({MainHeader(), VideoStreamList(kDivx, 0)}))));
    EXPECT_EQ(AVIFileOpenA(&file, good.c_str(), OF_WRITE, nullptr), AVIERR_UNSUPPORTED);
    CLSID handler{};
    EXPECT_EQ(AVIFileOpenA(&file, good.c_str(), OF_READ, &handler), AVIERR_UNSUPPORTED);
    EXPECT_EQ(AVIFileGetStream(nullptr, nullptr, streamtypeVIDEO, 0), AVIERR_BADPARAM);
    EXPECT_EQ(AVIStreamInfoA(nullptr, nullptr, 140), AVIERR_BADPARAM);

    // No header list before "movi".
    std::string noHeader = dir.File("no_hdrl.avi");
    ByteWriter w;
    w.Text("RIFF").LE32(0).Text("AVI ");
    w.Bytes(List("movi", Bytes(600, 0)).data(), 612);
    ASSERT_TRUE(WriteFileBytes(noHeader, w.bytes()));
    EXPECT_EQ(AVIFileOpenA(&file, noHeader.c_str(), OF_READ, nullptr), AVIERR_BADFORMAT);
}

TEST(AviFourccSteps, WalkResultReplacesTheHandlerAndTheCodecText) {
    TempDir dir;
    std::string path = dir.File("xvid.avi");
    ASSERT_TRUE(WriteFileBytes(path, File(Concat({MainHeader(), VideoStreamList(kDivx, kXvid)}))));
    MediaFileInfo info;
    info.m_strVideoCodec = "library name";
    ReadAviHandlerFourcc(path, info);
    EXPECT_EQ(info.m_dwFourcc, kDivx);
    EXPECT_EQ(info.m_strVideoCodec, "library name");
    ApplyAviFourccSteps(path, info);
    EXPECT_EQ(info.m_dwFourcc, kXvid);
    EXPECT_EQ(info.m_strVideoCodec, "XVID");
}

TEST(AviFourccSteps, AudioFirstKeepsTheHandlerAndTheLibraryName) {
    TempDir dir;
    std::string path = dir.File("audio_first.avi");
    ASSERT_TRUE(WriteFileBytes(
        path, File(Concat({MainHeader(), AudioStreamList(), VideoStreamList(kDivx, kXvid)}))));
    MediaFileInfo info;
    info.m_strVideoCodec = "library name";
    ApplyAviFourccSteps(path, info);
    EXPECT_EQ(info.m_dwFourcc, kDivx);  // the first video stream's handler
    EXPECT_EQ(info.m_strVideoCodec, "library name");
}

TEST(AviFourccSteps, FailuresAreSilent) {
    TempDir dir;
    MediaFileInfo info;
    ApplyAviFourccSteps(dir.File("missing.avi"), info);
    EXPECT_EQ(info.m_dwFourcc, 0u);
    EXPECT_EQ(info.m_strVideoCodec, "");
}

}  // namespace

namespace {

// A named pipe with no writer must not make any reader wait.
TEST(HeaderReaders, NamedPipeIsReadWithoutWaiting) {
    kjtest::TempDir dir;
    std::string pipe = dir.File("pipe.avi");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    uint32_t fourcc = 0;
    EXPECT_EQ(WalkAviHeaders(pipe, fourcc), kAviWalkTooShort);
    PAVIFILE file = nullptr;
    EXPECT_TRUE(FAILED(AVIFileOpenA(&file, pipe.c_str(), OF_READ, nullptr)));
    ProbeInfo info;
    EXPECT_EQ(ReadAsfHeader(pipe, info), -1);
    EXPECT_EQ(ReadRmHeader(pipe, info), -1);
}

}  // namespace

namespace {

using namespace kjtest;
using namespace kjtest::avi;

std::vector<AVISTREAMINFOA> StreamInfos(const Bytes& file, HRESULT* hr = nullptr) {
    AviFileReadAt readAt = [&file](uint64_t offset, uint8_t* out, size_t count) -> size_t {
        if (offset >= file.size()) {
            return 0;
        }
        size_t n = static_cast<size_t>(std::min<uint64_t>(count, file.size() - offset));
        std::copy_n(file.data() + offset, n, out);
        return n;
    };
    std::vector<AVISTREAMINFOA> streams;
    HRESULT result = ReadAviStreamInfos(readAt, streams);
    if (hr != nullptr) {
        *hr = result;
    }
    return streams;
}

TEST(AviFileInterface, HeaderListAfterOtherChunksAndCutShort) {
    // A JUNK chunk before the header list is passed over by its size.
    Bytes hdrl = List("hdrl", Concat({MainHeader(), AudioStreamList(),
                                      VideoStreamList(MakeFourcc("MJPG"), MakeFourcc("MJPG"))}));
    ByteWriter w;
    w.Text("RIFF").LE32(0).Text("AVI ");
    Bytes junk = Chunk("JUNK", Bytes(33, 0));  // odd size: one pad byte
    w.Bytes(junk.data(), junk.size()).Bytes(hdrl.data(), hdrl.size());
    std::vector<AVISTREAMINFOA> streams = StreamInfos(w.bytes());
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].fccType, streamtypeAUDIO);
    EXPECT_EQ(streams[1].fccHandler, MakeFourcc("MJPG"));

    // Cut inside the video stream header: the audio stream stays, the video stream keeps
    // only the fields that were read.
    Bytes cut(w.bytes().begin(), w.bytes().end() - 40 - 8 - 56 + 8);
    streams = StreamInfos(cut);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[1].fccType, streamtypeVIDEO);
    EXPECT_EQ(streams[1].fccHandler, MakeFourcc("MJPG"));
    EXPECT_EQ(streams[1].dwRate, 0u);

    // A header list longer than one read step is read whole.
    Bytes longHdrl = List("hdrl", Concat({MainHeader(), Chunk("JUNK", Bytes(40000, 0)),
                                          VideoStreamList(MakeFourcc("DIVX"), 0)}));
    ByteWriter longFile;
    longFile.Text("RIFF").LE32(0).Text("AVI ").Bytes(longHdrl.data(), longHdrl.size());
    streams = StreamInfos(longFile.bytes());
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].fccHandler, MakeFourcc("DIVX"));

    // A header list whose size claims far more than the file holds.
    ByteWriter huge;
    huge.Text("RIFF").LE32(0).Text("AVI ").Text("LIST").LE32(0xFFFFFFF0).Text("hdrl");
    HRESULT hr = E_FAIL;
    EXPECT_TRUE(StreamInfos(huge.bytes(), &hr).empty());
    EXPECT_EQ(hr, AVIERR_OK);
}

}  // namespace
