// The module's file scan as the program sees it: MclGetFileInfo resolved from the built module,
// its record judged against ffprobe on files made by ffmpeg.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "engines/conversion/mcl.h"
#include "platform/bytes.h"
#include "tests/support/cdxa_fixture.h"
#include "tests/support/media_fixtures.h"

namespace {

using kjtest::Ffprobe;
using kjtest::MakeWithFfmpeg;
using kjtest::TempDir;

using GetFileInfoFn = int32_t (*)(const char*, int32_t, void*, MclScanCallback, void*);
using HasEncoderFn = int32_t (*)(uint32_t);

// The built module, loaded once for all tests.
class Module {
public:
    static Module& Get() {
        static Module module;
        return module;
    }
    GetFileInfoFn getFileInfo = nullptr;
    HasEncoderFn hasEncoder = nullptr;

private:
    Module() {
        std::string path = kjtest::BinDir() + "/libzivuvore.so";
        m_handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);  // FFmpeg binds on first use
        if (m_handle != nullptr) {
            getFileInfo = reinterpret_cast<GetFileInfoFn>(dlsym(m_handle, "MclGetFileInfo"));
            hasEncoder = reinterpret_cast<HasEncoderFn>(dlsym(m_handle, "MclHasVideoEncoder"));
        }
    }
    void* m_handle = nullptr;
};

std::vector<double> g_percents;
void CollectPercent(const void* record) {
    // Read by value: the packed record's double need not be 8-byte aligned.
    double percent = static_cast<const MclScanProgressRecord*>(record)->percent;
    g_percents.push_back(percent);
}

struct Scanned {
    int32_t result = -1;
    alignas(8) MclFileInfo info{};  // its 64-bit fields at 8-byte boundaries
    std::vector<double> percents;
};

Scanned Scan(const std::string& path) {
    Scanned s;
    g_percents.clear();
    GetFileInfoFn fn = Module::Get().getFileInfo;
    if (fn == nullptr) {
        ADD_FAILURE() << "libzivuvore.so or its MclGetFileInfo is missing";
        return s;
    }
    std::vector<uint8_t> buffer(kMclFileInfoBytes, 0xCC);  // the caller's 900 bytes
    s.result = fn(path.c_str(), 1, buffer.data(), CollectPercent, nullptr);
    std::memcpy(&s.info, buffer.data(), sizeof s.info);
    s.percents = g_percents;
    return s;
}

double Rate(const std::string& fraction) {
    int num = 0, den = 0;
    return std::sscanf(fraction.c_str(), "%d/%d", &num, &den) == 2 && den != 0
               ? static_cast<double>(num) / den
               : 0.0;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

// Every value of the record against ffprobe's reading of `reference` (the file itself, or the
// stream a Video CD file was built from).
void ExpectMatchesFfprobe(const Scanned& s, const std::string& reference, bool hasAudio) {
    ASSERT_EQ(s.result, 0);
    const MclFileInfo& info = s.info;
    EXPECT_EQ(info.videoCodec, Trimmed(Ffprobe(reference, "stream=codec_name", "v:0")));
    EXPECT_EQ(info.width, std::atoi(Ffprobe(reference, "stream=width", "v:0").c_str()));
    EXPECT_EQ(info.height, std::atoi(Ffprobe(reference, "stream=height", "v:0").c_str()));
    // An AVI counts its index entries, empty ones too (a frame that repeats the one before).
    std::string format = Trimmed(Ffprobe(reference, "format=format_name"));
    EXPECT_EQ(info.frameCount,
              format == "avi" ? std::atoll(Ffprobe(reference, "stream=nb_frames", "v:0").c_str())
                              : kjtest::CountPackets(reference, "v:0"));
    EXPECT_NEAR(info.frameRate, Rate(Ffprobe(reference, "stream=r_frame_rate", "v:0")), 1e-6);
    double duration = std::atof(Ffprobe(reference, "format=duration").c_str());
    EXPECT_NEAR(info.duration, duration, 0.1);
    EXPECT_EQ(info.hasAudio != 0, hasAudio);
    if (hasAudio) {
        EXPECT_EQ(info.audioCodec, Trimmed(Ffprobe(reference, "stream=codec_name", "a:0")));
        std::string bitRate = Trimmed(Ffprobe(reference, "stream=bit_rate", "a:0"));
        if (bitRate != "N/A") {
            double audioBitRate = info.audioBitRate;  // by value: packed, not 8-byte aligned
            EXPECT_DOUBLE_EQ(audioBitRate, std::atof(bitRate.c_str()));
        }
    }
    // The callback saw the scan advance to the end, never backwards.
    ASSERT_FALSE(s.percents.empty());
    for (size_t i = 1; i < s.percents.size(); ++i) {
        EXPECT_GE(s.percents[i], s.percents[i - 1]);
    }
    EXPECT_GE(s.percents.front(), 0.0);
    EXPECT_GE(s.percents.back(), 99.0);
    EXPECT_LE(s.percents.back(), 100.0);
}

constexpr const char* kTwoSeconds =
    "-f lavfi -i testsrc=size=352x288:rate=25:duration=2 "
    "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 ";

struct MpegCase {
    const char* target;
    const char* format;
    int width;
    int height;
};

class MpegTargets : public testing::TestWithParam<MpegCase> {};

TEST_P(MpegTargets, RecordMatchesFfprobeAndNamesTheStandard) {
    const MpegCase& c = GetParam();
    TempDir dir;
    std::string path = dir.File(std::string(c.target) + ".mpg");
    std::string error;
    ASSERT_TRUE(MakeWithFfmpeg(std::string(kTwoSeconds) + "-target " + c.target, path, &error))
        << error;
    Scanned s = Scan(path);
    ExpectMatchesFfprobe(s, path, true);
    EXPECT_STREQ(s.info.formatName, c.format);
    EXPECT_EQ(s.info.width, c.width);
    EXPECT_EQ(s.info.height, c.height);
    EXPECT_STREQ(s.info.path, path.c_str());
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    int64_t fileSize = s.info.fileSize;
    EXPECT_EQ(fileSize, status.st_size);
}

INSTANTIATE_TEST_SUITE_P(Targets, MpegTargets,
                         testing::Values(MpegCase{"pal-vcd", "MPEG-1 (VCD)", 352, 288},
                                         MpegCase{"ntsc-vcd", "MPEG-1 (VCD)", 352, 240},
                                         MpegCase{"pal-dvd", "MPEG-2 (DVD)", 720, 576},
                                         MpegCase{"pal-svcd", "MPEG-2 (SVCD)", 480, 576}),
                         [](const testing::TestParamInfo<MpegCase>& info) {
                             std::string name = info.param.target;
                             name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                             return name;
                         });

TEST(FileInfo, MpegStreamsOutsideTheDiscStandardsKeepThePlainNames) {
    TempDir dir;
    std::string mpeg2 = dir.File("small.mpg");
    std::string mpeg1 = dir.File("small1.mpg");
    std::string error;
    ASSERT_TRUE(MakeWithFfmpeg(
        std::string(kTwoSeconds) + "-s 320x240 -c:v mpeg2video -c:a mp2 -f vob", mpeg2, &error))
        << error;
    ASSERT_TRUE(MakeWithFfmpeg(
        std::string(kTwoSeconds) + "-s 320x240 -c:v mpeg1video -c:a mp2 -f mpeg", mpeg1, &error))
        << error;
    Scanned two = Scan(mpeg2);
    ExpectMatchesFfprobe(two, mpeg2, true);
    EXPECT_STREQ(two.info.formatName, "MPEG-2");
    Scanned one = Scan(mpeg1);
    ExpectMatchesFfprobe(one, mpeg1, true);
    EXPECT_STREQ(one.info.formatName, "MPEG-1");
}

TEST(FileInfo, AVideoCdFileIsReadThroughItsSectors) {
    TempDir dir;
    std::string mpg = dir.File("vcd.mpg");
    std::string error;
    ASSERT_TRUE(MakeWithFfmpeg(std::string(kTwoSeconds) + "-target pal-vcd", mpg, &error)) << error;
    std::vector<uint8_t> stream = kjtest::ReadFileBytes(mpg);
    std::string dat = dir.File("AVSEQ01.DAT");
    ASSERT_TRUE(kjtest::WriteFileBytes(dat, kjtest::WrapInCdxa(stream)));
    Scanned s = Scan(dat);
    ExpectMatchesFfprobe(s, mpg, true);
    EXPECT_STREQ(s.info.formatName, "MPEG-1 (VCD)");
    EXPECT_EQ(s.info.videoCd, 1);
    EXPECT_EQ(s.info.packBytes, 2324);

    // Some Form 1 sectors among them, and a "data" size of zero: the same stream.
    std::string mixed = dir.File("MIXED.DAT");
    ASSERT_TRUE(kjtest::WriteFileBytes(mixed, kjtest::WrapInCdxa(stream, {0, 1, 5, 40}, 0)));
    Scanned m = Scan(mixed);
    ASSERT_EQ(m.result, 0);
    EXPECT_EQ(m.info.frameCount, s.info.frameCount);
    EXPECT_EQ(m.info.width, 352);
    EXPECT_STREQ(m.info.audioCodec, "mp2");
}

struct AviCase {
    const char* name;
    const char* args;
    bool audio;
};

class AviCodecs : public testing::TestWithParam<AviCase> {};

TEST_P(AviCodecs, RecordMatchesFfprobe) {
    const AviCase& c = GetParam();
    TempDir dir;
    std::string path = dir.File(std::string(c.name) + ".avi");
    std::string error;
    ASSERT_TRUE(MakeWithFfmpeg(c.args, path, &error)) << error;
    Scanned s = Scan(path);
    ExpectMatchesFfprobe(s, path, c.audio);
    EXPECT_STREQ(s.info.formatName, "AVI");
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, AviCodecs,
    testing::Values(
        AviCase{"mpeg4",
                "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi "
                "-i sine=sample_rate=44100:duration=2 -c:v mpeg4 -c:a libmp3lame -b:a 128k",
                true},
        AviCase{"msmpeg4v2",
                "-f lavfi -i testsrc=size=320x240:rate=15:duration=2 -f lavfi "
                "-i sine=sample_rate=22050:duration=2 -c:v msmpeg4v2 -c:a pcm_s16le",
                true},
        AviCase{"mjpeg", "-f lavfi -i testsrc=size=160x120:rate=10:duration=2 -c:v mjpeg", false},
        AviCase{"rawvideo",
                "-f lavfi -i testsrc=size=64x48:rate=30000/1001:duration=1 -c:v rawvideo "
                "-pix_fmt bgr24",
                false}),
    [](const testing::TestParamInfo<AviCase>& info) { return std::string(info.param.name); });

TEST(FileInfo, AnUnknownSizeIsReportedAsMinusOne) {
    TempDir dir;
    std::string mpg = dir.File("vcd.mpg");
    std::string error;
    ASSERT_TRUE(MakeWithFfmpeg(std::string(kTwoSeconds) + "-target pal-vcd", mpg, &error)) << error;
    std::string fifo = dir.File("pipe.mpg");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<uint8_t> bytes = kjtest::ReadFileBytes(mpg);
    std::thread writer([&] {
        FILE* out = std::fopen(fifo.c_str(), "wb");
        if (out != nullptr) {
            std::fwrite(bytes.data(), 1, bytes.size(), out);
            std::fclose(out);
        }
    });
    Scanned s = Scan(fifo);
    writer.join();
    ASSERT_EQ(s.result, 0);
    EXPECT_EQ(s.info.frameCount, kjtest::CountPackets(mpg, "v:0"));
    ASSERT_FALSE(s.percents.empty());
    for (double p : s.percents) {
        EXPECT_EQ(p, kMclUnknownPercent);
    }
}

TEST(FileInfo, AFileThatIsNoMediaFailsWithAnEmptyRecord) {
    TempDir dir;
    std::string path = dir.File("noise.avi");
    std::vector<uint8_t> noise(5000);
    for (size_t i = 0; i < noise.size(); ++i) {
        noise[i] = static_cast<uint8_t>(i * 131 + 7);
    }
    ASSERT_TRUE(kjtest::WriteFileBytes(path, noise));
    Scanned s = Scan(path);
    EXPECT_NE(s.result, 0);
    EXPECT_STREQ(s.info.formatName, "");
    EXPECT_EQ(s.info.frameCount, 0);
    EXPECT_EQ(s.info.width, 0);
    EXPECT_EQ(s.info.reserved[0], 0);  // all 900 bytes are written, none left as they were
    Scanned missing = Scan(dir.File("missing.mpg"));
    EXPECT_NE(missing.result, 0);
}

TEST(FileInfo, ATruncatedFileGivesWhatItHas) {
    TempDir dir;
    std::string mpg = dir.File("vcd.mpg");
    std::string error;
    ASSERT_TRUE(MakeWithFfmpeg(std::string(kTwoSeconds) + "-target pal-vcd", mpg, &error)) << error;
    std::vector<uint8_t> bytes = kjtest::ReadFileBytes(mpg);
    bytes.resize(bytes.size() / 2 + 777);
    std::string cut = dir.File("cut.mpg");
    ASSERT_TRUE(kjtest::WriteFileBytes(cut, bytes));
    Scanned s = Scan(cut);
    EXPECT_EQ(s.info.width, 352);
    EXPECT_GT(s.info.frameCount, 0);
    EXPECT_LT(s.info.frameCount, kjtest::CountPackets(mpg, "v:0"));
}

uint32_t Fourcc(const char* text) {
    return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
           (static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24);
}

TEST(HasVideoEncoder, AnswersFromTheEncodersOfThisFfmpeg) {
    HasEncoderFn has = Module::Get().hasEncoder;
    ASSERT_NE(has, nullptr);
    for (const char* fourcc :
         {"divx", "DIVX", "DX50", "dx50", "XVID", "xvid", "FMP4", "mp42", "MP42", "MP43", "mp43",
          "DIV3", "MJPG", "mjpg", "WMV1", "WMV2", "wmv2", "cvid", "CVID"}) {
        EXPECT_EQ(has(Fourcc(fourcc)), 1) << fourcc;
    }
    int h264 = avcodec_find_encoder(AV_CODEC_ID_H264) != nullptr ? 1 : 0;
    for (const char* fourcc : {"H264", "h264", "X264", "x264", "avc1", "AVC1"}) {
        EXPECT_EQ(has(Fourcc(fourcc)), h264) << fourcc;
    }
    // Decoders only, unknown codes, and no code at all.
    for (const char* fourcc : {"IV50", "VP60", "ZZZZ", "vids", "auds"}) {
        EXPECT_EQ(has(Fourcc(fourcc)), 0) << fourcc;
    }
    EXPECT_EQ(has(0), 0);
}

}  // namespace
