// The seams of every pairing of the video and audio codecs the ffmpeg command puts in ASF, each
// pair also with its first input cut inside an audio frame: every whole packet kept in order,
// each seam within one frame, a decode after the seam clean, and nothing for ffmpeg or mpv to
// say of the output that they do not say of its inputs.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/media_fixtures.h"
#include "tests/support/output_judge.h"
#include "wmjoin/tests/wm_seam_judge.h"

namespace {

using kjtest::ShellQuote;

struct SeamCase {
    const char* video;
    const char* audio;
    bool cut;
};

std::string Name(const ::testing::TestParamInfo<SeamCase>& info) {
    return std::string(info.param.video) + "_" + info.param.audio +
           (info.param.cut ? "_cut" : "_whole");
}

// Where a file's data packets start and how long each is (from the ASF header ffprobe reads).
struct PacketPlace {
    uint64_t pos = 0;
    bool audio = false;
};

std::vector<PacketPlace> Places(const std::string& path) {
    std::string text = kjtest::RunCommand(
                           "ffprobe -v error -of csv=p=0 -show_entries "
                           "packet=codec_type,pos " +
                           ShellQuote(path))
                           .output;
    std::vector<PacketPlace> places;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        size_t comma = line.find(',');
        if (comma == std::string::npos) {
            continue;
        }
        places.push_back({std::stoull(line.substr(comma + 1)), line.substr(0, comma) == "audio"});
    }
    return places;
}

class WmSeamTable : public ::testing::TestWithParam<SeamCase> {};

TEST_P(WmSeamTable, EveryPacketKeptAndEverySeamClean) {
    const SeamCase& c = GetParam();
    kjtest::TempDir dir;
    const std::string codecs = std::string(" -c:v ") + c.video + " -b:v 400k -c:a " + c.audio +
                               " -b:a 128k -ar 44100 -ac 2 ";
    std::string error;
    ASSERT_TRUE(
        kjtest::MakeWithFfmpeg("-f lavfi -i testsrc=size=320x240:rate=25:duration=2.4 "
                               "-f lavfi -i sine=frequency=440:duration=2.4" +
                                   codecs,
                               dir.File("a.asf"), &error))
        << error;
    ASSERT_TRUE(
        kjtest::MakeWithFfmpeg("-f lavfi -i testsrc2=size=320x240:rate=25:duration=1.7 "
                               "-f lavfi -i sine=frequency=660:duration=1.7" +
                                   codecs,
                               dir.File("b.asf"), &error))
        << error;
    wmtest::SeamInput first{dir.File("a.asf")};
    if (c.cut) {
        // Cut inside the data packet that holds an audio frame about two thirds in.
        std::vector<PacketPlace> places = Places(first.path);
        std::vector<uint8_t> bytes = kjtest::ReadFileBytes(first.path);
        uint64_t at = 0;
        for (const PacketPlace& p : places) {
            if (p.audio && p.pos > bytes.size() * 2 / 3) {
                at = p.pos;
                break;
            }
        }
        ASSERT_GT(at, 0u);
        uint64_t cut = at + 700;
        bytes.resize(cut);
        first.path = dir.File("a_cut.asf");
        kjtest::WriteFileBytes(first.path, bytes);
        // What lies in the last data packets, which the cut made partial or incomplete, may be
        // left out; nothing before.
        for (const PacketPlace& p : Places(first.path)) {
            first.mayLoseAtEnd += p.pos + 4 * 3200 >= cut ? 1 : 0;
        }
    }
    std::vector<wmtest::SeamInput> inputs = {first, {dir.File("b.asf")}};
    std::string output = dir.File("joined.asf");
    kjtest::CommandResult r = kjtest::RunCommand(
        kjtest::ShellQuote(kjtest::BinDir() + "/kjoin") + " join -y -o " + ShellQuote(output) +
        " " + ShellQuote(first.path) + " " + ShellQuote(dir.File("b.asf")) + " 2>&1");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    wmtest::SeamPlaces places = wmtest::ExpectSeamlessJoin(inputs, output);
    ASSERT_EQ(places.starts.size(), 2u);
    EXPECT_EQ(wmtest::NewReaderComplaints({first.path, dir.File("b.asf")}, output), "");
    EXPECT_EQ(kjtest::SeekDecodeErrors(output, places.starts[1] + 0.3), "");
}

std::vector<SeamCase> Cases() {
    std::vector<SeamCase> cases;
    for (const char* video : {"wmv1", "wmv2", "msmpeg4"}) {
        for (const char* audio : {"wmav1", "wmav2", "libmp3lame"}) {
            for (bool cut : {false, true}) {
                cases.push_back({video, audio, cut});
            }
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Codecs, WmSeamTable, ::testing::ValuesIn(Cases()), Name);

}  // namespace
