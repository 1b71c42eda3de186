// An odd file of a Windows Media or RealMedia list encoded so that the join can copy its packets
// under the first file's headers: its stream headers must read back as the first file's, byte
// for byte, and where no encoder here can write them the plan says why.
#include <gtest/gtest.h>

#include "engines/conversion/conversion.h"
#include "engines/conversion/match_encode.h"
#include "tests/support/media_fixtures.h"
#include "tests/support/output_judge.h"

namespace {

struct MatchCase {
    const char* name;
    const char* first;  // ffmpeg options of the first file (the container's extension follows)
    const char* odd;
    const char* extension;
};

void PrintTo(const MatchCase& c, std::ostream* out) {
    *out << c.name;
}

std::string Clip(const kjtest::TempDir& dir, const std::string& name, const std::string& options,
                 const std::string& size, int rate, double seconds) {
    std::string path = dir.File(name);
    std::string error;
    std::string sources = "-f lavfi -i testsrc=s=" + size + ":r=" + std::to_string(rate) +
                          ":d=" + std::to_string(seconds) +
                          " -f lavfi -i sine=f=440:r=44100:d=" + std::to_string(seconds) + " ";
    EXPECT_TRUE(kjtest::MakeWithFfmpeg(sources + options, path, &error)) << error;
    return path;
}

// What ffprobe says of a stream's header, the fields a join compares, its codec data by hash.
std::string Header(const std::string& path, const std::string& stream) {
    return kjtest::RunCommand(
               "ffprobe -v error -show_data_hash SHA256 -of default=nw=1 "
               "-show_entries stream=codec_name,codec_tag_string,width,height,"
               "sample_rate,channels,extradata_size,extradata_hash,bit_rate "
               "-select_streams " +
               stream + " " + kjtest::ShellQuote(path))
        .output;
}

// Packets from the first key picture of the video to the next; 0 when there are not two.
int FirstKeyInterval(const std::string& path) {
    std::vector<kjtest::ProbedPacket> packets = kjtest::ProbePackets(path, "v:0");
    int first = -1;
    for (size_t i = 0; i < packets.size(); ++i) {
        if (packets[i].key && first >= 0) {
            return static_cast<int>(i) - first;
        }
        if (packets[i].key) {
            first = static_cast<int>(i);
        }
    }
    return 0;
}

class MatchEncodeTable : public testing::TestWithParam<MatchCase> {};

TEST_P(MatchEncodeTable, EncodedFileHasTheFirstFilesStreamHeaders) {
    const MatchCase& c = GetParam();
    kjtest::TempDir dir;
    std::string ext = c.extension;
    std::string first = Clip(dir, "first." + ext, c.first, "320x240", 25, 2);
    std::string odd = Clip(dir, "odd." + ext, c.odd, "352x288", 30, 1.5);

    MatchTarget target;
    std::string reason;
    ASSERT_EQ(PlanMatchEncode(first, odd, &target, &reason), MatchAnswer::kEncodable) << reason;

    Conversion conversion;
    std::string error;
    std::string out = dir.File("matched." + ext);
    ASSERT_EQ(EncodeToMatch(conversion, first, odd, out, &error), 0) << error;
    for (const char* stream : {"v:0", "a:0"}) {
        EXPECT_EQ(Header(out, stream), Header(first, stream)) << stream;
    }
    EXPECT_EQ(kjtest::DecodeErrors(out), "");
    // 1.5 s at the first file's 25 frames a second, its key pictures as far apart as the
    // first file's, so that the encoded part seeks as the rest does.
    EXPECT_EQ(kjtest::CountPackets(out, "v:0"), 38);
    EXPECT_EQ(FirstKeyInterval(out), FirstKeyInterval(first));
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, MatchEncodeTable,
    testing::Values(
        MatchCase{"wmv2_from_wmv1", "-c:v wmv2 -b:v 600k -c:a wmav2 -b:a 128k",
                  "-c:v wmv1 -c:a wmav1 -ar 22050 -ac 1", "wmv"},
        MatchCase{"wmv1_from_wmv2", "-c:v wmv1 -b:v 800k -c:a wmav1 -b:a 96k",
                  "-c:v wmv2 -c:a wmav2", "wmv"},
        MatchCase{"msmpeg4_from_wmv2", "-c:v msmpeg4 -c:a wmav2 -b:a 64k", "-c:v wmv2 -an", "asf"},
        MatchCase{"rv20_from_rv10", "-c:v rv20 -b:v 400k -c:a ac3 -b:a 192k",
                  "-c:v rv10 -c:a ac3 -ac 1", "rm"},
        MatchCase{"rv10_from_rv20", "-c:v rv10 -c:a ac3", "-c:v rv20 -c:a ac3 -ar 48000", "rm"}),
    [](const testing::TestParamInfo<MatchCase>& info) { return std::string(info.param.name); });

TEST(MatchEncode, FirstFilesThatNoEncoderHereWritesAreRefusedWithTheReason) {
    kjtest::TempDir dir;
    std::string odd = Clip(dir, "odd.wmv", "-c:v wmv2 -c:a wmav2", "320x240", 25, 1);
    struct Refused {
        const char* options;
        const char* file;
        const char* reason;
    };
    for (const Refused& r : {
             Refused{"-c:v mpeg4 -tag:v MP4S -c:a wmav2", "mp4s.wmv",
                     "the first file's video is MPEG-4 part 2, which cannot be encoded here"},
             Refused{"-c:v wmv2 -c:a mp3", "mp3.wmv",
                     "the first file's sound is MP3 (MPEG audio layer 3), which cannot be "
                     "encoded here"},
         }) {
        std::string first = Clip(dir, r.file, r.options, "320x240", 25, 1);
        MatchTarget target;
        std::string reason;
        EXPECT_EQ(PlanMatchEncode(first, odd, &target, &reason), MatchAnswer::kNot) << r.file;
        EXPECT_EQ(reason, r.reason);
    }
    MatchTarget target;
    std::string reason;
    EXPECT_EQ(PlanMatchEncode(dir.File("missing.wmv"), odd, &target, &reason),
              MatchAnswer::kUnreadable);
    EXPECT_NE(reason, "");
}

TEST(MatchEncode, SoundAloneIsEncodedToTheFirstFilesSoundAndKeepsItsLength) {
    kjtest::TempDir dir;
    std::string first = dir.File("first.wma");
    std::string odd = dir.File("odd.wma");
    ASSERT_TRUE(kjtest::MakeWithFfmpeg(
        "-f lavfi -i sine=f=440:r=44100:d=3 -ac 2 -c:a wmav2 -b:a 128k", first));
    ASSERT_TRUE(kjtest::MakeWithFfmpeg("-f lavfi -i sine=f=660:r=22050:d=2.5 -c:a wmav1", odd));
    MatchTarget target;
    std::string reason;
    ASSERT_EQ(PlanMatchEncode(first, odd, &target, &reason), MatchAnswer::kEncodable) << reason;
    Conversion conversion;
    std::string error;
    std::string out = dir.File("matched.wma");
    ASSERT_EQ(EncodeToMatch(conversion, first, odd, out, &error), 0) << error;
    EXPECT_EQ(Header(out, "a:0"), Header(first, "a:0"));
    EXPECT_EQ(kjtest::Ffprobe(out, "stream=codec_type"), "audio");
    EXPECT_NEAR(std::stod(kjtest::Ffprobe(out, "format=duration")), 2.5, 0.1);
    EXPECT_EQ(kjtest::DecodeErrors(out), "");

    // A file with pictures is not made sound alone.
    std::string film = Clip(dir, "film.wmv", "-c:v wmv2 -c:a wmav2", "320x240", 25, 1);
    EXPECT_EQ(PlanMatchEncode(first, film, &target, &reason), MatchAnswer::kNot);
    EXPECT_EQ(reason, "it has pictures, and the first file holds sound alone");
}

}  // namespace
