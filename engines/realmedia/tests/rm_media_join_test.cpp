// Joins judged by readers that are not ours: files made by ffmpeg (rv10 and rv20 with ac3) and
// files from RealNetworks' encoders, checked with ffprobe, a full ffmpeg decode and GStreamer's
// rmdemux; and the module itself, loaded as the program loads it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "engines/realmedia/rm_codec.h"
#include "engines/realmedia/rm_video_payload.h"
#include "engines/realmedia/rmedit.h"
#include "engines/realmedia/tests/rm_test_support.h"
#include "tests/support/output_judge.h"

namespace {

// ffprobe's packet count of one stream (its messages left out).
int64_t Packets(const std::string& path, const char* stream) {
    kjtest::CommandResult r = kjtest::RunCommand(
        "ffprobe -v error -count_packets -of default=nw=1:nk=1 -select_streams " +
        std::string(stream) + " -show_entries stream=nb_read_packets " + kjtest::ShellQuote(path) +
        " 2>/dev/null | tail -n 1");
    return r.exitCode == 0 && !r.output.empty() ? std::atoll(r.output.c_str()) : -1;
}

double Seconds(const std::string& text) {
    return std::atof(text.c_str());
}

std::string SharedMedia(const char* name) {
    return std::string(KJ_SHARED_MEDIA_DIR) + "/realmedia/" + name;
}

class RmMediaJoin : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new kjtest::TempDir();
        // Durations that are not whole seconds, and two encodings.
        const std::string rv10 = "-c:v rv10 -c:a ac3 -b:a 64k -ar 44100 -ac 2";
        const std::string rv20 = "-c:v rv20 -c:a ac3 -b:a 64k -ar 44100 -ac 2";
        auto make = [](const std::string& src, double secs, const std::string& codecs,
                       const char* name) {
            std::string error;
            ASSERT_TRUE(kjtest::MakeWithFfmpeg(
                "-f lavfi -i " + src + "=size=176x144:rate=15 -f lavfi -i sine=frequency=440 -t " +
                    std::to_string(secs) + " " + codecs + " -g 15",
                s_dir->File(name), &error))
                << error;
        };
        make("testsrc", 1.7, rv10, "a10.rm");
        make("testsrc2", 2.3, rv10, "b10.rm");
        make("testsrc", 1.3, rv20, "a20.rm");
        make("testsrc2", 1.9, rv20, "b20.rm");
        make("smptebars", 1.1, rv20, "c20.rm");
        make("testsrc", 1.0, "-c:v rv10 -s 160x128 -c:a ac3 -b:a 64k -ar 44100 -ac 2", "small.rm");
        make("testsrc", 1.0, "-c:v rv10 -c:a ac3 -b:a 64k -ar 48000 -ac 2", "rate.rm");
    }
    static void TearDownTestSuite() { delete s_dir; }
    static std::string File(const char* name) { return s_dir->File(name); }
    static kjtest::TempDir* s_dir;
};
kjtest::TempDir* RmMediaJoin::s_dir = nullptr;

void ExpectWholeJoin(const std::vector<std::string>& inputs, const std::string& out) {
    for (const char* s : {"v:0", "a:0"}) {
        int64_t want = 0;
        for (const std::string& in : inputs) {
            want += Packets(in, s);
        }
        EXPECT_EQ(Packets(out, s), want) << s;
    }
    EXPECT_EQ(kjtest::DecodeErrors(out), "");
    EXPECT_EQ(kjtest::GstPlaybackFailure(out), "");
}

TEST_F(RmMediaJoin, TwoRv10FilesJoinWholeAndSeekIntoTheSecond) {
    const std::string out = File("j10.rm");
    rmtest::JoinResult r = rmtest::JoinFiles({File("a10.rm"), File("b10.rm")}, out);
    ASSERT_EQ(r.hr, S_OK) << r.text;
    ExpectWholeJoin({File("a10.rm"), File("b10.rm")}, out);
    const double da = Seconds(kjtest::Ffprobe(File("a10.rm"), "format=duration"));
    const double db = Seconds(kjtest::Ffprobe(File("b10.rm"), "format=duration"));
    const double dj = Seconds(kjtest::Ffprobe(out, "format=duration"));
    EXPECT_NEAR(dj, da + db, 0.15) << da << " + " << db;
    EXPECT_EQ(kjtest::Ffprobe(out, "stream=codec_name"),
              kjtest::Ffprobe(File("a10.rm"), "stream=codec_name"));

    // A seek into the second input: the index points ffmpeg at the seam's key frame.
    const double seam = r.plan.starts[1] / 1000.0;
    kjtest::CommandResult seek = kjtest::RunCommand(
        "ffprobe -v error -select_streams v:0 -read_intervals " + std::to_string(seam + 0.4) +
        "%+#1 -show_entries packet=pts_time,flags -of csv=p=0 " + kjtest::ShellQuote(out));
    ASSERT_EQ(seek.exitCode, 0) << seek.output;
    const double landed = Seconds(seek.output);
    EXPECT_GE(landed, seam - 0.001) << seek.output;
    EXPECT_LE(landed, seam + 0.5) << seek.output;
    EXPECT_NE(seek.output.find('K'), std::string::npos) << seek.output;
}

TEST_F(RmMediaJoin, ThreeRv20FilesJoinWhole) {
    const std::vector<std::string> inputs = {File("a20.rm"), File("b20.rm"), File("c20.rm")};
    const std::string out = File("j20.rm");
    rmtest::JoinResult r = rmtest::JoinFiles(inputs, out);
    ASSERT_EQ(r.hr, S_OK) << r.text;
    ExpectWholeJoin(inputs, out);
    double sum = 0;
    for (const std::string& in : inputs) {
        sum += Seconds(kjtest::Ffprobe(in, "format=duration"));
    }
    EXPECT_NEAR(Seconds(kjtest::Ffprobe(out, "format=duration")), sum, 0.2);
    // Frame times never go back across the seams.
    kjtest::CommandResult times = kjtest::RunCommand(
        "ffprobe -v error -select_streams v:0 -show_entries packet=pts -of csv=p=0 " +
        kjtest::ShellQuote(out));
    std::istringstream lines(times.output);
    long previous = -1;
    long pts = 0;
    int n = 0;
    while (lines >> pts) {
        EXPECT_GT(pts, previous) << "packet " << n;
        previous = pts;
        ++n;
    }
    EXPECT_GT(n, 50);
}

TEST_F(RmMediaJoin, RefusesAnotherPictureSizeOrAudioRate) {
    rmtest::JoinResult size = rmtest::JoinFiles({File("a10.rm"), File("small.rm")}, File("x.rm"));
    EXPECT_EQ(size.hr, RMEDIT_E_VIDEO_MISMATCH);
    EXPECT_NE(size.text.find("160x128, not 176x144"), std::string::npos) << size.text;
    rmtest::JoinResult rate = rmtest::JoinFiles({File("a10.rm"), File("rate.rm")}, File("x.rm"));
    EXPECT_EQ(rate.hr, RMEDIT_E_AUDIO_MISMATCH);
    EXPECT_NE(rate.text.find("48000 Hz, not 44100 Hz"), std::string::npos) << rate.text;
    EXPECT_FALSE(std::filesystem::exists(File("x.rm")));
}

TEST_F(RmMediaJoin, RealEncoderFilesSurviveAJoinPacketForPacket) {
    for (const char* name :
         {"rv40-cook-640x480-2008.rv", "cook-realevent-2000.rm", "rv10-dnet-176x144-1997.rm"}) {
        const std::string in = SharedMedia(name);
        if (!std::filesystem::exists(in)) {
            GTEST_SKIP() << "../shared/media is absent: " << in;
        }
        const std::string out = File((std::string("twice-") + name).c_str());
        rmtest::JoinResult r = rmtest::JoinFiles({in, in}, out);
        ASSERT_EQ(r.hr, S_OK) << name << ": " << r.text;
        rmtest::ReadBack ri = rmtest::ReadAll(in);
        rmtest::ReadBack ro = rmtest::ReadAll(out);
        ASSERT_EQ(ro.packets.size(), 2 * ri.packets.size()) << name;
        ASSERT_EQ(ro.header.streams.size(), ri.header.streams.size());
        for (size_t s = 0; s < ri.header.streams.size(); ++s) {
            EXPECT_EQ(ro.header.streams[s].mime, ri.header.streams[s].mime);
            EXPECT_EQ(ro.header.streams[s].typeData, ri.header.streams[s].typeData) << name;
        }
        int packed = 0;
        for (size_t i = 0; i < ro.packets.size(); ++i) {
            const auto& src = ri.packets[i % ri.packets.size()];
            const auto& o = ro.packets[i];
            const int64_t shift = i < ri.packets.size() ? 0 : r.plan.shifts[1];
            ASSERT_EQ(o.timestamp, src.timestamp + shift) << name << " packet " << i;
            ASSERT_EQ(o.key, src.key);
            // Packed RV10 frames carry their own times, shifted like the packet's; all else is
            // unchanged.
            std::vector<uint8_t> want(src.bytes.begin() + 12, src.bytes.end());
            std::vector<uint8_t> shifted;
            if (ri.header.Stream(src.stream)->IsVideo() &&
                rm::ShiftPackedFrameTimes(want.data(), want.size(), shift, shifted)) {
                want = shifted;
                ++packed;
            }
            ASSERT_EQ(std::vector<uint8_t>(o.bytes.begin() + 12, o.bytes.end()), want)
                << name << " packet " << i;
        }
        // Other readers: every packet of every stream, a clean decode, GStreamer to the end.
        for (const char* s : {"v:0", "a:0"}) {
            int64_t want = Packets(in, s);
            EXPECT_EQ(Packets(out, s), want < 0 ? -1 : 2 * want) << name << " " << s;
        }
        EXPECT_EQ(kjtest::DecodeErrors(out), "") << name;
        EXPECT_EQ(kjtest::GstPlaybackFailure(out), "") << name;
        const double din = Seconds(kjtest::Ffprobe(in, "format=duration"));
        EXPECT_NEAR(Seconds(kjtest::Ffprobe(out, "format=duration")), r.plan.duration / 1000.0,
                    0.01);
        EXPECT_GE(r.plan.duration / 1000.0, 2 * din - 0.5) << name;
        if (std::string(name).find("rv10") == 0) {
            EXPECT_GT(packed, 0) << "the 1997 file packs small frames";
        }
    }
}

// Two encodings that differ only in their video bit rate (ffmpeg's -b:v): the header fields
// that tell it are no decoder's business, so the files join packet for packet, and the joined
// header says the larger rate.
TEST_F(RmMediaJoin, FilesThatDifferOnlyInBitRateJoinPacketForPacket) {
    const std::string slow = File("rate100.rm");
    const std::string fast = File("rate300.rm");
    for (const auto& [path, rate] : {std::pair{slow, "100k"}, std::pair{fast, "300k"}}) {
        ASSERT_TRUE(kjtest::MakeWithFfmpeg(
            std::string("-f lavfi -i testsrc=size=176x144:rate=15 -f lavfi -i sine -t 1.5 -c:v "
                        "rv20 -b:v ") +
                rate + " -c:a ac3 -b:a 64k -ar 44100 -ac 2 -g 15",
            path));
    }
    rmtest::ReadBack a = rmtest::ReadAll(slow);
    rmtest::ReadBack b = rmtest::ReadAll(fast);
    ASSERT_NE(a.header.Stream(0)->maxBitRate, b.header.Stream(0)->maxBitRate);
    const std::string out = File("rates.rm");
    rmtest::JoinResult r = rmtest::JoinFiles({slow, fast}, out);
    ASSERT_EQ(r.hr, S_OK) << r.text;
    for (const char* s : {"v:0", "a:0"}) {
        std::vector<std::string> want;
        for (const std::string& in : {slow, fast}) {
            for (const kjtest::ProbedPacket& p : kjtest::ProbePackets(in, s)) {
                want.push_back(p.md5);
            }
        }
        std::vector<std::string> got;
        for (const kjtest::ProbedPacket& p : kjtest::ProbePackets(out, s)) {
            got.push_back(p.md5);
        }
        EXPECT_EQ(got, want) << s;
    }
    rmtest::ReadBack o = rmtest::ReadAll(out);
    EXPECT_EQ(o.header.Stream(0)->maxBitRate,
              std::max(a.header.Stream(0)->maxBitRate, b.header.Stream(0)->maxBitRate));
    EXPECT_EQ(kjtest::DecodeErrors(out), "");
}

// The module as the program loads it: two exports, an edit object with its interfaces.
TEST_F(RmMediaJoin, TheRv40CookJoinKeepsWholeCookBlocksAndPlaysInGStreamerEveryTime) {
    const std::string in = SharedMedia("rv40-cook-640x480-2008.rv");
    if (!std::filesystem::exists(in)) {
        GTEST_SKIP() << "../shared/media is absent: " << in;
    }
    const std::string out = File("rv40-cook-twice.rv");
    rmtest::JoinResult r = rmtest::JoinFiles({in, in}, out);
    ASSERT_EQ(r.hr, S_OK) << r.text;
    rmtest::ReadBack o = rmtest::ReadAll(out);
    ASSERT_TRUE(o.ok);
    uint16_t cook = 0;
    uint16_t height = 0;
    for (const rm::MediaProperties& m : o.header.streams) {
        rm::AudioFormat f;
        if (m.IsAudio() && rm::ParseAudioFormat(m.typeData, f)) {
            cook = m.stream;
            height = f.subPacketHeight;
        }
    }
    ASSERT_GT(height, 1);
    // Interleave blocks of sub-packet-height packets, each opened by a key packet, on both
    // sides of the seam; the second input's audio opens with a key packet.
    int inBlock = 0;
    int blocks = 0;
    bool seamKey = false;
    bool seamSeen = false;
    for (const auto& p : o.packets) {
        if (p.stream != cook) {
            continue;
        }
        if (!seamSeen && p.timestamp >= r.plan.starts[1]) {
            seamSeen = true;
            seamKey = p.key;
            EXPECT_EQ(inBlock, 0) << "the first input's last block is not whole";
        }
        EXPECT_EQ(p.key, inBlock == 0) << "packet at " << p.timestamp;
        blocks += inBlock == 0;
        inBlock = (inBlock + 1) % height;
    }
    EXPECT_TRUE(seamKey);
    EXPECT_EQ(inBlock, 0);
    EXPECT_EQ(blocks, 18);
    // Played to the end ten times, both branches decoded and linked: with a branch left
    // unlinked, often the cook one, GStreamer's audio decoder stops on frames left over at the
    // end now and then, for the input as for the join.
    for (int run = 0; run < 10; ++run) {
        ASSERT_EQ(kjtest::GstPlaybackFailure(out), "") << "run " << run;
    }
}

TEST(RmModule, ExportsTheTwoEntryPointsAndAnEditObject) {
    const std::string path = kjtest::BinDir() + "/producer/tools/librmto3260.so";
    kjtest::CommandResult symbols =
        kjtest::RunCommand("nm -D --defined-only " + kjtest::ShellQuote(path) +
                           " | awk '$2 ~ /^[TDBVW]$/ {print $3}'");
    ASSERT_EQ(symbols.exitCode, 0) << symbols.output;
    std::istringstream lines(symbols.output);
    std::vector<std::string> names;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.rfind('_', 0) != 0) {
            names.push_back(line);
        }
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"RMACreateRMEdit", "SetDLLAccessPath"}));

    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto create = reinterpret_cast<RMACreateRMEditFn>(dlsym(handle, "RMACreateRMEdit"));
    ASSERT_NE(create, nullptr);
    IUnknown* created = nullptr;
    ASSERT_EQ(create(&created), S_OK);
    IRMAEdit* edit = nullptr;
    IRMAEdit2* second = nullptr;
    IRMAEditProgressAdvise* advise = nullptr;
    void* none = nullptr;
    EXPECT_EQ(created->QueryInterface(IID_IRMAEdit, reinterpret_cast<void**>(&edit)), S_OK);
    EXPECT_EQ(created->QueryInterface(IID_IRMAEdit2, reinterpret_cast<void**>(&second)), S_OK);
    EXPECT_EQ(
        created->QueryInterface(IID_IRMAEditProgressAdvise, reinterpret_cast<void**>(&advise)),
        S_OK);
    EXPECT_EQ(created->QueryInterface(IID_IRMAEditProgressSink, &none), E_NOINTERFACE);
    ASSERT_TRUE(edit && second && advise);
    EXPECT_EQ(edit->SetInputFile("/nonexistent/a.rm", RMEDIT_FIRST_INPUT), S_OK);
    EXPECT_EQ(edit->AppendInputFile("/nonexistent/b.rm"), S_OK);
    EXPECT_EQ(second->GetInputCount(), 2u);
    EXPECT_EQ(edit->SetOutputFile("/nonexistent/out.rm"), S_OK);
    HRESULT hr = edit->Run();
    EXPECT_EQ(hr, RMEDIT_E_BAD_FILE);
    char text[1024] = {};
    EXPECT_EQ(edit->GetErrorText(hr, text, sizeof text), S_OK);
    EXPECT_STREQ(text, "Cannot open a.rm: No such file or directory.");
    EXPECT_EQ(edit->GetErrorText(RMEDIT_E_VIDEO_MISMATCH, text, sizeof text), S_OK);
    EXPECT_STREQ(text, "The video stream of the source files are mismatch");
    EXPECT_EQ(edit->GetErrorText(MakeHresult(0x80001234u), text, sizeof text), S_OK);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(edit->GetErrorText(hr, text, 6), S_OK);
    EXPECT_STREQ(text, "Canno");
    advise->Release();
    second->Release();
    edit->Release();
    EXPECT_EQ(created->Release(), 0u);
    dlclose(handle);
}

}  // namespace
