// Windows Media and RealMedia lists with an odd file: the alike files' packets are copied as
// they are, the odd one is encoded so that it decodes under the first file's headers, and the
// output plays cleanly in ffmpeg, GStreamer and mpv with sound and pictures together at the
// seams. Where no encoder here writes the first file's codec data, the list is refused with the
// reason. The odd file is a white picture with a tone from its first instant, so where both land
// shows the seam's sync.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <ostream>

#include "engines/asf/asf_format.h"
#include "engines/conversion/tests/join_judge.h"
#include "platform/bytes.h"
#include "tests/support/kjoin_output.h"
#include "tests/support/media_fixtures.h"
#include "tests/support/output_judge.h"

namespace {

std::string Kjoin() {
    return kjtest::ShellQuote(kjtest::BinDir() + "/kjoin");
}

struct OddCase {
    const char* name;
    const char* extension;
    const char* alike;  // ffmpeg's codec options of the first and last files
    const char* odd;
    const char* oddSize;
    int oddRate;
};

void PrintTo(const OddCase& c, std::ostream* out) {
    *out << c.name;
}

// Where `part` appears in `whole` as one unbroken run; npos when it does not.
size_t FindRun(const std::vector<std::string>& whole, const std::vector<std::string>& part) {
    auto at = std::search(whole.begin(), whole.end(), part.begin(), part.end());
    return at == whole.end() ? std::string::npos : static_cast<size_t>(at - whole.begin());
}

constexpr double kOneFrame = 0.04 + 1e-6;  // at the first files' 25 frames a second

// Where the first sound after a silent start begins, by the timestamps of the decoded audio (as a
// player places it; counting samples would put a Windows Media Audio file's a frame early, as
// its decoder gives nothing for its first packet); -1 when there is none.
double ToneStart(const std::string& path) {
    std::string log = kjtest::RunCommand("ffmpeg -nostdin -i " + kjtest::ShellQuote(path) +
                                         " -map 0:a:0 -af silencedetect=n=-30dB:d=0.02 -f null -")
                          .output;
    size_t at = log.find("silence_end: ");
    return at == std::string::npos ? -1.0 : std::stod(log.substr(at + 13));
}

class KjoinOddMatch : public testing::TestWithParam<OddCase> {};

TEST_P(KjoinOddMatch, TheOddFileIsEncodedAndTheOthersCopiedPacketForPacket) {
    const OddCase& c = GetParam();
    ASSERT_EQ(kjtest::MissingReaders(), "");
    kjtest::TempDir dir;
    std::string ext = c.extension;
    std::string first = dir.File("first." + ext);
    std::string odd = dir.File("odd." + ext);
    std::string last = dir.File("last." + ext);
    std::string out = dir.File("joined." + ext);
    std::string error;
    ASSERT_TRUE(kjtest::MakeClip(first, false, true, "320x240", 25, 4, c.alike, &error)) << error;
    ASSERT_TRUE(kjtest::MakeClip(odd, true, true, c.oddSize, c.oddRate, 2, c.odd, &error)) << error;
    ASSERT_TRUE(kjtest::MakeClip(last, false, true, "320x240", 25, 3, c.alike, &error)) << error;

    std::string files = " " + kjtest::ShellQuote(first) + " " + kjtest::ShellQuote(odd) + " " +
                        kjtest::ShellQuote(last);
    kjtest::CommandResult check = kjtest::RunCommand(Kjoin() + " check" + files);
    EXPECT_EQ(check.exitCode, 0) << check.output;
    EXPECT_NE(check.output.find("A join would copy 2 of the 3 files as they are and encode odd." +
                                ext + " to match the first file's format."),
              std::string::npos)
        << check.output;

    kjtest::CommandResult join =
        kjtest::RunCommand(Kjoin() + " join --json -o " + kjtest::ShellQuote(out) + files);
    ASSERT_EQ(join.exitCode, 0) << join.output;
    QJsonArray inputs = kjtest::JsonOf(join.output)["inputs"].toArray();
    ASSERT_EQ(inputs.size(), 3) << join.output;
    EXPECT_FALSE(inputs[0].toObject()["encoded"].toBool());
    EXPECT_TRUE(inputs[1].toObject()["encoded"].toBool());
    EXPECT_FALSE(inputs[2].toObject()["encoded"].toBool());
    double oddStart = inputs[1].toObject()["start"].toDouble();
    // Nothing is left beside the output: the encoded stand-in had no name.
    EXPECT_EQ(
        kjtest::Listing(dir.path()),
        (std::vector<std::string>{"first." + ext, "joined." + ext, "last." + ext, "odd." + ext}));

    // The first and last files' packets are in the output as they were, in one run each.
    for (const char* stream : {"v:0", "a:0"}) {
        std::vector<std::string> joined = kjtest::PacketHashes(out, stream);
        std::vector<std::string> own = kjtest::PacketHashes(first, stream);
        std::vector<std::string> lastOwn = kjtest::PacketHashes(last, stream);
        ASSERT_FALSE(own.empty());
        EXPECT_EQ(FindRun(joined, own), 0u) << stream;
        EXPECT_NE(FindRun(joined, lastOwn), std::string::npos) << stream;
    }
    EXPECT_EQ(kjtest::DecodeErrors(out), "");
    // A seek into the encoded part decodes cleanly. (FFmpeg's RealMedia reader says
    // "read_timestamp() failed in the middle" seeking into some joins, also of files it wrote
    // itself joined without encoding; for RealMedia the decode after a seek is judged by the
    // seam tables of copied files.)
    if (ext != "rm") {
        EXPECT_EQ(kjtest::SeekDecodeErrors(out, oddStart + 1.0), "");
    }
    EXPECT_EQ(kjtest::GstPlaybackFailure(out), "");
    std::vector<std::string> inputsSay = {kjtest::MpvWarnings(first), kjtest::MpvWarnings(odd),
                                          kjtest::MpvWarnings(last)};
    EXPECT_EQ(kjtest::LinesNotIn(kjtest::MpvWarnings(out), inputsSay), "");

    // The odd file's white picture starts where the join says the file starts, and its tone
    // with it, where a player puts them (by their timestamps).
    kjtest::Onsets onsets = kjtest::FindOnsets(out);
    ASSERT_GE(onsets.pictureTime, 0) << "no white picture";
    EXPECT_NEAR(onsets.pictureTime - onsets.videoStart, oddStart, kOneFrame);
    EXPECT_NEAR(ToneStart(out), onsets.pictureTime, kOneFrame);
    double own = 0;
    for (const std::string& path : {first, odd, last}) {
        own += std::stod(kjtest::Ffprobe(path, "format=duration"));
    }
    EXPECT_NEAR(std::stod(kjtest::Ffprobe(out, "format=duration")), own, 0.1);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, KjoinOddMatch,
    testing::Values(OddCase{"wmv2_with_an_odd_wmv1", "wmv",
                            "-c:v wmv2 -b:v 600k -c:a wmav2 -b:a 128k",
                            "-c:v wmv1 -c:a wmav1 -ar 22050 -ac 1", "352x288", 30},
                    OddCase{"msmpeg4_with_an_odd_wmv2", "asf", "-c:v msmpeg4 -c:a wmav1 -b:a 64k",
                            "-c:v wmv2 -c:a wmav2", "640x360", 25},
                    OddCase{"rv20_with_an_odd_rv10", "rm", "-c:v rv20 -b:v 400k -c:a ac3 -b:a 128k",
                            "-c:v rv10 -c:a ac3 -ac 1", "176x144", 15}),
    [](const testing::TestParamInfo<OddCase>& info) { return std::string(info.param.name); });

TEST(KjoinOddSound, AnOddFileOfSoundAloneIsEncodedToTheFirstFilesSound) {
    ASSERT_EQ(kjtest::MissingReaders(), "");
    kjtest::TempDir dir;
    std::string first = dir.File("first.wma");
    std::string odd = dir.File("odd.wma");
    std::string last = dir.File("last.wma");
    std::string out = dir.File("joined.wma");
    const std::string wma = " -ac 2 -c:a wmav2 -b:a 128k";
    ASSERT_TRUE(kjtest::MakeWithFfmpeg("-f lavfi -i anullsrc=r=44100:cl=stereo -t 3" + wma, first));
    ASSERT_TRUE(kjtest::MakeWithFfmpeg("-f lavfi -i sine=f=1000:r=22050:d=2 -c:a wmav1", odd));
    ASSERT_TRUE(kjtest::MakeWithFfmpeg("-f lavfi -i anullsrc=r=44100:cl=stereo -t 2" + wma, last));
    std::string files = " " + kjtest::ShellQuote(first) + " " + kjtest::ShellQuote(odd) + " " +
                        kjtest::ShellQuote(last);
    kjtest::CommandResult join =
        kjtest::RunCommand(Kjoin() + " join --json -o " + kjtest::ShellQuote(out) + files);
    ASSERT_EQ(join.exitCode, 0) << join.output;
    QJsonArray inputs = kjtest::JsonOf(join.output)["inputs"].toArray();
    ASSERT_EQ(inputs.size(), 3) << join.output;
    EXPECT_TRUE(inputs[1].toObject()["encoded"].toBool());
    std::vector<std::string> joined = kjtest::PacketHashes(out, "a:0");
    EXPECT_EQ(FindRun(joined, kjtest::PacketHashes(first, "a:0")), 0u);
    EXPECT_NE(FindRun(joined, kjtest::PacketHashes(last, "a:0")), std::string::npos);
    EXPECT_EQ(kjtest::Ffprobe(out, "stream=codec_name,sample_rate,channels"), "wmav2\n44100\n2");
    EXPECT_EQ(kjtest::DecodeErrors(out), "");
    EXPECT_EQ(kjtest::GstPlaybackFailure(out), "");
    // The tone starts at the seam, as the same reader places a tone one second into a file of
    // the first file's format (its decoder's delay puts any onset a little late).
    std::string reference = dir.File("reference.wma");
    ASSERT_TRUE(kjtest::MakeWithFfmpeg(
        "-f lavfi -i anullsrc=r=44100:cl=stereo,atrim=0:1 -f lavfi -i sine=f=1000:r=44100:d=1 "
        "-filter_complex " +
            kjtest::ShellQuote("[1:a]pan=stereo|c0=c0|c1=c0[t];[0:a][t]concat=n=2:v=0:a=1") + wma,
        reference));
    double readerDelay = ToneStart(reference) - 1.0;
    EXPECT_NEAR(ToneStart(out), inputs[1].toObject()["start"].toDouble() + readerDelay, kOneFrame);

    // A Windows Media Audio 2 file of Microsoft's encoder: its block size goes with its bit rate
    // in a way FFmpeg's encoder does not write, so a file of other sound cannot be made to match.
    std::string windows = std::string(KJ_SHARED_MEDIA_DIR) + "/windowsmedia/wma2-cover-2009.wma";
    if (!std::filesystem::exists(windows)) {
        GTEST_SKIP() << windows << " is not there (the shared media folder is absent)";
    }
    kjtest::CommandResult refused = kjtest::RunCommand(
        Kjoin() + " check " + kjtest::ShellQuote(windows) + " " + kjtest::ShellQuote(odd));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.output.find("odd.wma cannot be encoded here to match the first file: the "
                                  "encoder here writes Windows Media Audio 2 with a different "
                                  "block size or bit rate from the first file's."),
              std::string::npos)
        << refused.output;
}

// A copy of a Windows Media file whose video stream says it is another codec: every FourCC of
// `from` in its header (the stream's format and the codec list) becomes `to`.
bool RenameVideoCodec(const std::string& source, const std::string& target, const char* from,
                      const char* to) {
    std::vector<uint8_t> bytes = kjtest::ReadFileBytes(source);
    ByteReader reader(bytes);
    size_t header =
        reader.Has(0, asf::kObjectHeaderSize) ? static_cast<size_t>(reader.LE64(16)) : 0;
    int renamed = 0;
    for (size_t i = 0; i + 4 <= std::min(header, bytes.size()); ++i) {
        if (std::equal(from, from + 4, bytes.begin() + static_cast<long>(i))) {
            std::copy(to, to + 4, bytes.begin() + static_cast<long>(i));
            ++renamed;
        }
    }
    return renamed > 0 && kjtest::WriteFileBytes(target, bytes);
}

TEST(KjoinOddRefused, FirstFilesNoEncoderHereWritesRefuseTheListWithTheReason) {
    kjtest::TempDir dir;
    std::string error;
    // Two Windows Media Video 9 files of two sizes: nothing here encodes WMV 9.
    for (const char* size : {"320x240", "640x480"}) {
        std::string made = dir.File(std::string("wmv2_") + size + ".wmv");
        ASSERT_TRUE(
            kjtest::MakeClip(made, false, true, size, 25, 1, "-c:v wmv2 -c:a wmav2", &error))
            << error;
        ASSERT_TRUE(
            RenameVideoCodec(made, dir.File(std::string("wmv3_") + size + ".wmv"), "WMV2", "WMV3"));
    }
    std::string files = " " + kjtest::ShellQuote(dir.File("wmv3_320x240.wmv")) + " " +
                        kjtest::ShellQuote(dir.File("wmv3_640x480.wmv"));
    kjtest::CommandResult check = kjtest::RunCommand(Kjoin() + " check" + files);
    EXPECT_EQ(check.exitCode, 1) << check.output;
    EXPECT_NE(check.output.find("wmv3_640x480.wmv: picture size 640x480, the first file has "
                                "320x240"),
              std::string::npos)
        << check.output;
    std::string out = dir.File("joined.wmv");
    kjtest::CommandResult join =
        kjtest::RunCommand(Kjoin() + " join -o " + kjtest::ShellQuote(out) + files + " 2>&1");
    EXPECT_EQ(join.exitCode, 1);
    EXPECT_NE(join.output.find("wmv3_640x480.wmv cannot be encoded here to match the first file: "
                               "the first file's video is Windows Media Video 9, which cannot be "
                               "encoded here. Convert it to the first file's format, or join it "
                               "in a list of its own."),
              std::string::npos)
        << join.output;
    EXPECT_FALSE(std::filesystem::exists(out));

    // RealVideo 4 with cook, as RealNetworks' encoder wrote it, and a file of another size.
    std::string rv40 = std::string(KJ_SHARED_MEDIA_DIR) + "/realmedia/rv40-cook-640x480-2008.rv";
    if (!std::filesystem::exists(rv40)) {
        GTEST_SKIP() << rv40 << " is not there (the shared media folder is absent)";
    }
    std::string small = dir.File("small.rm");
    ASSERT_TRUE(
        kjtest::MakeClip(small, false, true, "176x144", 25, 1, "-c:v rv20 -c:a ac3", &error))
        << error;
    kjtest::CommandResult real = kjtest::RunCommand(Kjoin() + " check " + kjtest::ShellQuote(rv40) +
                                                    " " + kjtest::ShellQuote(small));
    EXPECT_EQ(real.exitCode, 1) << real.output;
}

}  // namespace
