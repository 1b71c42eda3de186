// `kjoin check` on generated sets, the refusal that names every odd file, and the join's account
// of where each input starts, checked against ffprobe's view of the output.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <sstream>

#include "engines/asf/asf_format.h"
#include "engines/asf/asf_header_parser.h"
#include "platform/bytes.h"
#include "tests/support/kjoin_output.h"
#include "tests/support/media_fixtures.h"

namespace {

std::string Kjoin() {
    return kjtest::ShellQuote(kjtest::BinDir() + "/kjoin");
}

kjtest::CommandResult RunKjoin(const std::string& args) {
    return kjtest::RunCommand(Kjoin() + " " + args);
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

// The presentation times ffprobe gives the packets of the output's first video stream, in
// file order.
std::vector<double> VideoPacketTimes(const std::string& path) {
    kjtest::CommandResult r = kjtest::RunCommand(
        "ffprobe -v error -select_streams v:0 -show_entries packet=pts_time -of csv=p=0 " +
        kjtest::ShellQuote(path));
    std::vector<double> times;
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line != "N/A") {
            times.push_back(std::stod(line));
        }
    }
    return times;
}

// An AVI file's first stream header with its scale and rate rewritten (the same frame rate
// written as another fraction, which ffmpeg never writes itself).
bool RewriteAviRate(const std::string& from, const std::string& to, uint32_t scale, uint32_t rate) {
    std::vector<uint8_t> bytes = kjtest::ReadFileBytes(from);
    static const uint8_t kStrh[] = {'s', 't', 'r', 'h'};
    ByteReader reader(bytes);
    for (size_t at = 0; at + 40 < bytes.size(); ++at) {
        if (reader.Matches(at, kStrh, 4) && reader.Matches(at + 8, "vids")) {
            constexpr size_t kScale = 8 + 20;  // after the chunk head: dwScale, then dwRate
            for (int i = 0; i < 4; ++i) {
                bytes[at + kScale + i] = static_cast<uint8_t>(scale >> (8 * i));
                bytes[at + kScale + 4 + i] = static_cast<uint8_t>(rate >> (8 * i));
            }
            return kjtest::WriteFileBytes(to, bytes);
        }
    }
    return false;
}

// A copy of a WMV file with bytes of its audio stream's WAVEFORMATEX (and the codec data
// after it) replaced from `at` on.
bool EditAudioFormat(const std::string& from, const std::string& to, size_t at,
                     const std::vector<uint8_t>& with) {
    std::vector<uint8_t> bytes = kjtest::ReadFileBytes(from);
    uint8_t properties[16];
    uint8_t audio[16];
    GuidToBytes(asf::kStreamProperties, properties);
    GuidToBytes(asf::kAudioMedia, audio);
    ByteReader reader(bytes);
    for (size_t i = 0; reader.Has(i, asf::streamprops::kTypeSpecificData + at + with.size()); ++i) {
        if (reader.Matches(i, properties, 16) &&
            reader.Matches(i + asf::streamprops::kStreamType, audio, 16)) {
            std::copy(
                with.begin(), with.end(),
                bytes.begin() + static_cast<long>(i + asf::streamprops::kTypeSpecificData + at));
            return kjtest::WriteFileBytes(to, bytes);
        }
    }
    return false;
}

class KjoinCheck : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new kjtest::TempDir();
        auto make = [](const std::string& size, int rate, int audioRate, double seconds,
                       const std::string& codecs, const std::string& name) {
            std::string source = "-f lavfi -i testsrc=size=" + size +
                                 ":rate=" + std::to_string(rate) +
                                 " -f lavfi -i sine=r=" + std::to_string(audioRate) + " -t " +
                                 std::to_string(seconds) + " -ac 2 " + codecs;
            ASSERT_TRUE(kjtest::MakeWithFfmpeg(source, s_dir->File(name))) << name;
        };
        const std::string wmv = "-c:v wmv2 -c:a wmav2";
        make("320x240", 25, 44100, 2, wmv, "a.wmv");
        make("320x240", 25, 44100, 3, wmv, "b.wmv");
        make("640x480", 25, 44100, 2, wmv, "w2big.wmv");
        make("320x240", 25, 22050, 2, wmv, "low.wmv");
        make("320x240", 30, 44100, 2, wmv, "fast.wmv");
        make("320x240", 25, 44100, 2, wmv + " -b:v 300k", "v300k.wmv");
        make("320x240", 25, 44100, 3, wmv + " -b:v 1000k", "v1000k.wmv");
        make("320x240", 25, 44100, 2, wmv + " -b:a 64k", "a64k.wmv");
        // MP3 sound, which nothing here encodes: odd files of such a list cannot be encoded to
        // match, and the join refuses them.
        const std::string mp3 = "-c:v wmv2 -c:a libmp3lame";
        make("320x240", 25, 44100, 2, mp3, "m.wmv");
        make("640x480", 25, 44100, 2, mp3, "mbig.wmv");
        make("320x240", 25, 22050, 2, mp3, "mlow.wmv");
        // WMA 2 codec data follows the WAVEFORMATEX: samples per block, encoder options, super
        // block size. The super block size is written as the block size of the packets here.
        ASSERT_TRUE(EditAudioFormat(File("b.wmv"), File("superblock.wmv"), 18 + 6,
                                    {0xE7, 0x02, 0x00, 0x00}));
        ASSERT_TRUE(EditAudioFormat(File("b.wmv"), File("options.wmv"), 18 + 4, {0x03, 0x00}));
        // 160 kbit/s stated for the same 128 kbit/s stream.
        ASSERT_TRUE(
            EditAudioFormat(File("b.wmv"), File("avgbytes.wmv"), 8, {0x20, 0x4E, 0x00, 0x00}));
        const std::string rm = "-c:v rv20 -c:a ac3";
        make("176x144", 25, 44100, 2, rm, "r1.rm");
        make("176x144", 25, 44100, 3, rm, "r2.rm");
        make("176x144", 25, 44100, 2, rm + " -b:a 96k", "r96k.rm");
        const std::string avi = "-c:v mpeg4 -c:a libmp3lame";
        make("320x240", 25, 44100, 2, avi, "v1.avi");
        make("320x240", 25, 44100, 3, avi, "v2.avi");
        make("352x288", 25, 22050, 2, avi, "v3.avi");
        make("320x240", 30, 44100, 2, avi, "v30.avi");
        ASSERT_TRUE(RewriteAviRate(s_dir->File("v2.avi"), s_dir->File("v2_50_2.avi"), 2, 50));
    }
    static void TearDownTestSuite() { delete s_dir; }
    static std::string File(const char* name) { return s_dir->File(name); }
    static std::string Files(std::initializer_list<const char*> names) {
        std::string list;
        for (const char* name : names) {
            list += " " + kjtest::ShellQuote(File(name));
        }
        return list;
    }

    static kjtest::TempDir* s_dir;
};
kjtest::TempDir* KjoinCheck::s_dir = nullptr;

TEST_F(KjoinCheck, MatchingWindowsMediaFilesJoinLosslessly) {
    kjtest::CommandResult r = RunKjoin("check" + Files({"a.wmv", "b.wmv"}));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output, "A join would copy every packet of the 2 files as it is (lossless).\n");
}

TEST_F(KjoinCheck, NamesEveryOddFileAndFieldAtOnceAndWhatWouldBeEncoded) {
    kjtest::CommandResult r = RunKjoin("check" + Files({"a.wmv", "w2big.wmv", "b.wmv", "low.wmv"}));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output,
              "w2big.wmv: picture size 640x480, the first file has 320x240\n"
              "low.wmv: sample rate 22050 Hz, the first file has 44100 Hz\n"
              "A join would copy 2 of the 4 files as they are and encode w2big.wmv and low.wmv "
              "to match the first file's format.\n");

    kjtest::CommandResult json =
        RunKjoin("check --json" + Files({"a.wmv", "w2big.wmv", "b.wmv", "low.wmv"}));
    EXPECT_EQ(json.exitCode, 0);
    QJsonObject o = kjtest::JsonOf(json.output);
    EXPECT_EQ(o["outcome"].toString(), "reencode");
    EXPECT_TRUE(o["joinable"].toBool());
    EXPECT_EQ(o["encode_inputs"].toArray(), (QJsonArray{1, 3})) << json.output;
    QJsonArray differences = o["differences"].toArray();
    ASSERT_EQ(differences.size(), 2) << json.output;
    EXPECT_EQ(differences[0].toObject()["input"].toInt(), 1);
    EXPECT_EQ(differences[0].toObject()["field"].toString(), "picture size");
    EXPECT_EQ(differences[0].toObject()["value"].toString(), "640x480");
    EXPECT_EQ(differences[0].toObject()["first"].toString(), "320x240");
    EXPECT_FALSE(differences[0].toObject()["refuses"].toBool());
    EXPECT_EQ(differences[1].toObject()["input"].toInt(), 3);
    EXPECT_EQ(differences[1].toObject()["field"].toString(), "sample rate");

    // Where the first file's sound cannot be encoded, the same differences refuse, each file
    // with the reason.
    kjtest::CommandResult refused = RunKjoin("check --json" + Files({"m.wmv", "mbig.wmv"}));
    EXPECT_EQ(refused.exitCode, 1);
    QJsonObject no = kjtest::JsonOf(refused.output);
    EXPECT_EQ(no["outcome"].toString(), "refused");
    ASSERT_EQ(no["not_encoded"].toArray().size(), 1) << refused.output;
    EXPECT_EQ(no["not_encoded"].toArray()[0].toObject()["reason"].toString(),
              "the first file's sound is MP3 (MPEG audio layer 3), which cannot be encoded here");
}

TEST_F(KjoinCheck, WhatTheWindowsMediaJoinComparesBeyondTheNamedFieldsIsNamedToo) {
    // WMV2 keeps its frame rate in its codec data, which the join's media types compare.
    kjtest::CommandResult r = RunKjoin("check" + Files({"a.wmv", "fast.wmv", "b.wmv"}));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output.rfind("fast.wmv: video codec data ", 0), 0u) << r.output;
    EXPECT_NE(r.output.find(", the first file has "), std::string::npos);
    EXPECT_NE(r.output.find("\nA join would copy 2 of the 3 files as they are and encode fast.wmv "
                            "to match the first file's format.\n"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(Count(r.output, "\n"), 2u) << r.output;
    // And the join encodes the same file.
    kjtest::CommandResult join = RunKjoin("join -y -o " + kjtest::ShellQuote(File("fast_j.wmv")) +
                                          Files({"a.wmv", "fast.wmv"}) + " 2>&1");
    EXPECT_EQ(join.exitCode, 0) << join.output;
    EXPECT_NE(join.output.find("kjoin: 1 copied, 1 encoded to match the first file."),
              std::string::npos)
        << join.output;
}

TEST_F(KjoinCheck, WindowsMediaFieldsNoDecoderReadsAreNotCompared) {
    // WMV2 at 300 and 1000 kbit/s: the bit rate is only a hint in the codec data.
    kjtest::CommandResult rates = RunKjoin("check --json" + Files({"v300k.wmv", "v1000k.wmv"}));
    EXPECT_EQ(rates.exitCode, 0) << rates.output;
    EXPECT_EQ(kjtest::JsonOf(rates.output)["outcome"].toString(), "lossless") << rates.output;
    // A codec data word the WMA decoder does not read.
    kjtest::CommandResult words = RunKjoin("check --json" + Files({"a.wmv", "superblock.wmv"}));
    EXPECT_EQ(words.exitCode, 0) << words.output;
    EXPECT_EQ(kjtest::JsonOf(words.output)["outcome"].toString(), "lossless") << words.output;

    // The encoder options it reads: here they say the frames use a bit reservoir, which they
    // do not, so the file's sound does not even decode and cannot be encoded to match.
    kjtest::CommandResult options = RunKjoin("check" + Files({"a.wmv", "options.wmv"}));
    EXPECT_EQ(options.exitCode, 1);
    EXPECT_EQ(options.output,
              "options.wmv: audio codec data (encoder options, which the decoder reads) 03 00, "
              "the first file has 01 00\n"
              "options.wmv cannot be encoded here to match the first file: its sound cannot be "
              "decoded: Operation not permitted. Convert it to the first file's format, or join "
              "it in a list of its own.\n"
              "A join would be refused: 1 of 2 files differ from the first.\n");
    // The WMA bit rate, from which the decoder sets its coding (64 kbit/s also packs other
    // blocks): named, and such a file encoded to match.
    kjtest::CommandResult avg = RunKjoin("check" + Files({"a.wmv", "avgbytes.wmv"}));
    EXPECT_EQ(avg.output.rfind("avgbytes.wmv: audio bit rate (the decoder sets its coding from "
                               "it) 160 kbps, the first file has 128 kbps\n",
                               0),
              0u)
        << avg.output;
    kjtest::CommandResult low = RunKjoin("check" + Files({"a.wmv", "a64k.wmv"}));
    EXPECT_EQ(low.exitCode, 0);
    EXPECT_NE(low.output.find("a64k.wmv: audio bit rate (the decoder sets its coding from it) 64 "
                              "kbps, the first file has 128 kbps\nA join would copy 1 of the 2 "
                              "files as they are and encode a64k.wmv to match the first file's "
                              "format.\n"),
              std::string::npos)
        << low.output;
    // The join encodes what the check says it would, and the output decodes cleanly.
    std::string out = File("a64k_j.wmv");
    kjtest::CommandResult join =
        RunKjoin("join -y -o " + kjtest::ShellQuote(out) + Files({"a.wmv", "a64k.wmv"}) + " 2>&1");
    EXPECT_EQ(join.exitCode, 0) << join.output;
    EXPECT_EQ(kjtest::DecodeErrors(out), "");
    // And refuses what it says it would refuse, naming the same field.
    kjtest::CommandResult refused =
        RunKjoin("join -y -o " + kjtest::ShellQuote(File("options_j.wmv")) +
                 Files({"a.wmv", "options.wmv"}) + " 2>&1");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.output.find("kjoin: options.wmv: audio codec data (encoder options"),
              std::string::npos)
        << refused.output;
}

TEST_F(KjoinCheck, OtherKindsAndRealMediaStreams) {
    kjtest::CommandResult mixed = RunKjoin("check" + Files({"a.wmv", "v1.avi", "r1.rm"}));
    EXPECT_EQ(mixed.exitCode, 1);
    EXPECT_NE(mixed.output.find("v1.avi: kind AVI, the first file has WMV/ASF"), std::string::npos)
        << mixed.output;
    EXPECT_NE(mixed.output.find("r1.rm: kind Real Media, the first file has WMV/ASF"),
              std::string::npos);

    EXPECT_EQ(RunKjoin("check" + Files({"r1.rm", "r2.rm"})).exitCode, 0);
    // The audio's bit rate setting is in its codec header, which the Real Media join compares.
    kjtest::CommandResult rate = RunKjoin("check" + Files({"r1.rm", "r96k.rm"}));
    EXPECT_EQ(rate.exitCode, 0);
    EXPECT_NE(rate.output.find("r96k.rm: audio settings: the audio bit rate setting (flavor"),
              std::string::npos)
        << rate.output;
    kjtest::CommandResult odd = RunKjoin("check" + Files({"r1.rm", "a.wmv"}));
    EXPECT_EQ(odd.exitCode, 1);
}

TEST_F(KjoinCheck, AviSetsThatReencodeAreJoinable) {
    kjtest::CommandResult same = RunKjoin("check --json" + Files({"v1.avi", "v2.avi"}));
    EXPECT_EQ(same.exitCode, 0) << same.output;
    QJsonObject o = kjtest::JsonOf(same.output);
    EXPECT_EQ(o["outcome"].toString(), "lossless");
    EXPECT_TRUE(o["copy_video"].toBool());
    EXPECT_TRUE(o["copy_audio"].toBool());

    kjtest::CommandResult other = RunKjoin("check" + Files({"v1.avi", "v3.avi", "v2.avi"}));
    EXPECT_EQ(other.exitCode, 0) << other.output;
    EXPECT_NE(other.output.find("v3.avi: picture size 352x288, the first file has 320x240\n"),
              std::string::npos)
        << other.output;
    EXPECT_NE(other.output.find("v3.avi: sample rate 22050 Hz, the first file has 44100 Hz\n"),
              std::string::npos);
    // Only the odd file is encoded; the two alike ones are copied.
    EXPECT_NE(other.output.find("A join would copy 2 of the 3 files as they are and encode "
                                "v3.avi to match the first file's format."),
              std::string::npos)
        << other.output;
    QJsonObject odd =
        kjtest::JsonOf(RunKjoin("check --json" + Files({"v1.avi", "v3.avi", "v2.avi"})).output);
    EXPECT_EQ(odd["encode_inputs"].toArray(), QJsonArray({1}));
    EXPECT_EQ(
        kjtest::JsonOf(RunKjoin("check --json" + Files({"v1.avi", "v3.avi"})).output)["outcome"]
            .toString(),
        "reencode");
}

// An AVI's further audio tracks are copied only where every file holds them alike: the check
// says when one is encoded instead, and does not call such a join lossless.
TEST_F(KjoinCheck, AviFurtherAudioTracksThatDifferAreSaidToBeEncoded) {
    auto make = [](int secondRate, const char* name) {
        return kjtest::MakeWithFfmpeg(
            "-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=r=44100 -f lavfi -i "
            "sine=f=660:r=" +
                std::to_string(secondRate) +
                " -t 2 -map 0 -map 1 -map 2 -c:v mpeg4 -c:a:0 libmp3lame -c:a:1 pcm_s16le",
            File(name));
    };
    ASSERT_TRUE(make(22050, "t1.avi"));
    ASSERT_TRUE(make(22050, "t2.avi"));
    ASSERT_TRUE(make(44100, "t3.avi"));
    QJsonObject alike =
        kjtest::JsonOf(RunKjoin("check --json" + Files({"t1.avi", "t2.avi"})).output);
    EXPECT_EQ(alike["outcome"].toString(), "lossless");
    EXPECT_FALSE(alike.contains("encoded_audio_tracks"));

    kjtest::CommandResult other = RunKjoin("check" + Files({"t1.avi", "t3.avi"}));
    EXPECT_EQ(other.exitCode, 0) << other.output;
    EXPECT_NE(other.output.find("A join would re-encode the 2 files (video copied, audio copied, "
                                "1 further audio track re-encoded) into the first file's format."),
              std::string::npos)
        << other.output;
    QJsonObject odd = kjtest::JsonOf(RunKjoin("check --json" + Files({"t1.avi", "t3.avi"})).output);
    EXPECT_EQ(odd["outcome"].toString(), "reencode");
    EXPECT_EQ(odd["encoded_audio_tracks"].toInt(), 1);
}

TEST_F(KjoinCheck, FrameRatesCompareAsReducedFractions) {
    // 50/2 is 25/1: no line, and the video is still copied.
    kjtest::CommandResult fraction = RunKjoin("check --json" + Files({"v1.avi", "v2_50_2.avi"}));
    EXPECT_EQ(fraction.exitCode, 0);
    QJsonObject o = kjtest::JsonOf(fraction.output);
    EXPECT_EQ(o["differences"].toArray().size(), 0) << fraction.output;
    EXPECT_TRUE(o["copy_video"].toBool()) << fraction.output;

    kjtest::CommandResult faster = RunKjoin("check" + Files({"v1.avi", "v30.avi"}));
    EXPECT_EQ(faster.exitCode, 0);
    EXPECT_NE(faster.output.find("v30.avi: frame rate 30 fps, the first file has 25 fps"),
              std::string::npos)
        << faster.output;
}

TEST_F(KjoinCheck, RefusedJoinGivesTheDesignedTextThenEveryOddFile) {
    kjtest::CommandResult r = RunKjoin("join -y -o " + kjtest::ShellQuote(File("out.wmv")) +
                                       Files({"m.wmv", "mbig.wmv", "mlow.wmv"}) + " 2>&1");
    EXPECT_EQ(r.exitCode, 1);
    size_t designed = r.output.find("File No.2's profile mismatch with the first one");
    size_t big = r.output.find("kjoin: mbig.wmv: picture size 640x480, the first file has 320x240");
    size_t low =
        r.output.find("kjoin: mlow.wmv: sample rate 22050 Hz, the first file has 44100 Hz");
    ASSERT_NE(designed, std::string::npos) << r.output;
    ASSERT_NE(big, std::string::npos) << r.output;
    ASSERT_NE(low, std::string::npos) << r.output;
    EXPECT_LT(designed, big);
    EXPECT_LT(big, low);
    // And what the user can do about each: nothing here encodes the first file's sound.
    size_t advice = r.output.find(
        "kjoin: mbig.wmv cannot be encoded here to match the first file: the first file's sound "
        "is MP3 (MPEG audio layer 3), which cannot be encoded here. Convert it to the first "
        "file's format, or join it in a list of its own.");
    EXPECT_NE(advice, std::string::npos) << r.output;
    EXPECT_NE(r.output.find("kjoin: mlow.wmv cannot be encoded here to match the first file"),
              std::string::npos)
        << r.output;
    EXPECT_LT(low, advice);

    // The designed checks of the list refuse before any engine: mixed kinds.
    kjtest::CommandResult mixed = RunKjoin("join -y -o " + kjtest::ShellQuote(File("out.wmv")) +
                                           Files({"a.wmv", "v1.avi"}) + " 2>&1");
    EXPECT_EQ(mixed.exitCode, 1);
    EXPECT_NE(mixed.output.find("kjoin: v1.avi: kind AVI, the first file has WMV/ASF"),
              std::string::npos)
        << mixed.output;
}

// Joins the files with --json and checks every input's start against the output's video packets:
// input i's first video packet follows those of the inputs before it, and ffprobe must put it,
// less where the input's own first video packet is, within one frame of the start kjoin gave.
void ExpectStartsMatchFfprobe(const std::vector<std::string>& inputs, const std::string& output,
                              double frameSeconds) {
    std::string args = "join --json -y -o " + kjtest::ShellQuote(output);
    for (const std::string& input : inputs) {
        args += " " + kjtest::ShellQuote(input);
    }
    kjtest::CommandResult r = kjtest::RunCommand(Kjoin() + " " + args + " 2>/dev/null");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    QJsonObject o = kjtest::JsonOf(r.output);
    EXPECT_EQ(o["output"].toString().toStdString(), output);
    QJsonArray reported = o["inputs"].toArray();
    ASSERT_EQ(reported.size(), static_cast<int>(inputs.size())) << r.output;
    std::vector<double> times = VideoPacketTimes(output);
    size_t firstPacket = 0;
    double durations = 0;
    for (size_t i = 0; i < inputs.size(); ++i) {
        QJsonObject in = reported[static_cast<int>(i)].toObject();
        EXPECT_EQ(in["path"].toString().toStdString(), inputs[i]);
        EXPECT_TRUE(in["warnings"].isArray());
        ASSERT_TRUE(in["start"].isDouble()) << r.output;
        ASSERT_LT(firstPacket, times.size());
        std::vector<double> own = VideoPacketTimes(inputs[i]);
        ASSERT_FALSE(own.empty());
        EXPECT_NEAR(in["start"].toDouble(), times[firstPacket] - own.front(), frameSeconds + 1e-3)
            << inputs[i] << " in " << r.output;
        durations += in["duration"].toDouble();
        firstPacket += static_cast<size_t>(kjtest::CountPackets(inputs[i], "v:0"));
    }
    double total = std::stod(kjtest::Ffprobe(output, "format=duration"));
    EXPECT_NEAR(durations, total, 0.2) << r.output;
}

TEST_F(KjoinCheck, JoinJsonStartsAgreeWithFfprobeForWindowsMedia) {
    ExpectStartsMatchFfprobe({File("a.wmv"), File("b.wmv"), File("a.wmv")}, File("abj.wmv"), 0.04);
}

TEST_F(KjoinCheck, JoinJsonStartsAgreeWithFfprobeForRealMedia) {
    ExpectStartsMatchFfprobe({File("r1.rm"), File("r2.rm")}, File("rj.rm"), 0.04);
}

TEST_F(KjoinCheck, JoinJsonStartsAgreeWithFfprobeForAvi) {
    ExpectStartsMatchFfprobe({File("v1.avi"), File("v2.avi")}, File("vj.avi"), 0.04);
    // Encoded again (another size and rate in the list), the inputs still land where they are said
    // to.
    std::string out = File("vj3.avi");
    kjtest::CommandResult r = RunKjoin("join --json -y -o " + kjtest::ShellQuote(out) +
                                       Files({"v1.avi", "v3.avi"}) + " 2>/dev/null");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    QJsonArray inputs = kjtest::JsonOf(r.output)["inputs"].toArray();
    ASSERT_EQ(inputs.size(), 2);
    EXPECT_NEAR(inputs[0].toObject()["start"].toDouble(), 0.0, 0.04);
    // The first input lasts its index entries, the empty one ffmpeg writes after the first
    // picture included.
    double firstLength =
        std::stod(kjtest::Ffprobe(File("v1.avi"), "stream=nb_frames", "v:0")) / 25.0;
    EXPECT_NEAR(inputs[1].toObject()["start"].toDouble(), firstLength, 0.02);
    std::vector<double> times = VideoPacketTimes(out);
    size_t second = static_cast<size_t>(kjtest::CountPackets(File("v1.avi"), "v:0"));
    ASSERT_LT(second, times.size());
    EXPECT_NEAR(times[second], inputs[1].toObject()["start"].toDouble(), 0.041);
}

TEST_F(KjoinCheck, OnATerminalTheJoinTellsWhereEachInputStarts) {
    if (!kjtest::HaveProgram("script")) {
        GTEST_SKIP() << "script(1) is needed to give kjoin a terminal";
    }
    std::string out = File("terminal.wmv");
    std::string line = Kjoin() + " join -y -o " + kjtest::ShellQuote(out) +
                       Files({"a.wmv", "b.wmv"}) + " 2>/dev/null";
    kjtest::CommandResult r =
        kjtest::RunCommand("script -qec " + kjtest::ShellQuote(line) + " /dev/null");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("Where each input starts:"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("  0:00.000  a.wmv"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("  0:02.0"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(out), std::string::npos);
    // Not on a terminal: the path alone, as scripts read it.
    kjtest::CommandResult piped = RunKjoin("join -y -o " + kjtest::ShellQuote(out) +
                                           Files({"a.wmv", "b.wmv"}) + " 2>/dev/null");
    EXPECT_EQ(piped.output.find("Where each input starts"), std::string::npos) << piped.output;
    EXPECT_NE(piped.output.find(out + "\n"), std::string::npos);
}

TEST_F(KjoinCheck, MarkersAtEachInputReadBackByOurReaderAndFfprobe) {
    std::string out = File("marked.wmv");
    kjtest::CommandResult r =
        RunKjoin("join --json --mark-inputs -y -o " + kjtest::ShellQuote(out) +
                 Files({"a.wmv", "b.wmv"}) + " 2>/dev/null");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    QJsonArray inputs = kjtest::JsonOf(r.output)["inputs"].toArray();
    ASSERT_EQ(inputs.size(), 2);

    std::vector<uint8_t> bytes = kjtest::ReadFileBytes(out);
    ByteReader file(bytes);
    asf::Header header;
    ASSERT_EQ(asf::ParseHeaderObject(file.Sub(0, static_cast<size_t>(file.LE64(16))), &header),
              S_OK);
    ASSERT_EQ(header.metadata.markers.size(), 2u);
    EXPECT_EQ(header.metadata.markers[0].name, u"a.wmv");
    EXPECT_EQ(header.metadata.markers[1].name, u"b.wmv");
    EXPECT_NEAR(header.metadata.markers[1].time / 1e7, inputs[1].toObject()["start"].toDouble(),
                1e-3);

    kjtest::CommandResult chapters = kjtest::RunCommand(
        "ffprobe -v error -show_entries chapter=start_time:chapter_tags=title -of csv=p=0 " +
        kjtest::ShellQuote(out));
    EXPECT_NE(chapters.output.find("a.wmv"), std::string::npos) << chapters.output;
    EXPECT_NE(chapters.output.find("b.wmv"), std::string::npos) << chapters.output;
    EXPECT_EQ(Count(chapters.output, "\n"), 2u) << chapters.output;

    // Without the option the header gets no marker of ours.
    std::string plain = File("plain.wmv");
    ASSERT_EQ(RunKjoin("join -y -o " + kjtest::ShellQuote(plain) + Files({"a.wmv", "b.wmv"}) +
                       " 2>/dev/null")
                  .exitCode,
              0);
    EXPECT_EQ(kjtest::RunCommand("ffprobe -v error -show_entries chapter=start_time -of csv=p=0 " +
                                 kjtest::ShellQuote(plain))
                  .output,
              "");
}

}  // namespace
