// Lists of alike files with one odd file among them: the alike files' packets are copied as
// they are, the odd one is encoded to the first file's format, and the output plays cleanly in
// ffmpeg and GStreamer with its sound and pictures together at the seams. The odd file is a
// white picture with a tone from its first instant, so where both land shows the seam's sync.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>

#include "engines/conversion/tests/join_judge.h"
#include "engines/conversion/tests/mcl_module.h"
#include "engines/conversion/video_stage.h"
#include "tests/support/media_fixtures.h"
#include "tests/support/output_judge.h"

namespace {

struct Format {
    const char* size;
    const char* rate;  // as ffmpeg takes it: "25", "30000/1001"
    int sampleRate;
    int channels;
    const char* codecs;  // ffmpeg's codec and container options
};

struct OddCase {
    const char* name;
    Format alike;
    Format odd;
    const char* fourcc;     // AVI: what the join driver asks for, the first file's; "" for MPEG
    int mpegCodec;          // MPEG: 1 or 2
    bool cutFirst = false;  // the first file broken off at four fifths of its bytes
};

void PrintTo(const OddCase& c, std::ostream* out) {
    *out << c.name;
}

int32_t FourccNumber(const char* text) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
                                static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
                                static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 |
                                static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24);
}

double RateValue(const std::string& rate) {
    size_t slash = rate.find('/');
    double num = std::stod(rate.substr(0, slash));
    return slash == std::string::npos ? num : num / std::stod(rate.substr(slash + 1));
}

// Where `part` appears in `whole` as one unbroken run; npos when it does not.
size_t FindRun(const std::vector<std::string>& whole, const std::vector<std::string>& part) {
    auto at = std::search(whole.begin(), whole.end(), part.begin(), part.end());
    return at == whole.end() ? std::string::npos : static_cast<size_t>(at - whole.begin());
}

class OddInputTable : public testing::TestWithParam<OddCase> {
protected:
    void SetUp() override {
        ASSERT_EQ(kjtest::MissingReaders(), "");
        ASSERT_TRUE(m_module.Loaded()) << "libzivuvore.so is missing";
    }

    // A dim moving test picture with a quiet tone: neither counts as the odd file's onset.
    std::string MakeAlike(const Format& f, const char* name, const char* pattern, double seconds) {
        const std::string path = m_dir.File(name);
        std::string error;
        EXPECT_TRUE(kjtest::MakeWithFfmpeg(
            std::string("-f lavfi -i ") + pattern + "=size=" + f.size + ":rate=" + f.rate +
                ",lutyuv=y=val*0.4 -f lavfi -i sine=frequency=440:sample_rate=" +
                std::to_string(f.sampleRate) + ",volume=0.2 -t " + std::to_string(seconds) +
                " -ac " + std::to_string(f.channels) + " " + f.codecs,
            path, &error))
            << error;
        return path;
    }

    std::string MakeOdd(const Format& f, const std::string& name, double seconds) {
        const std::string path = m_dir.File(name);
        std::string error;
        EXPECT_TRUE(kjtest::MakeWithFfmpeg(
            std::string("-f lavfi -i color=c=white:size=") + f.size + ":rate=" + f.rate +
                " -f lavfi -i sine=frequency=1000:sample_rate=" + std::to_string(f.sampleRate) +
                " -t " + std::to_string(seconds) + " -ac " + std::to_string(f.channels) + " " +
                f.codecs,
            path, &error))
            << error;
        return path;
    }

    kjtest::MclModule m_module;
    kjtest::TempDir m_dir;
};

TEST_P(OddInputTable, TheAlikeFilesAreCopiedAndOnlyTheOddOneIsEncoded) {
    const OddCase& c = GetParam();
    const bool avi = c.fourcc[0] != '\0';
    const char* extension = avi ? ".avi" : ".mpg";
    std::string a = MakeAlike(c.alike, (std::string("a") + extension).c_str(), "testsrc2", 1.2);
    if (c.cutFirst) {
        std::vector<uint8_t> bytes = kjtest::ReadFileBytes(a);
        bytes.resize(bytes.size() * 4 / 5);
        a = m_dir.File(std::string("a-cut") + extension);
        ASSERT_TRUE(kjtest::WriteFileBytes(a, bytes));
    }
    const std::string odd = MakeOdd(c.odd, std::string("odd") + extension, 0.8);
    const std::string b =
        MakeAlike(c.alike, (std::string("b") + extension).c_str(), "smptebars", 1.0);

    kjtest::ConvertOutput settings;
    const std::string size = c.alike.size;
    settings.width = std::stoi(size.substr(0, size.find('x')));
    settings.height = std::stoi(size.substr(size.find('x') + 1));
    settings.frameRate = RateValue(c.alike.rate);
    if (avi) {
        settings.selector = 6;
        settings.codec = FourccNumber(c.fourcc);
    } else {
        settings.codec = c.mpegCodec;
        settings.enableMpeg2 = c.mpegCodec == 2;
        settings.videoKbps = c.mpegCodec == 2 ? 6000 : 1150;
    }
    const std::string out = m_dir.File(std::string("out") + extension);
    kjtest::ConvertRun run = kjtest::Convert(m_module, {a, odd, b}, out, settings);
    ASSERT_EQ(run.result, 0) << run.errorText;
    // One progress from the first encoded frame to the last copied one.
    kjtest::ExpectProgressToTotals(run);

    // The output is the first file's format, stream for stream.
    const std::string entries =
        "stream=codec_name,codec_tag_string,width,height,sample_rate,channels";
    EXPECT_EQ(kjtest::Ffprobe(out, entries), kjtest::Ffprobe(a, entries));
    // The alike files' pictures are theirs, packet for packet, in one run each.
    const std::vector<std::string> outVideo = kjtest::PacketHashes(out, "v:0");
    std::vector<std::string> aVideo = kjtest::PacketHashes(a, "v:0");
    const std::vector<std::string> bVideo = kjtest::PacketHashes(b, "v:0");
    ASSERT_FALSE(aVideo.empty());
    if (c.cutFirst) {
        aVideo.pop_back();  // the picture the cut went through is left out
    }
    EXPECT_EQ(FindRun(outVideo, aVideo), 0u) << "the first file's pictures were not copied";
    EXPECT_NE(FindRun(outVideo, bVideo), std::string::npos)
        << "the last file's pictures were not copied";
    // Whole and clean in readers that are not ours, from the start and, for an AVI, from inside
    // the encoded part (which needs its own stream headers in band; a seek into a program stream
    // may land inside an audio frame, in any file).
    EXPECT_EQ(kjtest::DecodeErrors(out), "");
    if (avi) {
        EXPECT_EQ(kjtest::SeekDecodeErrors(out, 1.4), "");
    }
    EXPECT_EQ(kjtest::GstPlaybackFailure(out), "");
    EXPECT_EQ(kjtest::LinesNotIn(
                  kjtest::MpvWarnings(out),
                  {kjtest::MpvWarnings(a), kjtest::MpvWarnings(odd), kjtest::MpvWarnings(b)}),
              "");
    // The odd file's picture and tone start together, where the first file ends.
    const kjtest::Onsets onsets = kjtest::FindOnsets(out);
    ASSERT_GE(onsets.video, 0.0);
    ASSERT_GE(onsets.audio, 0.0);
    EXPECT_NEAR(onsets.pictureTime, onsets.audio, 0.040);
    // Where the first file ends (a cut one runs on past its last picture with its sound).
    if (!c.cutFirst) {
        EXPECT_NEAR(onsets.pictureTime - onsets.videoStart, 1.2, 0.045);
    }
}

// The alike files' formats: XviD and DivX 3 with MP3, MJPEG with PCM, H.264 with MP3.
constexpr const char* kXvid = "-c:v mpeg4 -vtag XVID -c:a libmp3lame -b:a 128k -f avi";
constexpr const char* kDivx3 = "-c:v msmpeg4v3 -vtag DIV3 -c:a libmp3lame -b:a 128k -f avi";
constexpr const char* kMjpeg = "-c:v mjpeg -pix_fmt yuvj420p -c:a pcm_s16le -f avi";
// Without B-frames: an AVI gives their pictures no times of their own, and where a reordered
// picture is shown is then a reader's guess, which the sync check would measure.
constexpr const char* kH264 =
    "-c:v libx264 -bf 0 -pix_fmt yuv420p -c:a libmp3lame -b:a 128k -f avi";
// An odd file's own codecs when its codec is what differs.
constexpr const char* kOther = "-c:v mjpeg -pix_fmt yuvj420p -c:a ac3 -f avi";
constexpr const char* kOtherThanMjpeg = "-c:v mpeg4 -c:a libmp3lame -f avi";

#define KJ_ODD_AVI(name, codecs, fourcc, other)                                                 \
    OddCase{name "_size",                                                                       \
            {"320x240", "25", 48000, 2, codecs},                                                \
            {"320x180", "25", 48000, 2, codecs},                                                \
            fourcc,                                                                             \
            0},                                                                                 \
        OddCase{name "_rate",                                                                   \
                {"320x240", "25", 48000, 2, codecs},                                            \
                {"320x240", "30000/1001", 48000, 2, codecs},                                    \
                fourcc,                                                                         \
                0},                                                                             \
        OddCase{name "_codec",                                                                  \
                {"320x240", "25", 48000, 2, codecs},                                            \
                {"320x240", "25", 48000, 2, other},                                             \
                fourcc,                                                                         \
                0},                                                                             \
        OddCase{name "_audio_rate",                                                             \
                {"320x240", "25", 48000, 2, codecs},                                            \
                {"320x240", "25", 44100, 2, codecs},                                            \
                fourcc,                                                                         \
                0},                                                                             \
        OddCase {                                                                               \
        name "_mono", {"320x240", "25", 48000, 2, codecs}, {"320x240", "25", 48000, 1, codecs}, \
            fourcc, 0                                                                           \
    }

INSTANTIATE_TEST_SUITE_P(Avi, OddInputTable,
                         testing::Values(OddCase{"xvid_size_first_cut",
                                                 {"320x240", "25", 48000, 2, kXvid},
                                                 {"320x180", "25", 48000, 2, kXvid},
                                                 "XVID",
                                                 0,
                                                 true},
                                         KJ_ODD_AVI("xvid", kXvid, "XVID", kOther),
                                         KJ_ODD_AVI("divx3", kDivx3, "DIV3", kOther),
                                         KJ_ODD_AVI("mjpeg", kMjpeg, "MJPG", kOtherThanMjpeg),
                                         KJ_ODD_AVI("h264", kH264, "H264", kOther)),
                         [](const testing::TestParamInfo<OddCase>& info) {
                             return std::string(info.param.name);
                         });

// A Video CD with an MPEG-1 file of another size, frame rate and sound rate, which becomes
// Video CD; a 16:9 DVD title with a 4:3 one, which is shown between bars.
INSTANTIATE_TEST_SUITE_P(
    Mpeg, OddInputTable,
    testing::Values(OddCase{"vcd_mpeg1",
                            {"352x288", "25", 44100, 2, "-target pal-vcd"},
                            {"320x240", "30000/1001", 48000, 2,
                             "-c:v mpeg1video -b:v 1000k -c:a mp2 -f mpeg"},
                            "",
                            1},
                    OddCase{"dvd_4_3_in_16_9",
                            {"720x576", "25", 48000, 2, "-target pal-dvd -aspect 16:9"},
                            {"720x576", "25", 48000, 2, "-target pal-dvd -aspect 4:3"},
                            "",
                            2}),
    [](const testing::TestParamInfo<OddCase>& info) { return std::string(info.param.name); });

TEST(FitPicture, KeepsTheShapeBetweenBarsAndIgnoresRounding) {
    // 16:9 into 4:3: bars above and below, centred.
    PictureArea wide = FitPicture({16, 9}, 320, 240, {4, 3});
    EXPECT_EQ(wide.width, 320);
    EXPECT_EQ(wide.height, 180);
    EXPECT_EQ(wide.x, 0);
    EXPECT_EQ(wide.y, 30);
    // 4:3 into a 16:9 DVD picture of non-square pixels: bars at the sides.
    PictureArea narrow = FitPicture({4, 3}, 720, 576, {16, 9});
    EXPECT_EQ(narrow.height, 576);
    EXPECT_EQ(narrow.width, 540);
    EXPECT_EQ(narrow.x, 90);
    // The same shape, or one a pixel off, fills the picture.
    PictureArea same = FitPicture({4, 3}, 352, 288, {4, 3});
    EXPECT_EQ(same.width, 352);
    EXPECT_EQ(same.height, 288);
    PictureArea near = FitPicture({1000, 749}, 352, 288, {4, 3});
    EXPECT_EQ(near.height, 288);
    PictureArea unknown = FitPicture({0, 1}, 352, 288, {4, 3});
    EXPECT_EQ(unknown.width, 352);
}

}  // namespace
