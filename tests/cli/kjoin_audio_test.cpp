// Files of sound alone through kjoin: WMA files made by ffmpeg and the real cook-only RealMedia
// file joined packet for packet and judged by ffprobe, a full decode and GStreamer; the refusals
// of another audio rate and of audio-only files among video files, with their texts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "platform/bytes.h"
#include "tests/support/media_fixtures.h"
#include "tests/support/output_judge.h"

namespace {

std::string Kjoin() {
    return kjtest::ShellQuote(kjtest::BinDir() + "/kjoin");
}

// ffprobe's answers without its complaints (the cook file's index names a stream it does not
// show, which ffprobe reports on every read).
std::string Probe(const std::string& path, const std::string& args) {
    return kjtest::RunCommand("ffprobe -v quiet -of default=nw=1:nk=1 " + args + " " +
                              kjtest::ShellQuote(path))
        .output;
}

int64_t AudioPackets(const std::string& path) {
    std::string text = Probe(path,
                             "-count_packets -select_streams a:0 -show_entries "
                             "stream=nb_read_packets");
    return text.empty() ? -1 : std::strtoll(text.c_str(), nullptr, 10);
}

std::vector<double> PacketTimes(const std::string& path) {
    std::string text = Probe(path, "-select_streams a:0 -show_entries packet=pts_time");
    std::vector<double> times;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line != "N/A") {
            times.push_back(std::strtod(line.c_str(), nullptr));
        }
    }
    return times;
}

double Duration(const std::string& path) {
    return std::strtod(Probe(path, "-show_entries format=duration").c_str(), nullptr);
}

// gst-discoverer's verdict: empty when it read the file and found its audio, else what it said.
std::string GstreamerProblem(const std::string& path) {
    if (!kjtest::HaveProgram("gst-discoverer-1.0")) {
        return "gst-discoverer-1.0 is missing (install gstreamer1.0-plugins-base-apps)";
    }
    kjtest::CommandResult r =
        kjtest::RunCommand("gst-discoverer-1.0 " + kjtest::ShellQuote(path) + " 2>&1");
    if (r.exitCode != 0 || r.output.find("audio") == std::string::npos ||
        r.output.find("Done discovering") == std::string::npos) {
        return r.output;
    }
    return {};
}

// The output holds every input's packets, and input n starts where input n-1 ended.
void ExpectJoinedAudio(const std::vector<std::string>& inputs, const std::string& output,
                       double tolerance) {
    int64_t packets = 0;
    for (const std::string& input : inputs) {
        packets += AudioPackets(input);
    }
    EXPECT_EQ(AudioPackets(output), packets);
    std::vector<double> times = PacketTimes(output);
    ASSERT_EQ(static_cast<int64_t>(times.size()), packets);
    size_t at = 0;
    double lastStep = 0;
    for (const std::string& input : inputs) {
        std::vector<double> own = PacketTimes(input);
        ASSERT_FALSE(own.empty());
        if (at > 0) {
            // Input n starts where input n-1 ended: one packet's time after its last packet.
            EXPECT_NEAR(times[at] - times[at - 1], lastStep, tolerance) << "seam before " << input;
        }
        for (size_t i = 1; i < own.size(); ++i) {
            ASSERT_NEAR(times[at + i] - times[at], own[i] - own[0], 0.002)
                << input << " packet " << i;
        }
        at += own.size();
        lastStep = own.size() > 1 ? own[own.size() - 1] - own[own.size() - 2] : 0;
    }
    double total = 0;
    for (const std::string& input : inputs) {
        total += Duration(input);
    }
    EXPECT_NEAR(Duration(output), total, tolerance * static_cast<double>(inputs.size()));
    EXPECT_EQ(kjtest::DecodeErrors(output), "");
}

class KjoinAudio : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new kjtest::TempDir();
        auto make = [](const std::string& source, const char* name) {
            std::string error;
            EXPECT_TRUE(kjtest::MakeWithFfmpeg(source, s_dir->File(name), &error)) << error;
        };
        make("-f lavfi -i sine=frequency=440:duration=1.3 -c:a wmav1 -b:a 64k", "v1a.wma");
        make("-f lavfi -i sine=frequency=550:duration=2.45 -c:a wmav1 -b:a 64k", "v1b.wma");
        make("-f lavfi -i sine=frequency=440:duration=1.7 -c:a wmav2 -ac 2 -b:a 96k", "v2a.wma");
        make("-f lavfi -i sine=frequency=660:duration=0.9 -c:a wmav2 -ac 2 -b:a 96k", "v2b.wma");
        make("-f lavfi -i sine=frequency=880:duration=2.2 -c:a wmav2 -ac 2 -b:a 96k", "v2c.wma");
        make(
            "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1.1 -c:a wmav2 -ac 2 "
            "-b:a 96k",
            "v2rate.wma");
        make(
            "-f lavfi -i testsrc=size=176x144:rate=15 -f lavfi -i sine -t 1 -c:v wmv2 -c:a "
            "wmav2 -ac 2 -b:a 96k",
            "film.wmv");
    }
    static void TearDownTestSuite() { delete s_dir; }

    static std::string File(const char* name) { return s_dir->File(name); }
    static kjtest::CommandResult Join(const std::vector<std::string>& inputs,
                                      const std::string& output) {
        std::string line = Kjoin() + " join -y -o " + kjtest::ShellQuote(output);
        for (const std::string& input : inputs) {
            line += " " + kjtest::ShellQuote(input);
        }
        return kjtest::RunCommand(line + " 2>&1");
    }

    static kjtest::TempDir* s_dir;
};
kjtest::TempDir* KjoinAudio::s_dir = nullptr;

TEST_F(KjoinAudio, ProbeSaysAFileIsAudioOnly) {
    kjtest::CommandResult r =
        kjtest::RunCommand(Kjoin() + " probe --json " + File("v1a.wma") + " " + File("film.wmv"));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    size_t second = r.output.find("film.wmv");
    ASSERT_NE(second, std::string::npos);
    std::string first = r.output.substr(0, second);
    EXPECT_NE(first.find("\"audioOnly\": true"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("\"audioOnly\": false"), std::string::npos) << r.output;
    kjtest::CommandResult plain = kjtest::RunCommand(Kjoin() + " probe " + File("v1a.wma"));
    EXPECT_NE(plain.output.find("Width/Height:  Audio"), std::string::npos) << plain.output;
    EXPECT_NE(plain.output.find("\n  Audio:"), std::string::npos) << plain.output;
    EXPECT_EQ(plain.output.find("Video:"), std::string::npos) << plain.output;
}

TEST_F(KjoinAudio, TwoWmav1FilesJoinPacketForPacket) {
    std::vector<std::string> inputs = {File("v1a.wma"), File("v1b.wma")};
    std::string out = File("v1_join.wma");
    kjtest::CommandResult r = Join(inputs, out);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ExpectJoinedAudio(inputs, out, 0.1);
    EXPECT_EQ(Probe(out, "-select_streams a:0 -show_entries stream=codec_name"), "wmav1\n");
    EXPECT_EQ(GstreamerProblem(out), "");
    EXPECT_EQ(kjtest::GstPlaybackFailure(out), "");
}

TEST_F(KjoinAudio, ThreeWmav2FilesJoinPacketForPacket) {
    std::vector<std::string> inputs = {File("v2a.wma"), File("v2b.wma"), File("v2c.wma")};
    std::string out = File("v2_join.wma");
    kjtest::CommandResult r = Join(inputs, out);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ExpectJoinedAudio(inputs, out, 0.1);
    EXPECT_EQ(GstreamerProblem(out), "");
    EXPECT_EQ(kjtest::GstPlaybackFailure(out), "");
}

TEST_F(KjoinAudio, AnotherAudioRateIsEncodedToTheFirstFilesOrRefusedWithTheMismatchText) {
    // FFmpeg's WMA 2 encoder writes v2a.wma's headers: v2rate.wma is encoded to them.
    std::string out = File("rate_join.wma");
    kjtest::CommandResult r = Join({File("v2a.wma"), File("v2rate.wma")}, out);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("kjoin: 1 copied, 1 encoded to match the first file."),
              std::string::npos)
        << r.output;
    EXPECT_EQ(kjtest::Ffprobe(out, "stream=codec_name,sample_rate"), "wmav2\n44100");
    EXPECT_EQ(kjtest::DecodeErrors(out), "");

    // Microsoft's WMA 2 file: no encoder here writes its headers, and the join refuses the
    // other rate with the designed texts.
    std::string windows = std::string(KJ_SHARED_MEDIA_DIR) + "/windowsmedia/wma2-cover-2009.wma";
    if (!std::filesystem::exists(windows)) {
        GTEST_SKIP() << windows << " is not there (the shared media folder is absent)";
    }
    std::string refusedOut = File("rate_refused.wma");
    kjtest::CommandResult refused = Join({windows, File("v2rate.wma")}, refusedOut);
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.output.find("Mismatch in Media types of video or audio  Streams."),
              std::string::npos)
        << refused.output;
    EXPECT_NE(refused.output.find("File No.2's profile mismatch with the first one"),
              std::string::npos)
        << refused.output;
    EXPECT_FALSE(std::filesystem::exists(refusedOut));
}

TEST_F(KjoinAudio, AudioOnlyFilesAmongVideoFilesAreRefusedByName) {
    for (const auto& [inputs, named] :
         std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{File("v2a.wma"), File("film.wmv")}, File("v2a.wma")},
             {{File("film.wmv"), File("v2b.wma"), File("v2a.wma")}, File("v2b.wma")}}) {
        std::string out = File("mixed_join.wmv");
        kjtest::CommandResult r = Join(inputs, out);
        EXPECT_NE(r.exitCode, 0);
        EXPECT_NE(r.output.find("kjoin: " + named + " has no video"), std::string::npos)
            << r.output;
        EXPECT_EQ(r.output.find("no picture size"), std::string::npos) << r.output;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

TEST_F(KjoinAudio, TheCookFileJoinsWithItself) {
    std::string cook = std::string(KJ_SHARED_MEDIA_DIR) + "/realmedia/cook-realevent-2000.rm";
    if (!std::filesystem::exists(cook)) {
        GTEST_SKIP() << cook << " is not there (the shared media folder is absent)";
    }
    kjtest::CommandResult probe = kjtest::RunCommand(Kjoin() + " probe --json " + cook);
    EXPECT_NE(probe.output.find("\"audioOnly\": true"), std::string::npos) << probe.output;
    std::vector<std::string> inputs = {cook, cook, cook};
    std::string out = File("cook_join.rm");
    kjtest::CommandResult r = Join(inputs, out);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    // Cook packets are timed per interleave block: the seams are judged to one block.
    ExpectJoinedAudio(inputs, out, 2.3);
    EXPECT_EQ(GstreamerProblem(out), "");
    EXPECT_EQ(kjtest::GstPlaybackFailure(out), "");
}

// A bare RealAudio file of AC-3 frames made by ffmpeg, byte-swapped into dnet (48 kHz, 192
// kbit/s: frames of 768 bytes), in a version 4 header.
std::vector<uint8_t> BareDnet(const std::string& ac3, const std::string& title) {
    std::vector<uint8_t> frames = kjtest::ReadFileBytes(ac3);
    frames.resize(frames.size() - frames.size() % 768);
    for (size_t i = 0; i + 1 < frames.size(); i += 2) {
        std::swap(frames[i], frames[i + 1]);
    }
    ByteWriter w;
    w.Text(".ra\xfd").BE16(4).BE16(0).Text(".ra4").BE32(0x10000).BE16(4).BE32(0);
    w.BE16(5).BE32(768).BE32(static_cast<uint32_t>(frames.size())).BE32(1440000).BE32(1440000);
    w.BE16(1).BE16(768).BE16(0).BE16(0).BE16(48000).BE16(0).BE16(16).BE16(2);
    w.U8(4).Text("Int0").U8(4).Text("dnet").Bytes("\x00\x03\x00", 3);
    w.U8(static_cast<uint8_t>(title.size())).Text(title).U8(0).U8(0).U8(0);
    w.PatchBE32(18, static_cast<uint32_t>(w.size() - 16));
    w.Bytes(frames.data(), frames.size());
    return w.bytes();
}

TEST_F(KjoinAudio, BareRealAudioFilesJoinIntoOneOfTheirKind) {
    std::vector<std::string> inputs;
    for (const auto& [name, seconds] :
         std::vector<std::pair<std::string, std::string>>{{"r1", "1.37"}, {"r2", "0.75"}}) {
        std::string ac3 = File((name + ".ac3").c_str());
        ASSERT_TRUE(kjtest::MakeWithFfmpeg("-f lavfi -i sine=sample_rate=48000:duration=" +
                                               seconds + " -ac 2 -c:a ac3 -b:a 192k -f ac3",
                                           ac3));
        inputs.push_back(File((name + ".ra").c_str()));
        ASSERT_TRUE(kjtest::WriteFileBytes(inputs.back(), BareDnet(ac3, name)));
    }
    kjtest::CommandResult probe = kjtest::RunCommand(Kjoin() + " probe --json " + inputs[0]);
    EXPECT_NE(probe.output.find("\"audioOnly\": true"), std::string::npos) << probe.output;
    EXPECT_NE(probe.output.find("\"kindText\": \"Real Media\""), std::string::npos) << probe.output;
    std::string out = File("r1_join.ra");
    kjtest::CommandResult r =
        kjtest::RunCommand(Kjoin() + " join -y " + inputs[0] + " " + inputs[1] + " 2>&1");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find(out), std::string::npos) << r.output;
    ExpectJoinedAudio(inputs, out, 0.002 + 0.032);
    EXPECT_NE(kjtest::RunCommand("gst-discoverer-1.0 " + out).output.find("Duration: 0:00:02"),
              std::string::npos);
}

}  // namespace
