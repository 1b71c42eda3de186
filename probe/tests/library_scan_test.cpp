// The probe's side of the library scan: the progress texts and the window's life around the
// scan (with a stand-in for the library), the kinds from the format names, rows without the
// library, and AVI and MPEG rows from the real module judged against ffprobe.
#include "probe/library_scan.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/bytes.h"
#include "platform/module.h"
#include "platform/vfw.h"
#include "probe/detect_file_type.h"
#include "probe/probe_media_file.h"
#include "tests/support/cdxa_fixture.h"
#include "tests/support/conversion_module.h"
#include "tests/support/media_fixtures.h"

namespace {

using kjtest::Ffprobe;
using kjtest::MakeWithFfmpeg;
using kjtest::TempDir;

// Records what the scan shows, in order.
class RecordingView : public ScanProgressView {
public:
    void ShowScanProgress(const std::string& text) override {
        events.push_back("show " + text);
        visible = true;
    }
    void SetScanProgress(int percent, const std::string& text) override {
        events.push_back("set " + std::to_string(percent) + " " + text);
    }
    void HideScanProgress() override {
        events.push_back("hide");
        visible = false;
    }
    void PumpMessages() override { events.push_back("pump"); }
    std::vector<std::string> events;
    bool visible = false;
};

// The stand-in library: reports the percentages it is given and fills a few fields.
std::vector<double> g_reports;
struct Call {
    std::string path;
    int32_t mode = 0;
    MclScanCallback callback = nullptr;
    void* window = nullptr;
} g_call;

int32_t FakeGetFileInfo(const char* path, int32_t mode, void* record, MclScanCallback callback,
                        void* window) {
    g_call = {path, mode, callback, window};
    auto* info = static_cast<MclFileInfo*>(record);
    std::strcpy(info->formatName, "MPEG-2 (SVCD)");
    std::strcpy(info->videoCodec, "mpeg2video");
    info->width = 480;
    info->height = 576;
    info->frameRate = 25.0;
    info->frameCount = 50;
    info->duration = 2.0;
    info->hasAudio = 1;
    std::strcpy(info->audioCodec, "mp2");
    info->audioBitRate = 224000;
    for (double percent : g_reports) {
        MclScanProgressRecord progress{};
        progress.percent = percent;
        callback(&progress);
    }
    return 0;
}

class ScanWindow : public testing::Test {
protected:
    void SetUp() override {
        m_saved = LibraryFileScan();
        SetLibraryFileScan(FakeGetFileInfo);
        g_scanProgressView = &m_view;
        g_reports.clear();
    }
    void TearDown() override {
        g_scanProgressView = nullptr;
        SetLibraryFileScan(m_saved);
    }
    RecordingView m_view;
    MclGetFileInfoFn m_saved = nullptr;
};

TEST_F(ScanWindow, ShowsScanningThenThePercentagesThenHides) {
    g_reports = {0.0, 42.0, 99.9, 100.0};
    MclFileInfo info;
    ASSERT_TRUE(ScanWithLibrary("/media/a.mpg", info));
    EXPECT_EQ(g_call.path, "/media/a.mpg");
    EXPECT_EQ(g_call.mode, 1);
    EXPECT_EQ(g_call.callback, &ScanProgressCallback);
    EXPECT_EQ(m_view.events,
              (std::vector<std::string>{"show Scanning...", "pump", "set 0 0% Scanned", "pump",
                                        "set 42 42% Scanned", "pump", "set 99 99% Scanned", "pump",
                                        "set 100 100% Scanned", "pump", "hide"}));
    EXPECT_FALSE(m_view.visible);
    EXPECT_STREQ(info.formatName, "MPEG-2 (SVCD)");
}

TEST_F(ScanWindow, AnUnknownPercentageFillsTheBar) {
    g_reports = {-1.0};
    MclFileInfo info;
    ScanWithLibrary("a.mpg", info);
    ASSERT_EQ(m_view.events.size(), 5u);
    EXPECT_EQ(m_view.events[2], "set 100 Can't retrieve total frame count, unknow percentage");
    // Only exactly -1 means "unknown"; anything else below zero is no progress yet.
    m_view.events.clear();
    g_reports = {-0.5};
    ScanWithLibrary("a.mpg", info);
    EXPECT_EQ(m_view.events[2], "set 0 0% Scanned");
}

TEST_F(ScanWindow, HiddenAfterAScanThatReportedNothing) {
    MclFileInfo info;
    ScanWithLibrary("a.mpg", info);
    EXPECT_EQ(m_view.events, (std::vector<std::string>{"show Scanning...", "pump", "hide"}));
}

TEST_F(ScanWindow, WithoutTheLibraryNothingIsShownAndTheRecordIsZero) {
    SetLibraryFileScan(nullptr);
    MclFileInfo info;
    std::memset(&info, 0x55, sizeof info);
    EXPECT_FALSE(ScanWithLibrary("a.mpg", info));
    EXPECT_TRUE(m_view.events.empty());
    EXPECT_EQ(info.width, 0);
    EXPECT_EQ(info.formatName[0], '\0');
}

TEST_F(ScanWindow, TheRecordBecomesTheRowAndTheFormatNameItsKind) {
    TempDir dir;
    std::string path = dir.File("clip.mpg");
    ByteWriter w;
    w.BE32(0x000001BA).Zeros(200);
    ASSERT_TRUE(kjtest::WriteFileBytes(path, w.bytes()));
    ProbeError error;
    std::unique_ptr<MediaFileInfo> row = ProbeMediaFile(path, &error);
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(error.notice.empty());
    EXPECT_EQ(row->m_nKind, kKindMpeg2);
    EXPECT_EQ(row->m_nWidth, 480);
    EXPECT_EQ(row->m_nHeight, 576);
    EXPECT_EQ(row->m_nFrameCount, 50);
    EXPECT_FLOAT_EQ(row->m_fFrameRate, 25.0f);
    EXPECT_FLOAT_EQ(row->m_fDuration, 2.0f);
    EXPECT_EQ(row->m_bHasAudio, 1);
    EXPECT_EQ(row->m_strVideoCodec, "mpeg2video");
    EXPECT_EQ(row->m_strAudioCodec, "mp2");
    EXPECT_FLOAT_EQ(row->m_fAudioRate, 224000.0f);
    EXPECT_EQ(row->FormatInfoLine(),
              "Video:MPEG-2 video Frame:50 Freq:25.00FPS Audio:MPEG audio layer 2 "
              "Bitrate:224000.000000bps");
}

TEST(MpegKind, FromTheLibrarysFormatName) {
    EXPECT_EQ(MpegKindFromFormatName("MPEG-2"), kKindMpeg2);
    EXPECT_EQ(MpegKindFromFormatName("mpeg-2"), kKindMpeg2);  // any case for the plain name
    EXPECT_EQ(MpegKindFromFormatName("MPEG-2 (DVD)"), kKindMpeg2);
    EXPECT_EQ(MpegKindFromFormatName("MPEG-2 (SVCD)"), kKindMpeg2);
    EXPECT_EQ(MpegKindFromFormatName("DVD"), kKindMpeg2);
    EXPECT_EQ(MpegKindFromFormatName("mpeg dvd"), kKindMpeg);  // "DVD" only as written
    EXPECT_EQ(MpegKindFromFormatName("MPEG-1 (VCD)"), kKindMpeg);
    EXPECT_EQ(MpegKindFromFormatName("MPEG-1"), kKindMpeg);
    EXPECT_EQ(MpegKindFromFormatName(""), kKindMpeg);
}

TEST(WithoutTheLibrary, AviAndMpegRowsKeepTheirKindAndSayWhy) {
    MclGetFileInfoFn saved = LibraryFileScan();
    SetLibraryFileScan(nullptr);
    TempDir dir;
    std::string mpeg = dir.File("a.mpg");
    ByteWriter w;
    w.BE32(0x000001B3).Zeros(300);
    ASSERT_TRUE(kjtest::WriteFileBytes(mpeg, w.bytes()));
    std::string avi = dir.File("b.avi");
    std::string made;
    ASSERT_TRUE(
        MakeWithFfmpeg("-f lavfi -i testsrc=size=64x48:rate=10:duration=1 -c:v mjpeg", avi, &made))
        << made;
    for (const std::string& path : {mpeg, avi}) {
        ProbeError error;
        std::unique_ptr<MediaFileInfo> row = ProbeMediaFile(path, &error);
        ASSERT_NE(row, nullptr) << path;
        EXPECT_EQ(error.notice, kConversionLibraryMissingText);
        EXPECT_EQ(row->m_nWidth, 0);
        EXPECT_EQ(row->m_nHeight, 0);
        EXPECT_EQ(row->m_nFrameCount, 0);
        EXPECT_EQ(row->m_fFrameRate, 0.0f);
    }
    EXPECT_EQ(ProbeMediaFile(mpeg)->m_nKind, kKindMpeg);
    std::unique_ptr<MediaFileInfo> aviRow = ProbeMediaFile(avi);
    EXPECT_EQ(aviRow->m_nKind, kKindAvi);
    EXPECT_EQ(aviRow->m_strVideoCodec, "MJPG");  // the header walk still gives the FourCC
    SetLibraryFileScan(saved);
}

// ---- with the real module ----

class WithTheModule : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_module = Module::LoadFile(kjtest::BinDir() + "/" + ModuleFileName("zivuvore"));
        kjtest::UseConversionModule(s_module.get());
    }
    static void TearDownTestSuite() {
        kjtest::UseConversionModule(nullptr);
        s_module.reset();
    }
    void SetUp() override {
        ASSERT_NE(s_module, nullptr) << "libzivuvore.so must be built";
        ASSERT_NE(LibraryFileScan(), nullptr);
    }
    static std::unique_ptr<Module> s_module;
};
std::unique_ptr<Module> WithTheModule::s_module;

double Rate(const std::string& fraction) {
    int num = 0, den = 0;
    return std::sscanf(fraction.c_str(), "%d/%d", &num, &den) == 2 && den != 0
               ? static_cast<double>(num) / den
               : 0.0;
}

// The row against ffprobe's reading of `reference`.
void ExpectRowMatches(const MediaFileInfo& row, const std::string& reference) {
    EXPECT_EQ(row.m_nWidth, std::atoi(Ffprobe(reference, "stream=width", "v:0").c_str()));
    EXPECT_EQ(row.m_nHeight, std::atoi(Ffprobe(reference, "stream=height", "v:0").c_str()));
    // An AVI counts its index entries, empty ones too (a frame that repeats the one before).
    bool avi = Ffprobe(reference, "format=format_name").rfind("avi", 0) == 0;
    EXPECT_EQ(row.m_nFrameCount,
              avi ? std::atoll(Ffprobe(reference, "stream=nb_frames", "v:0").c_str())
                  : kjtest::CountPackets(reference, "v:0"));
    EXPECT_NEAR(row.m_fFrameRate, Rate(Ffprobe(reference, "stream=r_frame_rate", "v:0")), 1e-4);
    EXPECT_NEAR(row.m_fDuration, std::atof(Ffprobe(reference, "format=duration").c_str()), 0.1);
}

constexpr const char* kSource =
    "-f lavfi -i testsrc=size=352x288:rate=25:duration=1.5 "
    "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1.5 ";

TEST_F(WithTheModule, MpegRowsOfEveryDiscStandardAndTheirKinds) {
    TempDir dir;
    struct Case {
        const char* target;
        MediaKind kind;
    };
    for (const Case& c : {Case{"pal-vcd", kKindMpeg}, Case{"ntsc-vcd", kKindMpeg},
                          Case{"pal-dvd", kKindMpeg2}, Case{"pal-svcd", kKindMpeg2}}) {
        SCOPED_TRACE(c.target);
        std::string path = dir.File(std::string(c.target) + ".mpg");
        std::string error;
        ASSERT_TRUE(MakeWithFfmpeg(std::string(kSource) + "-target " + c.target, path, &error))
            << error;
        std::unique_ptr<MediaFileInfo> row = ProbeMediaFile(path);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->m_nKind, c.kind);
        ExpectRowMatches(*row, path);
        EXPECT_EQ(row->m_bHasAudio, 1);
        EXPECT_EQ(row->m_strVideoCodec, c.kind == kKindMpeg ? "mpeg1video" : "mpeg2video");
        EXPECT_EQ(row->m_dwFourcc, 0u);
    }
}

TEST_F(WithTheModule, AVideoCdFileBuiltInTheTestIsAnMpegRow) {
    TempDir dir;
    std::string mpg = dir.File("vcd.mpg");
    std::string error;
    ASSERT_TRUE(MakeWithFfmpeg(std::string(kSource) + "-target pal-vcd", mpg, &error)) << error;
    std::string dat = dir.File("MUSIC01.DAT");
    ASSERT_TRUE(kjtest::WriteFileBytes(dat, kjtest::WrapInCdxa(kjtest::ReadFileBytes(mpg))));
    std::unique_ptr<MediaFileInfo> row = ProbeMediaFile(dat);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->m_nKind, kKindMpeg);
    ExpectRowMatches(*row, mpg);
    EXPECT_EQ(row->m_strAudioCodec, "mp2");
    EXPECT_FLOAT_EQ(row->m_fAudioRate, 224000.0f);
}

// A disc made to the VCD 2.0 layout: the track opens with 30 empty Form 2 sectors.
TEST_F(WithTheModule, AVideoCdFileWithAFrontMarginIsAnMpegRowLikeItsStream) {
    TempDir dir;
    std::string mpg = dir.File("vcd.mpg");
    std::string error;
    ASSERT_TRUE(MakeWithFfmpeg(std::string(kSource) + "-target pal-vcd", mpg, &error)) << error;
    std::vector<uint8_t> stream(30 * kjtest::kForm2Bytes, 0);
    std::vector<uint8_t> bytes = kjtest::ReadFileBytes(mpg);
    stream.insert(stream.end(), bytes.begin(), bytes.end());
    std::string dat = dir.File("AVSEQ01.DAT");
    ASSERT_TRUE(kjtest::WriteFileBytes(dat, kjtest::WrapInCdxa(stream)));
    EXPECT_EQ(DetectFileType(dat), kTypeMpeg);
    std::unique_ptr<MediaFileInfo> row = ProbeMediaFile(dat);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->m_nKind, kKindMpeg);
    ExpectRowMatches(*row, mpg);
    // Beyond the 150 sectors looked at, the file is not taken for MPEG.
    std::vector<uint8_t> far(151 * kjtest::kForm2Bytes, 0);
    far.insert(far.end(), bytes.begin(), bytes.end());
    std::string farDat = dir.File("AVSEQ02.DAT");
    ASSERT_TRUE(kjtest::WriteFileBytes(farDat, kjtest::WrapInCdxa(far)));
    EXPECT_EQ(DetectFileType(farDat), kTypeUnknown);
    EXPECT_EQ(ProbeMediaFile(farDat), nullptr);
}

TEST_F(WithTheModule, AviRowsGetTheLibrarysValuesAndTheHeaderFourcc) {
    TempDir dir;
    struct Case {
        const char* codec;
        const char* extra;
        const char* fourcc;
    };
    for (const Case& c :
         {Case{"mpeg4", "-c:a libmp3lame", "FMP4"}, Case{"msmpeg4v2", "-c:a pcm_s16le", "MP42"},
          Case{"mjpeg", "", "MJPG"}, Case{"rawvideo", "-pix_fmt bgr24", ""}}) {
        SCOPED_TRACE(c.codec);
        std::string path = dir.File(std::string(c.codec) + ".avi");
        std::string error;
        ASSERT_TRUE(
            MakeWithFfmpeg("-f lavfi -i testsrc=size=160x120:rate=15:duration=1.5 -f lavfi "
                           "-i sine=sample_rate=22050:duration=1.5 -c:v " +
                               std::string(c.codec) + " " + c.extra,
                           path, &error))
            << error;
        std::unique_ptr<MediaFileInfo> row = ProbeMediaFile(path);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->m_nKind, kKindAvi);
        ExpectRowMatches(*row, path);
        EXPECT_EQ(FourccText(row->m_dwFourcc), c.fourcc);
        // The FourCC's text replaces the library's codec name (none for uncompressed frames).
        EXPECT_EQ(row->m_strVideoCodec, c.fourcc);
        EXPECT_EQ(row->m_bHasAudio, 1);
    }
}

TEST_F(WithTheModule, TheCompressorManagerOffersTheModulesEncoders) {
    for (const char* fourcc : {"divx", "mp42", "DX50", "XVID", "MJPG", "WMV2", "MP43"}) {
        DWORD code = mmioFOURCC(fourcc[0], fourcc[1], fourcc[2], fourcc[3]);
        HIC hic = ICOpen(ICTYPE_VIDEO, code, ICMODE_COMPRESS);
        EXPECT_NE(hic, nullptr) << fourcc;
        EXPECT_EQ(ICClose(hic), ICERR_OK) << fourcc;
    }
    DWORD divx = mmioFOURCC('d', 'i', 'v', 'x');
    HIC query = ICOpen(mmioFOURCC('V', 'I', 'D', 'C'), divx, ICMODE_QUERY);
    EXPECT_NE(query, nullptr);
    ICClose(query);
    EXPECT_EQ(ICOpen(ICTYPE_VIDEO, mmioFOURCC('Z', 'Z', 'Z', 'Z'), ICMODE_COMPRESS), nullptr);
    EXPECT_EQ(ICOpen(ICTYPE_VIDEO, divx, ICMODE_DECOMPRESS), nullptr);
    EXPECT_EQ(ICOpen(mmioFOURCC('a', 'u', 'd', 'c'), divx, ICMODE_COMPRESS), nullptr);
    EXPECT_EQ(ICOpen(ICTYPE_VIDEO, 0, ICMODE_COMPRESS), nullptr);
    EXPECT_EQ(ICClose(nullptr), ICERR_BADHANDLE);

    // With the table emptied the manager offers nothing.
    kjtest::UseConversionModule(nullptr);
    EXPECT_EQ(ICOpen(ICTYPE_VIDEO, divx, ICMODE_COMPRESS), nullptr);
    kjtest::UseConversionModule(s_module.get());
    HIC again = ICOpen(ICTYPE_VIDEO, divx, ICMODE_COMPRESS);
    EXPECT_NE(again, nullptr);
    ICClose(again);
}

}  // namespace
