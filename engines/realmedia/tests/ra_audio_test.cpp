// Real Media files of sound alone: byte-built RMF files with the cook (RealAudio 5) and sipr
// (RealAudio 4) layouts joined packet for packet, and bare RealAudio files (".ra\xfd": v3 with
// 14.4 frames and v4 with dnet frames, both made from ffmpeg's encoders) joined into one bare
// file. Judged by ffprobe, a full ffmpeg decode and gst-discoverer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "engines/realmedia/edit.h"
#include "engines/realmedia/ra_join.h"
#include "engines/realmedia/rmedit.h"
#include "engines/realmedia/tests/rm_bytes.h"
#include "engines/realmedia/tests/rm_test_support.h"

namespace {

using rmtest::BuildFile;
using rmtest::TestFile;
using rmtest::TestPacket;

// ffprobe's packet times of the first audio stream, without its complaints.
std::vector<double> PacketTimes(const std::string& path) {
    std::string text = kjtest::RunCommand(
                           "ffprobe -v quiet -of default=nw=1:nk=1 "
                           "-select_streams a:0 -show_entries packet=pts_time " +
                           kjtest::ShellQuote(path))
                           .output;
    std::vector<double> times;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line != "N/A") {
            times.push_back(std::strtod(line.c_str(), nullptr));
        }
    }
    return times;
}

double GstreamerSeconds(const std::string& path) {
    std::string text =
        kjtest::RunCommand("gst-discoverer-1.0 " + kjtest::ShellQuote(path) + " 2>&1").output;
    size_t at = text.find("Duration: ");
    if (at == std::string::npos) {
        return -1;
    }
    int h = 0;
    int m = 0;
    double s = 0;
    if (std::sscanf(text.c_str() + at + 10, "%d:%d:%lf", &h, &m, &s) != 3) {
        return -1;
    }
    return h * 3600.0 + m * 60.0 + s;
}

// RealAudio 4 header of a sipr stream (Build Engine 6.0): 16 kHz mono, flavor 3, h 6, w 320.
std::vector<uint8_t> SiprHeader(uint16_t sampleRate = 16000) {
    ByteWriter w;
    w.Text(".ra\xfd").BE16(4).BE16(0).Text(".ra4").BE32(0x10000).BE16(4);
    const size_t sizeAt = w.size();
    w.BE32(0).BE16(3).BE32(320).BE32(0).BE32(120000).BE32(0);
    w.BE16(6).BE16(320).BE16(0).BE16(0);
    w.BE16(sampleRate).BE16(0).BE16(16).BE16(1);
    w.U8(4).Text("sipr").U8(4).Text("sipr").Bytes("\x01\x02\x00", 3).BE32(0);
    w.PatchBE32(sizeAt, static_cast<uint32_t>(w.size() - 16));
    return w.bytes();
}

// An audio-only file of `blocks` interleave blocks of `h` packets of `w` bytes, every packet of
// a block at the block's start (as Real's encoders before RP 11 wrote them), only the first of
// a block a key packet.
TestFile AudioOnlyFile(std::vector<uint8_t> typeData, uint32_t blocks, uint32_t h, uint32_t w,
                       uint32_t blockMs, uint8_t seed) {
    TestFile f;
    f.streams = {{0, "Audio Stream", "audio/x-pn-realaudio", std::move(typeData), 0, blockMs},
                 {1, "", "logical-fileinfo", rmtest::LogicalFileInfo(), 0, 0}};
    for (uint32_t b = 0; b < blocks; ++b) {
        for (uint32_t k = 0; k < h; ++k) {
            TestPacket p{0, b * blockMs, k == 0, std::vector<uint8_t>(w)};
            for (size_t i = 0; i < p.payload.size(); ++i) {
                p.payload[i] = static_cast<uint8_t>(seed + b * 7 + k * 3 + i);
            }
            f.packets.push_back(std::move(p));
        }
    }
    f.duration = blocks * blockMs;
    f.streams[0].duration = f.duration;
    return f;
}

class RealAudio : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::string path = m_dir.File(name);
        EXPECT_TRUE(kjtest::WriteFileBytes(path, bytes));
        return path;
    }
    HRESULT Join(const std::vector<std::string>& inputs, const std::string& output,
                 std::string* text) {
        rm::Joiner joiner;
        return joiner.Join(inputs, output, nullptr, text);
    }
    kjtest::TempDir m_dir;
};

// The joined packets are the inputs' ones, unchanged, each input shifted by the ones before.
void ExpectPacketsJoined(const std::vector<std::string>& inputs, const std::string& output) {
    rmtest::ReadBack out = rmtest::ReadAll(output);
    ASSERT_TRUE(out.ok);
    size_t at = 0;
    uint32_t shift = 0;
    for (const std::string& input : inputs) {
        rmtest::ReadBack in = rmtest::ReadAll(input);
        ASSERT_TRUE(in.ok);
        uint32_t end = 0;
        for (const auto& p : in.packets) {
            ASSERT_LT(at, out.packets.size());
            const auto& q = out.packets[at++];
            EXPECT_EQ(q.timestamp, p.timestamp + shift);
            EXPECT_EQ(q.key, p.key);
            EXPECT_TRUE(std::equal(q.bytes.begin() + 12, q.bytes.end(), p.bytes.begin() + 12,
                                   p.bytes.end()));
            end = std::max(end, p.timestamp);
        }
        shift += std::max(end + 1, in.header.props.duration);
    }
    EXPECT_EQ(at, out.packets.size());
    // ffmpeg sees every packet too, the later inputs after the earlier ones.
    size_t ffmpegPackets = 0;
    for (const std::string& input : inputs) {
        ffmpegPackets += PacketTimes(input).size();
    }
    std::vector<double> times = PacketTimes(output);
    EXPECT_EQ(times.size(), ffmpegPackets);
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
}

TEST_F(RealAudio, AudioOnlyCookAndSiprFilesJoinPacketForPacket) {
    struct Case {
        const char* name;
        std::vector<uint8_t> header;
        uint32_t h, w, blockMs;
    };
    for (const Case& c : {Case{"cook", rmtest::CookHeader(), 16, 640, 1858},
                          Case{"sipr", SiprHeader(), 6, 320, 960}}) {
        SCOPED_TRACE(c.name);
        std::string a = Write(std::string(c.name) + "a.rm",
                              BuildFile(AudioOnlyFile(c.header, 3, c.h, c.w, c.blockMs, 1)));
        std::string b = Write(std::string(c.name) + "b.rm",
                              BuildFile(AudioOnlyFile(c.header, 2, c.h, c.w, c.blockMs, 50)));
        std::string d = Write(std::string(c.name) + "c.rm",
                              BuildFile(AudioOnlyFile(c.header, 4, c.h, c.w, c.blockMs, 90)));
        std::string out = m_dir.File(std::string(c.name) + "_join.rm");
        std::string text;
        ASSERT_EQ(Join({a, b, d}, out, &text), S_OK) << text;
        ExpectPacketsJoined({a, b, d}, out);
        rmtest::ReadBack back = rmtest::ReadAll(out);
        EXPECT_EQ(back.header.props.duration, 9 * c.blockMs);
    }
}

// RealAudio 5 header of an AAC stream (RealProducer 10 style): 44.1 kHz stereo, "vbrs", whose
// packets each hold whole access units and stand alone although its sub-packet height is 2.
std::vector<uint8_t> AacHeader() {
    ByteWriter w;
    w.Text(".ra\xfd").BE16(5).BE16(0).Text(".ra5").BE32(16).BE16(5);
    const size_t sizeAt = w.size();
    w.BE32(0).BE16(0).BE32(1).BE32(0).BE32(960000).BE32(0);
    w.BE16(2).BE16(1).BE16(1).BE16(0);
    w.BE32(44100).BE16(0).BE16(44100).BE16(0).BE16(16).BE16(2).Text("vbrs").Text("raac");
    w.Bytes("\x01\x07\x00\x00", 4).BE32(3).U8(2).Bytes("\x12\x10", 2);
    w.PatchBE32(sizeAt, static_cast<uint32_t>(w.size() - 16));
    return w.bytes();
}

// An AAC file of `packets` packets, each one access unit of 2048 samples (46 ms) behind its
// header of access-unit sizes, every packet a key packet.
TestFile AacFile(uint32_t packets, uint8_t seed) {
    TestFile f = AudioOnlyFile(AacHeader(), packets, 1, 0, 46, seed);
    for (TestPacket& p : f.packets) {
        ByteWriter w;
        const uint16_t unitBytes = 300 + p.timestamp % 71;
        w.BE16(0x10).BE16(static_cast<uint16_t>(unitBytes << 3));
        for (uint16_t i = 0; i < unitBytes; ++i) {
            w.U8(static_cast<uint8_t>(seed + p.timestamp + i));
        }
        p.payload = w.bytes();
    }
    return f;
}

// Streams whose packets stand alone (AAC, dnet) are not cut into blocks by their sub-packet
// height: every packet of every input is joined.
TEST_F(RealAudio, PacketsThatStandAloneAreAllJoined) {
    std::string a = Write("a.rm", BuildFile(AacFile(40, 3)));
    std::string b = Write("b.rm", BuildFile(AacFile(25, 9)));
    std::string out = m_dir.File("aac_join.rm");
    std::string text;
    ASSERT_EQ(Join({a, b, a}, out, &text), S_OK) << text;
    rmtest::ReadBack back = rmtest::ReadAll(out);
    ASSERT_EQ(back.packets.size(), 105u);
    size_t at = 0;
    for (const std::string& input : {a, b, a}) {
        for (const auto& p : rmtest::ReadAll(input).packets) {
            const auto& q = back.packets[at++];
            EXPECT_TRUE(q.key);
            EXPECT_TRUE(std::equal(q.bytes.begin() + 12, q.bytes.end(), p.bytes.begin() + 12,
                                   p.bytes.end()))
                << at;
        }
    }
}

TEST_F(RealAudio, AnotherAudioRateOrChannelCountIsRefusedWithTheMismatchText) {
    std::string a =
        Write("a.rm", BuildFile(AudioOnlyFile(rmtest::CookHeader(), 2, 16, 640, 1858, 1)));
    std::string rate =
        Write("r.rm", BuildFile(AudioOnlyFile(rmtest::CookHeader(22050), 2, 16, 640, 1858, 1)));
    std::string mono =
        Write("m.rm", BuildFile(AudioOnlyFile(rmtest::CookHeader(44100, 1), 2, 16, 640, 1858, 1)));
    std::string sipr = Write("s.rm", BuildFile(AudioOnlyFile(SiprHeader(), 2, 6, 320, 960, 1)));
    std::string out = m_dir.File("out.rm");
    for (const auto& [other, says] : std::vector<std::pair<std::string, std::string>>{
             {rate, "the audio sample rate is 22050 Hz, not 44100 Hz"},
             {mono, "the audio has 1 channels, not 2"},
             {sipr, "the audio codec is sipr, not cook"}}) {
        std::string text;
        EXPECT_EQ(Join({a, other}, out, &text), RMEDIT_E_AUDIO_MISMATCH) << text;
        EXPECT_EQ(text.rfind("The audio stream of the source files are mismatch", 0), 0u) << text;
        EXPECT_NE(text.find(says), std::string::npos) << text;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

// Bare files made from ffmpeg's own encoders: 14.4 frames in a version 3 header, AC-3 frames
// byte-swapped into dnet in a version 4 header (with the 1996 encoder's trailer after them).
class BareRealAudio : public RealAudio {
protected:
    void SetUp() override {
        if (!kjtest::HaveProgram("ffmpeg")) {
            GTEST_SKIP() << "ffmpeg is needed to make the fixtures";
        }
    }

    static void Text8(ByteWriter& w, const std::string& s) {
        w.U8(static_cast<uint8_t>(s.size())).Text(s);
    }

    // 14.4 frames: ffmpeg writes them into a RealMedia file, from which they are taken.
    std::vector<uint8_t> Frames144(double seconds, int frequency) {
        std::string rm = m_dir.File("f144.rm");
        std::string error;
        EXPECT_TRUE(kjtest::MakeWithFfmpeg(
            "-f lavfi -i sine=frequency=" + std::to_string(frequency) +
                ":sample_rate=8000:duration=" + std::to_string(seconds) + " -c:a real_144 -f rm",
            rm, &error))
            << error;
        rmtest::ReadBack back = rmtest::ReadAll(rm);
        std::vector<uint8_t> frames;
        for (const auto& p : back.packets) {
            frames.insert(frames.end(), p.bytes.begin() + 12, p.bytes.end());
        }
        return frames;
    }

    std::vector<uint8_t> Version3(const std::vector<uint8_t>& frames, const std::string& title) {
        ByteWriter body;
        body.BE16(1).BE16(0).BE16(rm::kRa3FrameBytes).BE16(0).BE16(60000);
        body.BE32(static_cast<uint32_t>(frames.size()));
        Text8(body, title);
        Text8(body, "author");
        Text8(body, "");
        Text8(body, "");
        body.U8(0);
        Text8(body, "lpcJ");
        ByteWriter w;
        w.Text(".ra\xfd").BE16(3).BE16(static_cast<uint16_t>(body.size()));
        w.Bytes(body.bytes().data(), body.size()).Bytes(frames.data(), frames.size());
        return w.bytes();
    }

    // AC-3 at 48 kHz and 192 kbit/s: frames of 768 bytes, 32 ms each.
    std::vector<uint8_t> DnetFrames(double seconds, int frequency, int channels) {
        std::string ac3 = m_dir.File("f.ac3");
        std::string error;
        EXPECT_TRUE(kjtest::MakeWithFfmpeg(
            "-f lavfi -i sine=frequency=" + std::to_string(frequency) +
                ":sample_rate=48000:duration=" + std::to_string(seconds) + " -ac " +
                std::to_string(channels) + " -c:a ac3 -b:a 192k -f ac3",
            ac3, &error))
            << error;
        std::vector<uint8_t> frames = kjtest::ReadFileBytes(ac3);
        for (size_t i = 0; i + 1 < frames.size(); i += 2) {
            std::swap(frames[i], frames[i + 1]);
        }
        return frames;
    }

    std::vector<uint8_t> Version4Dnet(const std::vector<uint8_t>& frames, const std::string& title,
                                      uint16_t channels, bool trailer) {
        const uint32_t frame = 768;
        ByteWriter w;
        w.Text(".ra\xfd").BE16(4).BE16(0).Text(".ra4").BE32(0x10000).BE16(4);
        const size_t sizeAt = w.size();
        w.BE32(0).BE16(5).BE32(frame).BE32(static_cast<uint32_t>(frames.size()));
        w.BE32(1440000).BE32(1440000).BE16(1).BE16(frame).BE16(0).BE16(0);
        w.BE16(48000).BE16(0).BE16(16).BE16(channels);
        Text8(w, "Int0");
        Text8(w, "dnet");
        w.Bytes("\x00\x03\x00", 3);
        Text8(w, title);
        Text8(w, "");
        Text8(w, "");
        Text8(w, "");
        w.PatchBE32(sizeAt, static_cast<uint32_t>(w.size() - 16));
        const size_t headerBytes = w.size();
        w.Bytes(frames.data(), frames.size());
        if (trailer) {
            w.Text("RaTC").BE32(16).Text(".ra4").BE32(8).Text("RaTC");
            w.BE32(static_cast<uint32_t>(headerBytes + frames.size()));
        }
        return w.bytes();
    }

    // Through the module's edit object, as the Real Media joiner drives it: the error text is
    // the one the edit object gives for the code.
    HRESULT JoinBare(const std::vector<std::string>& inputs, const std::string& output,
                     std::string* text) {
        auto* edit = new rm::Edit();
        EXPECT_EQ(edit->SetInputFile(inputs.front().c_str(), RMEDIT_FIRST_INPUT), S_OK);
        for (size_t i = 1; i < inputs.size(); ++i) {
            EXPECT_EQ(edit->AppendInputFile(inputs[i].c_str()), S_OK);
        }
        EXPECT_EQ(edit->SetOutputFile(output.c_str()), S_OK);
        HRESULT hr = edit->Run();
        char buffer[1024] = {};
        edit->GetErrorText(hr, buffer, sizeof buffer);
        *text = FAILED(hr) ? buffer : "";
        edit->Release();
        return hr;
    }
};

TEST_F(BareRealAudio, HeadersOfTheThreeVersionsAreRead) {
    std::vector<uint8_t> v3 = Version3(std::vector<uint8_t>(20 * 7 + 5, 0x11), "t");
    rm::BareRealAudio ra;
    std::string why;
    ASSERT_TRUE(rm::ParseBareRealAudio(ByteReader(v3), v3.size(), ra, &why)) << why;
    EXPECT_EQ(ra.format.fourcc, "lpcJ");
    EXPECT_EQ(ra.audioStart, v3.size() - 20 * 7 - 5);
    EXPECT_EQ(ra.audioBytes, 20u * 7);  // the part frame is left out

    std::vector<uint8_t> v4 = Version4Dnet(std::vector<uint8_t>(768 * 3), "a title", 2, true);
    ASSERT_TRUE(rm::ParseBareRealAudio(ByteReader(v4), v4.size(), ra, &why)) << why;
    EXPECT_EQ(ra.format.fourcc, "dnet");
    EXPECT_EQ(ra.format.channels, 2);
    EXPECT_EQ(ra.audioBytes, 768u * 3);  // the trailer is not audio
    EXPECT_EQ(ra.audioStart, 69u + 1 + 7 + 3);

    // A version 5 (cook) header, as in an RMF stream, with four empty strings after it.
    ByteWriter v5;
    std::vector<uint8_t> cook = rmtest::CookHeader();
    v5.Bytes(cook.data(), cook.size()).Bytes("\x00\x00\x00\x00\x00\x00\x00", 7);
    v5.PatchBE32(rm::kRaHeaderSize, static_cast<uint32_t>(v5.size() - 16));
    v5.Zeros(640 * 16 * 2);
    ASSERT_TRUE(rm::ParseBareRealAudio(ByteReader(v5.bytes()), v5.size(), ra, &why)) << why;
    EXPECT_EQ(ra.format.fourcc, "cook");
    EXPECT_EQ(ra.audioStart, cook.size() + 7);
    EXPECT_EQ(ra.audioBytes, 640u * 16 * 2);  // whole interleave blocks

    // Cut short, or nothing whole after the header.
    std::vector<uint8_t> cut(v4.begin(), v4.begin() + 60);
    EXPECT_FALSE(rm::ParseBareRealAudio(ByteReader(cut), cut.size(), ra, &why));
    std::vector<uint8_t> empty = Version4Dnet({}, "", 2, false);
    EXPECT_FALSE(rm::ParseBareRealAudio(ByteReader(empty), empty.size(), ra, &why));
    EXPECT_EQ(why, "it holds no whole audio frame");
}

TEST_F(BareRealAudio, Version3FilesJoinFrameForFrame) {
    std::vector<uint8_t> fa = Frames144(1.37, 440);
    std::vector<uint8_t> fb = Frames144(0.63, 660);
    std::string a = Write("a.ra", Version3(fa, "first"));
    std::string b = Write("b.ra", Version3(fb, "second, with a longer title"));
    std::string out = m_dir.File("a_join.ra");
    std::string text;
    ASSERT_EQ(JoinBare({a, b, a}, out, &text), S_OK) << text;
    std::vector<uint8_t> got = kjtest::ReadFileBytes(out);
    // The first header, with the sum of the audio bytes, then the frames in order.
    std::vector<uint8_t> want = Version3(fa, "first");
    want.insert(want.end(), fb.begin(), fb.end());
    want.insert(want.end(), fa.begin(), fa.end());
    ByteWriter patched;
    patched.Bytes(want.data(), want.size());
    patched.PatchBE32(rm::kRa3AudioBytes, static_cast<uint32_t>(2 * fa.size() + fb.size()));
    EXPECT_EQ(got, patched.bytes());
    EXPECT_EQ(kjtest::DecodeErrors(out), "");
    double seconds = (2.0 * fa.size() + fb.size()) / 20 * 0.020;
    EXPECT_NEAR(std::strtod(kjtest::Ffprobe(out, "format=duration").c_str(), nullptr), seconds,
                0.1);
    if (kjtest::HaveProgram("gst-discoverer-1.0")) {
        EXPECT_NEAR(GstreamerSeconds(out), seconds, 0.1);
    }
}

// A list longer than the files a process may hold open joins, Real Media and bare RealAudio
// alike: each input is open only while it is read.
TEST_F(BareRealAudio, ListsLongerThanTheOpenFileLimitJoin) {
    constexpr size_t kInputs = 60;
    constexpr rlim_t kDescriptors = 24;
    const std::string bare = Write("a.ra", Version3(Frames144(0.2, 440), "first"));
    const std::string media =
        Write("a.rm", BuildFile(AudioOnlyFile(SiprHeader(), 2, 6, 320, 960, 1)));
    for (const std::string& input : {bare, media}) {
        SCOPED_TRACE(input);
        const std::vector<std::string> inputs(kInputs, input);
        const std::string out = m_dir.File("many_join" + input.substr(input.size() - 3));
        EXPECT_TRUE(rmtest::SucceedsWithFewDescriptors(
            [&] {
                std::string text;
                return input == bare ? JoinBare(inputs, out, &text) : Join(inputs, out, &text);
            },
            kDescriptors));
        if (input == media) {
            EXPECT_EQ(rmtest::ReadAll(out).packets.size(),
                      kInputs * rmtest::ReadAll(input).packets.size());
        } else {
            const uint64_t head = Version3({}, "first").size();
            EXPECT_EQ(std::filesystem::file_size(out),
                      head + kInputs * (std::filesystem::file_size(input) - head));
        }
        EXPECT_EQ(kjtest::DecodeErrors(out), "");
    }
}

TEST_F(BareRealAudio, DnetFilesJoinFrameForFrameWithoutTheirTrailers) {
    std::vector<uint8_t> fa = DnetFrames(1.37, 440, 2);
    std::vector<uint8_t> fb = DnetFrames(0.9, 880, 2);
    std::string a = Write("a.ra", Version4Dnet(fa, "first", 2, true));
    std::string b = Write("b.ra", Version4Dnet(fb, "", 2, true));
    std::string out = m_dir.File("a_join.ra");
    std::string text;
    ASSERT_EQ(JoinBare({a, b}, out, &text), S_OK) << text;
    size_t framesA = fa.size() / 768;
    size_t framesB = fb.size() / 768;
    std::vector<double> times = PacketTimes(out);
    ASSERT_EQ(times.size(), framesA + framesB);
    // Frame n of the second input follows the first input's last frame by one frame.
    EXPECT_NEAR(times[framesA] - times[framesA - 1], 0.032, 0.002);
    EXPECT_EQ(kjtest::DecodeErrors(out), "");
    double seconds = static_cast<double>(framesA + framesB) * 0.032;
    EXPECT_NEAR(std::strtod(kjtest::Ffprobe(out, "format=duration").c_str(), nullptr), seconds,
                0.05);
    if (kjtest::HaveProgram("gst-discoverer-1.0")) {
        EXPECT_NEAR(GstreamerSeconds(out), seconds, 0.1);
    }
    std::vector<uint8_t> got = kjtest::ReadFileBytes(out);
    std::vector<uint8_t> header = Version4Dnet({}, "first", 2, false);
    ASSERT_GE(got.size(), header.size());
    EXPECT_EQ(got.size(), header.size() + fa.size() + fb.size());
    EXPECT_TRUE(std::equal(fb.begin(), fb.end(), got.end() - static_cast<ptrdiff_t>(fb.size())));
}

TEST_F(BareRealAudio, OtherAudioAndRealMediaFilesAreRefused) {
    std::vector<uint8_t> frames = DnetFrames(0.5, 440, 2);
    std::string a = Write("a.ra", Version4Dnet(frames, "first", 2, false));
    std::string mono = Write("m.ra", Version4Dnet(DnetFrames(0.5, 440, 1), "", 1, false));
    std::string v3 = Write("v3.ra", Version3(std::vector<uint8_t>(200, 1), ""));
    std::string rmf =
        Write("c.rm", BuildFile(AudioOnlyFile(rmtest::CookHeader(), 2, 16, 640, 1858, 1)));
    std::string out = m_dir.File("out.ra");
    for (const auto& [other, says] : std::vector<std::pair<std::string, std::string>>{
             {mono, "the audio has 1 channels, not 2"},
             {v3, "the audio codec is lpcJ, not dnet"},
             {rmf, "c.rm is a Real Media file, not a bare RealAudio file like a.ra"}}) {
        std::string text;
        EXPECT_EQ(JoinBare({a, other}, out, &text), RMEDIT_E_AUDIO_MISMATCH) << text;
        EXPECT_EQ(text.rfind("The audio stream of the source files are mismatch", 0), 0u) << text;
        EXPECT_NE(text.find(says), std::string::npos) << text;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
    // A Real Media file first: the bare file is named.
    std::string text;
    EXPECT_EQ(JoinBare({rmf, a}, out, &text), RMEDIT_E_AUDIO_MISMATCH);
    EXPECT_NE(text.find("a.ra is a bare RealAudio file, not a Real Media file like c.rm"),
              std::string::npos)
        << text;
}

}  // namespace
