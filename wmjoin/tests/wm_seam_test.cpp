// The seams of Windows Media joins, judged by ffprobe, ffmpeg and mpv: the next input begins
// where the one before really ends (a padded last payload and a lead shared by every stream
// included), with every whole packet kept and nothing for a reader to complain of.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <regex>

#include "engines/asf/asf_format.h"
#include "engines/asf/tests/asf_bytes.h"
#include "platform/bytes.h"
#include "tests/support/media_fixtures.h"
#include "tests/support/output_judge.h"
#include "wmjoin/tests/wm_seam_judge.h"
#include "wmjoin/tests/wm_test_support.h"

namespace {

using kjtest::ShellQuote;

std::string Kjoin() {
    return ShellQuote(kjtest::BinDir() + "/kjoin");
}

struct JsonInput {
    double start = 0;
    double duration = 0;
};

// `kjoin join --json`: each input's start and length in the output.
std::vector<JsonInput> JoinJson(const std::vector<std::string>& inputs, const std::string& output,
                                std::string* text) {
    std::string line = Kjoin() + " join --json -y -o " + ShellQuote(output);
    for (const std::string& input : inputs) {
        line += " " + ShellQuote(input);
    }
    kjtest::CommandResult r = kjtest::RunCommand(line + " 2>/dev/null");
    *text = r.output;
    std::vector<JsonInput> found;
    static const std::regex entry("\"start\": ([0-9.]+), \"duration\": ([0-9.]+)");
    for (auto it = std::sregex_iterator(r.output.begin(), r.output.end(), entry);
         it != std::sregex_iterator(); ++it) {
        found.push_back({std::stod((*it)[1]), std::stod((*it)[2])});
    }
    return found;
}

class WmSeams : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_dir = new kjtest::TempDir(); }
    static void TearDownTestSuite() { delete s_dir; }
    static std::string F(const char* name) { return s_dir->File(name); }
    static kjtest::TempDir* s_dir;
};
kjtest::TempDir* WmSeams::s_dir = nullptr;

TEST_F(WmSeams, ALeadSharedByEveryStreamIsNotRepeatedAtTheSeam) {
    std::string error;
    ASSERT_TRUE(
        kjtest::MakeWithFfmpeg("-f lavfi -i testsrc=size=176x144:duration=2 -f lavfi -i "
                               "sine=duration=2 -c:v wmv2 -c:a wmav2 -output_ts_offset 1",
                               F("lead.wmv"), &error))
        << error;
    std::string text;
    std::vector<JsonInput> json =
        JoinJson({F("lead.wmv"), F("lead.wmv")}, F("lead_join.wmv"), &text);
    ASSERT_EQ(json.size(), 2u) << text;
    wmtest::SeamPlaces places =
        wmtest::ExpectSeamlessJoin({{F("lead.wmv")}, {F("lead.wmv")}}, F("lead_join.wmv"));
    ASSERT_EQ(places.starts.size(), 2u);
    // The first input keeps its own lead; each input lasts its length, not its end time.
    double lead = places.starts[0];
    EXPECT_GT(lead, 0.9);
    double length = wmtest::InputEnd(F("lead.wmv")) - lead;
    EXPECT_NEAR(json[0].start, lead, 0.002) << text;
    EXPECT_NEAR(json[0].duration, length, 0.002) << text;
    EXPECT_NEAR(json[1].start, places.starts[1], 0.002) << text;
    EXPECT_NEAR(json[1].duration, length, 0.002) << text;
    EXPECT_EQ(wmtest::NewReaderComplaints({F("lead.wmv")}, F("lead_join.wmv")), "");
}

TEST_F(WmSeams, ADurationShortOfTheLastFrameByLessThanAFrameKeepsThatFrameWhole) {
    std::string error;
    ASSERT_TRUE(kjtest::MakeWithFfmpeg("-f lavfi -i sine=duration=2.5 -c:a wmav2 -b:a 128k",
                                       F("whole.wma"), &error))
        << error;
    // A muxer that rounds its times may state a duration 30 ms short of the last frame's end:
    // that frame's sound is all there, and the next input follows it rather than overlap it.
    kjtest::WriteFileBytes(F("short.wma"), wmtest::WithPlayDurationChanged(
                                               kjtest::ReadFileBytes(F("whole.wma")), -300000));
    std::vector<kjtest::ProbedPacket> own = kjtest::ProbePackets(F("whole.wma"), "a:0");
    ASSERT_FALSE(own.empty());
    double frameEnd = own.back().pts + own.back().duration;
    std::string text;
    std::vector<JsonInput> json =
        JoinJson({F("short.wma"), F("short.wma"), F("short.wma")}, F("short_join.wma"), &text);
    ASSERT_EQ(json.size(), 3u) << text;
    wmtest::SeamPlaces places = wmtest::ExpectSeamlessJoin(
        {{F("short.wma")}, {F("short.wma")}, {F("short.wma")}}, F("short_join.wma"));
    ASSERT_EQ(places.starts.size(), 3u);
    EXPECT_NEAR(places.starts[1], frameEnd, 0.0011);
    EXPECT_NEAR(places.starts[2], 2 * frameEnd, 0.0022);
    EXPECT_EQ(wmtest::NewReaderComplaints({F("short.wma")}, F("short_join.wma")), "");
}

TEST_F(WmSeams, ARealPaddedWmaJoinsWithoutAGapOrAComplaint) {
    const std::string real = KJ_SHARED_MEDIA_DIR "/windowsmedia/wma2-cover-2009.wma";
    if (!std::filesystem::exists(real)) {
        GTEST_SKIP() << "../shared/media is not here: the real padded WMA cannot be joined";
    }
    std::string text;
    std::vector<JsonInput> json = JoinJson({real, real}, F("real_join.wma"), &text);
    ASSERT_EQ(json.size(), 2u) << text;
    wmtest::SeamPlaces places = wmtest::ExpectSeamlessJoin({{real}, {real}}, F("real_join.wma"));
    ASSERT_EQ(places.starts.size(), 2u);
    EXPECT_NEAR(places.starts[1], wmtest::InputEnd(real), 0.0011);
    // mpv said "Invalid audio PTS" at this seam when the next input followed the padding.
    EXPECT_EQ(wmtest::NewReaderComplaints({real}, F("real_join.wma")), "");
}

// An ASF file of MP3 sound whose objects are cut from the MP3 stream every `chunk` bytes, as
// some encoders write them: objects begin and end inside frames. `from` and `to` choose the
// bytes of the stream it holds, so the file may begin and end inside a frame too.
std::vector<uint8_t> Mp3InAsf(const std::vector<uint8_t>& mp3, size_t from, size_t to,
                              size_t chunk) {
    constexpr uint32_t kPacketSize = 1200;
    constexpr uint32_t kBytesPerSecond = 16000;  // 128 kbit/s
    constexpr uint64_t kPrerollMs = 3000;
    std::vector<asf::Bytes> packets;
    for (size_t at = from; at < to; at += chunk) {
        size_t end = std::min(to, at + chunk);
        uint32_t ms = static_cast<uint32_t>(kPrerollMs + (at - from) * 1000 / kBytesPerSecond);
        packets.push_back(asftest::SinglePayloadPacket(
            kPacketSize, 1, static_cast<uint8_t>(packets.size()), ms,
            asf::Bytes(mp3.begin() + static_cast<long>(at), mp3.begin() + static_cast<long>(end)),
            true));
    }
    uint64_t playDuration = ((to - from) * 1000 / kBytesPerSecond + kPrerollMs) * 10000;
    asf::Bytes header = asftest::HeaderObject(
        {asftest::FileProperties(kPacketSize, packets.size(), playDuration, kPrerollMs),
         asftest::AudioStream(1, 0x0055, 44100, kBytesPerSecond, 1)});
    asf::Bytes file = header;
    asf::Bytes data = asftest::DataObjectHeader(packets.size(), kPacketSize);
    file.insert(file.end(), data.begin(), data.end());
    for (const asf::Bytes& packet : packets) {
        file.insert(file.end(), packet.begin(), packet.end());
    }
    return file;
}

TEST_F(WmSeams, MpegAudioObjectsThatEndInsideAFrameAreNotGluedToTheNextInput) {
    std::string error;
    ASSERT_TRUE(
        kjtest::MakeWithFfmpeg("-f lavfi -i sine=frequency=500:duration=3 -ac 2 -c:a "
                               "libmp3lame -b:a 128k -f mp3 -write_xing 0 -id3v2_version 0",
                               F("tone.mp3"), &error))
        << error;
    std::vector<uint8_t> mp3 = kjtest::ReadFileBytes(F("tone.mp3"));
    ASSERT_GT(mp3.size(), 40000u);
    // The first file ends 150 bytes into a frame; the second begins 300 bytes into one.
    kjtest::WriteFileBytes(F("ends_inside.asf"), Mp3InAsf(mp3, 0, 30000, 1000));
    kjtest::WriteFileBytes(F("begins_inside.asf"), Mp3InAsf(mp3, 10000, mp3.size(), 700));
    kjtest::WriteFileBytes(F("whole.asf"), Mp3InAsf(mp3, 0, mp3.size(), 1000));
    for (const std::vector<std::string>& inputs : std::vector<std::vector<std::string>>{
             {F("ends_inside.asf"), F("begins_inside.asf")},
             {F("ends_inside.asf"), F("ends_inside.asf"), F("whole.asf")}}) {
        std::string text;
        std::vector<JsonInput> json = JoinJson(inputs, F("mp3_join.asf"), &text);
        ASSERT_EQ(json.size(), inputs.size()) << text;
        EXPECT_EQ(wmtest::NewReaderComplaints(inputs, F("mp3_join.asf")), "") << inputs[1];
        EXPECT_EQ(kjtest::DecodeErrors(F("mp3_join.asf")).find("Header missing"),
                  std::string::npos);
    }
}

TEST_F(WmSeams, WmaLosslessPacketNumbersFollowOnAcrossEverySeam) {
    const std::string real = KJ_SHARED_MEDIA_DIR "/windowsmedia/wmalossless-2011.wma";
    if (!std::filesystem::exists(real)) {
        GTEST_SKIP() << "../shared/media is not here: no WMA Lossless file to join";
    }
    std::string text;
    std::vector<JsonInput> json = JoinJson({real, real, real}, F("lossless_join.wma"), &text);
    ASSERT_EQ(json.size(), 3u) << text;
    std::string decode = kjtest::DecodeErrors(F("lossless_join.wma"));
    EXPECT_EQ(decode.find("Packet loss"), std::string::npos) << decode;
    // Sample for sample the three inputs' sound, one after the other.
    auto pcm = [](const std::string& path) {
        return kjtest::RunCommand("ffmpeg -v quiet -i " + ShellQuote(path) + " -f s16le - | md5sum")
            .output;
    };
    kjtest::RunCommand("ffmpeg -v quiet -i " + ShellQuote(real) + " -f s16le " +
                       ShellQuote(F("one.pcm")));
    std::string three =
        kjtest::RunCommand("cat " + ShellQuote(F("one.pcm")) + " " + ShellQuote(F("one.pcm")) +
                           " " + ShellQuote(F("one.pcm")) + " | md5sum")
            .output;
    EXPECT_EQ(pcm(F("lossless_join.wma")), three);
    EXPECT_EQ(kjtest::LinesNotIn(kjtest::MpvWarnings(F("lossless_join.wma")),
                                 {kjtest::MpvWarnings(real)}),
              "");
    // Each input where the one before ends (the packets themselves differ in their numbers).
    double end = wmtest::InputEnd(real);
    for (size_t k = 0; k < json.size(); ++k) {
        EXPECT_NEAR(json[k].start, static_cast<double>(k) * end, 0.0011 * static_cast<double>(k));
    }
}

TEST_F(WmSeams, ALongListJoinsWithFewFilesOpenAtOnce) {
    std::string error;
    ASSERT_TRUE(kjtest::MakeWithFfmpeg("-f lavfi -i sine=frequency=700:duration=0.3 -c:a wmav2",
                                       F("short.wma"), &error))
        << error;
    // Eighty inputs under a limit of 48 open files: held open all at once, they could not be
    // joined.
    constexpr int kInputs = 80;
    std::string line =
        "ulimit -n 48 && " + Kjoin() + " join --json -y -o " + ShellQuote(F("long_join.wma"));
    for (int i = 0; i < kInputs; ++i) {
        line += " " + ShellQuote(F("short.wma"));
    }
    kjtest::CommandResult r = kjtest::RunCommand("sh -c " + ShellQuote(line) + " 2>&1");
    ASSERT_EQ(r.exitCode, 0) << r.output.substr(0, 2000);
    EXPECT_EQ(kjtest::CountPackets(F("long_join.wma"), "a:0"),
              kInputs * kjtest::CountPackets(F("short.wma"), "a:0"));
    EXPECT_EQ(kjtest::DecodeErrors(F("long_join.wma")), "");
    double end = wmtest::InputEnd(F("short.wma"));
    EXPECT_NEAR(wmtest::InputEnd(F("long_join.wma")), kInputs * end, 0.0011 * kInputs);
}

}  // namespace
