// Inputs as people have them: files that stop early (a download cut off at 70 %), capture AVIs
// whose index repeats pictures with empty entries, and pictures a decoder had to make up. Each
// joined output must decode cleanly, last as long as what was joined, and the library must say
// per input what it left out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <regex>
#include <set>
#include <sstream>

#include "engines/conversion/ffmpeg_log.h"
#include "engines/conversion/tests/join_judge.h"
#include "engines/conversion/tests/mcl_module.h"
#include "tests/support/media_fixtures.h"

namespace {

using kjtest::ConvertOutput;
using kjtest::ConvertRun;
using kjtest::DecodeErrors;
using kjtest::StreamEntry;
using kjtest::TempDir;

constexpr int32_t kDx50 = 0x30355844;  // "DX50", lowest byte first
constexpr int32_t kMpegCodec1 = 1;

double Number(const std::string& text) {
    return std::atof(text.c_str());
}

double FormatDuration(const std::string& path) {
    return Number(kjtest::Ffprobe(path, "format=duration"));
}

// The first `percent` of `from`'s bytes written to `to`, as a download that stopped.
bool CutAt(const std::string& from, const std::string& to, int percent) {
    std::vector<uint8_t> bytes = kjtest::ReadFileBytes(from);
    if (bytes.empty()) {
        return false;
    }
    bytes.resize(bytes.size() * static_cast<size_t>(percent) / 100);
    return kjtest::WriteFileBytes(to, bytes);
}

// The seconds of "NAME is cut short: its first X s[ of Y s] were joined." (X, Y; Y 0 if absent),
// or nothing when the text has no such sentence for `name`.
bool ParseCutShort(const std::string& text, const std::string& name, double* joined,
                   double* whole) {
    std::regex sentence(std::regex_replace(name, std::regex(R"([.])"), R"(\.)") +
                        R"( is cut short: its first ([0-9]+\.[0-9]) s(?: of ([0-9]+\.[0-9]) s)? )"
                        R"(were joined\.)");
    std::smatch match;
    if (!std::regex_search(text, match, sentence)) {
        return false;
    }
    *joined = Number(match[1].str());
    *whole = match[2].matched ? Number(match[2].str()) : 0.0;
    return true;
}

// Average luma of every decoded picture of `path`, in order.
std::vector<double> PictureLuma(const std::string& path) {
    kjtest::CommandResult run = kjtest::RunCommand(
        "ffprobe -v error -f lavfi -i " + kjtest::ShellQuote("movie=" + path + ",signalstats") +
        " -show_entries frame_tags=lavfi.signalstats.YAVG -of csv=p=0");
    std::vector<double> luma;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty()) {
            luma.push_back(Number(line));
        }
    }
    return luma;
}

class DamagedInputs : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_module.Loaded()) {
            GTEST_SKIP() << "libzivuvore.so was not built next to the tests";
        }
    }

    std::string Make(const std::string& name, const std::string& args) {
        std::string path = m_dir.File(name);
        std::string error;
        EXPECT_TRUE(kjtest::MakeWithFfmpeg(args, path, &error)) << error;
        return path;
    }

    // A 6-second test card with a tone, in `codecArgs`, and its first 70 %.
    std::string MakeCut(const std::string& name, const std::string& codecArgs, std::string* whole) {
        *whole = Make("whole-" + name,
                      "-f lavfi -i testsrc=size=352x288:rate=25:duration=6 -f lavfi -i "
                      "sine=frequency=440:duration=6 " +
                          codecArgs);
        std::string cut = m_dir.File(name);
        EXPECT_TRUE(CutAt(*whole, cut, 70));
        return cut;
    }

    ConvertRun Join(const std::vector<std::string>& inputs, const std::string& output,
                    const ConvertOutput& settings) {
        ConvertRun run = kjtest::Convert(m_module, inputs, output, settings);
        EXPECT_EQ(run.result, 0) << run.errorText;
        EXPECT_EQ(run.inputWarnings.size(), inputs.size());
        run.inputWarnings.resize(inputs.size());
        return run;
    }

    static ConvertOutput Avi352() {
        ConvertOutput out;
        out.selector = 6;
        out.codec = kDx50;
        out.frameRate = 25.0;
        return out;
    }

    // The cut AVI told as cut short, with a joined length near what its whole pictures last and
    // the whole length its header gives.
    static void ExpectCutAviTold(const std::string& warning, double wholeSeconds) {
        double joined = 0;
        double whole = 0;
        ASSERT_TRUE(ParseCutShort(warning, "cut.avi", &joined, &whole)) << warning;
        EXPECT_NEAR(whole, wholeSeconds, 0.1);
        EXPECT_GT(joined, 0.5 * wholeSeconds);
        EXPECT_LT(joined, 0.8 * wholeSeconds);
    }

    kjtest::MclModule m_module;
    TempDir m_dir;
};

TEST_F(DamagedInputs, ACutAviIsCopiedUpToItsLastWholePacketAndToldPerInput) {
    std::string whole;
    std::string cut =
        MakeCut("cut.avi", "-c:v mpeg4 -vtag DX50 -c:a libmp3lame -ac 2 -ar 44100 -f avi", &whole);
    std::string out = m_dir.File("out.avi");
    ConvertRun run = Join({cut, cut}, out, Avi352());
    EXPECT_EQ(DecodeErrors(out), "");
    // Copied, both streams: the partial last packets are not in the output.
    EXPECT_EQ(StreamEntry(out, "v:0", "codec_name"), "mpeg4");
    double joined = 0;
    double ignored = 0;
    ASSERT_TRUE(ParseCutShort(run.inputWarnings[0], "cut.avi", &joined, &ignored));
    ExpectCutAviTold(run.inputWarnings[0], 6.0);
    EXPECT_EQ(run.inputWarnings[1], run.inputWarnings[0]);
    // The output lasts what was joined, its header says so too, and the second input starts
    // right after the first one's last whole picture.
    EXPECT_NEAR(FormatDuration(out), 2 * joined, 0.1);
    EXPECT_NEAR(Number(StreamEntry(out, "v:0", "duration")), 2 * joined, 0.1);
    EXPECT_EQ(run.progress.back().status, 0);
    EXPECT_EQ(run.progress.back().frame, run.totalFrames);
}

// A download that stopped inside an audio chunk: what is left of that MP3 frame comes out of
// FFmpeg's parser at the very end, unmarked. Copied, it would be a frame without its end, which a
// reader takes the next input's frames into.
TEST_F(DamagedInputs, ACutInsideAnAudioFrameEndsTheCopiedAudioAtTheFrameBefore) {
    std::string whole = Make("whole.avi",
                             "-f lavfi -i testsrc=size=352x288:rate=25:duration=6 -f lavfi -i "
                             "sine=frequency=440:duration=6 -c:v mpeg4 -vtag DX50 -c:a libmp3lame "
                             "-ac 1 -b:a 64k -f avi");
    std::vector<uint8_t> bytes = kjtest::ReadFileBytes(whole);
    ASSERT_FALSE(bytes.empty());
    // The first audio packet past 70 % of the file, cut in its middle.
    size_t cutAt = 0;
    std::istringstream packets(kjtest::RunCommand("ffprobe -v error -select_streams a:0 "
                                                  "-show_entries packet=pos,size -of csv=p=0 " +
                                                  kjtest::ShellQuote(whole))
                                   .output);
    for (std::string line; cutAt == 0 && std::getline(packets, line);) {
        size_t comma = line.find(',');
        if (comma == std::string::npos) {
            continue;
        }
        double size = Number(line.substr(0, comma));
        double pos = Number(line.substr(comma + 1));
        if (pos > 0.7 * static_cast<double>(bytes.size())) {
            cutAt = static_cast<size_t>(pos + size / 2);
        }
    }
    ASSERT_GT(cutAt, 0u);
    ASSERT_LT(cutAt, bytes.size());
    bytes.resize(cutAt);
    std::string cut = m_dir.File("cut.avi");
    ASSERT_TRUE(kjtest::WriteFileBytes(cut, bytes));
    std::vector<std::string> own = kjtest::PacketHashes(cut, "a:0");
    ASSERT_GE(own.size(), 2u);
    // What ffmpeg reads last of the cut file is the remainder; the rest are whole frames.
    std::string remainder = own.back();
    own.pop_back();

    std::string out = m_dir.File("out.avi");
    ConvertRun run = Join({cut, cut}, out, Avi352());
    EXPECT_EQ(StreamEntry(out, "a:0", "codec_name"), "mp3");
    EXPECT_EQ(DecodeErrors(out), "");
    ExpectCutAviTold(run.inputWarnings[0], 6.0);
    // Every audio packet of the output is one of the input's whole frames, or the one frame of
    // silence that fills where the cut took the sound from under the last pictures.
    std::vector<std::string> copied = kjtest::PacketHashes(out, "a:0");
    EXPECT_GT(copied.size(), own.size());
    std::set<std::string> fillers;
    for (const std::string& hash : copied) {
        EXPECT_NE(hash, remainder);
        if (std::find(own.begin(), own.end(), hash) == own.end()) {
            fillers.insert(hash);
        }
    }
    EXPECT_LE(fillers.size(), 1u);
}

TEST_F(DamagedInputs, ACutAviIsReencodedUpToItsLastWholePicture) {
    std::string whole;
    std::string cut = MakeCut("cut.avi", "-c:v mpeg4 -vtag DX50 -c:a libmp3lame -f avi", &whole);
    std::string other = Make("other.avi",
                             "-f lavfi -i testsrc=size=320x240:rate=15:duration=2 -c:v msmpeg4v2 "
                             "-f avi");
    std::string out = m_dir.File("out.avi");
    ConvertRun run = Join({cut, other}, out, Avi352());
    EXPECT_EQ(DecodeErrors(out), "");
    ExpectCutAviTold(run.inputWarnings[0], 6.0);
    EXPECT_EQ(run.inputWarnings[1], "");
    double joined = 0;
    double ignored = 0;
    ASSERT_TRUE(ParseCutShort(run.inputWarnings[0], "cut.avi", &joined, &ignored));
    EXPECT_NEAR(FormatDuration(out), joined + 2.0, 0.1);
}

TEST_F(DamagedInputs, ACutMpegIsReencodedWithoutItsPartialLastPicture) {
    std::string whole;
    std::string cut = MakeCut("cut.mpg", "-target pal-vcd", &whole);
    // Another size makes the join re-encode.
    std::string other = Make("other.mpg",
                             "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -c:v mpeg1video "
                             "-f mpeg");
    std::string out = m_dir.File("out.mpg");
    ConvertOutput settings;
    settings.codec = kMpegCodec1;
    ConvertRun run = Join({cut, other}, out, settings);
    EXPECT_EQ(DecodeErrors(out), "");
    double joined = 0;
    double wholeSeconds = 0;
    ASSERT_TRUE(ParseCutShort(run.inputWarnings[0], "cut.mpg", &joined, &wholeSeconds))
        << run.inputWarnings[0];
    EXPECT_GT(joined, 3.0);
    EXPECT_LT(joined, 5.0);
    EXPECT_EQ(run.inputWarnings[1], "");
    EXPECT_NEAR(FormatDuration(out), joined + 2.0, 0.12);
    // The whole file is not cut short: nothing is said, nothing is left out.
    ConvertRun again = Join({whole, other}, m_dir.File("whole.mpg"), settings);
    EXPECT_EQ(again.inputWarnings[0], "");
    EXPECT_NEAR(FormatDuration(m_dir.File("whole.mpg")), 8.0, 0.12);
}

// A capture AVI: 15 fps, every seventh picture kept, the others left as empty index entries.
class SparseAvi : public DamagedInputs {
protected:
    std::string MakeSparse(const std::string& name) {
        std::string path =
            Make(name,
                 "-f lavfi -i color=c=black:size=160x120:rate=15:duration=4 -vf "
                 "\"geq=lum='4*N':cb=128:cr=128,select=not(mod(n\\,7))\" -fps_mode passthrough "
                 "-c:v mpeg4 -vtag XVID -q:v 2 -f avi");
        // ffmpeg wrote the empty entries: many more entries than pictures.
        EXPECT_GT(std::atoll(StreamEntry(path, "v:0", "nb_frames").c_str()),
                  5 * kjtest::CountPackets(path, "v:0"));
        return path;
    }
    static double Entries(const std::string& path) {
        return Number(StreamEntry(path, "v:0", "nb_frames"));
    }
};

TEST_F(SparseAvi, ACopyJoinKeepsEveryInputsEmptyEntriesAndLength) {
    std::string a = MakeSparse("a.avi");
    std::string out = m_dir.File("out.avi");
    ConvertOutput settings = Avi352();
    settings.codec = 0x44495658;  // "XVID"
    settings.frameRate = 15.0;
    settings.width = 160;
    settings.height = 120;
    ConvertRun run = Join({a, a, a}, out, settings);
    EXPECT_EQ(DecodeErrors(out), "");
    double entries = Entries(a);
    // Pictures copied, the empty entries kept: three whole lengths.
    EXPECT_EQ(kjtest::CountPackets(out, "v:0"), 3 * kjtest::CountPackets(a, "v:0"));
    EXPECT_NEAR(Entries(out), 3 * entries, 1.5);
    EXPECT_NEAR(FormatDuration(out), 3 * entries / 15.0, 2.0 / 15.0);
    // A list without sound stays without.
    EXPECT_EQ(StreamEntry(out, "a:0", "codec_name"), "");
    EXPECT_EQ(run.totalFrames, static_cast<int32_t>(3 * entries));
    for (const std::string& warning : run.inputWarnings) {
        EXPECT_EQ(warning, "");
    }
}

// `bytes` (an AVI that ffmpeg wrote) with `count` more empty video entries at the end of its
// index, counted in its headers, as a capture program leaves them after its last picture.
bool AddTrailingEmptyEntries(std::vector<uint8_t>* bytes, uint32_t count) {
    auto find = [&](const char* id, bool last) {
        std::string text(bytes->begin(), bytes->end());
        size_t at = last ? text.rfind(id) : text.find(id);
        return at == std::string::npos ? size_t{0} : at;
    };
    auto le32 = [&](size_t at) {
        return static_cast<uint32_t>((*bytes)[at]) | static_cast<uint32_t>((*bytes)[at + 1]) << 8 |
               static_cast<uint32_t>((*bytes)[at + 2]) << 16 |
               static_cast<uint32_t>((*bytes)[at + 3]) << 24;
    };
    auto put32 = [&](size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            (*bytes)[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
        }
    };
    size_t strh = find("strh", false);
    size_t avih = find("avih", false);
    size_t index = find("idx1", true);
    if (strh == 0 || avih == 0 || index == 0 || bytes->size() < index + 8) {
        return false;
    }
    put32(strh + 8 + 32, le32(strh + 8 + 32) + count);  // the stream's length in frames
    put32(avih + 8 + 16, le32(avih + 8 + 16) + count);  // the file's total frames
    uint32_t indexSize = le32(index + 4);
    std::vector<uint8_t> entry = {'0', '0', 'd', 'c', 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0};
    for (uint32_t i = 0; i < count; ++i) {
        bytes->insert(bytes->begin() + static_cast<ptrdiff_t>(index + 8 + indexSize), entry.begin(),
                      entry.end());
    }
    put32(index + 4, indexSize + 16 * count);
    put32(4, le32(4) + 16 * count);
    return true;
}

TEST_F(SparseAvi, EmptyEntriesAfterTheLastPictureAreFramesToo) {
    std::string made = MakeSparse("made.avi");
    std::vector<uint8_t> bytes = kjtest::ReadFileBytes(made);
    ASSERT_TRUE(AddTrailingEmptyEntries(&bytes, 5));
    std::string a = m_dir.File("a.avi");
    ASSERT_TRUE(kjtest::WriteFileBytes(a, bytes));
    double entries = Entries(a);
    ASSERT_EQ(entries, Entries(made) + 5);
    std::string out = m_dir.File("out.avi");
    ConvertOutput settings = Avi352();
    settings.codec = 0x44495658;  // "XVID"
    settings.frameRate = 15.0;
    settings.width = 160;
    settings.height = 120;
    ConvertRun run = Join({a, a}, out, settings);
    EXPECT_EQ(run.totalFrames, static_cast<int32_t>(2 * entries));
    EXPECT_EQ(DecodeErrors(out), "");
    EXPECT_NEAR(Entries(out), 2 * entries, 1.5);
    EXPECT_NEAR(FormatDuration(out), 2 * entries / 15.0, 2.0 / 15.0);
    // Cut short, the file's header can no longer be believed: what is there is joined.
    std::string cut = m_dir.File("cut.avi");
    ASSERT_TRUE(CutAt(a, cut, 70));
    ConvertRun cutRun = Join({cut, a}, m_dir.File("out2.avi"), settings);
    double joined = 0;
    double whole = 0;
    ASSERT_TRUE(ParseCutShort(cutRun.inputWarnings[0], "cut.avi", &joined, &whole))
        << cutRun.inputWarnings[0];
    EXPECT_NEAR(whole, entries / 15.0, 0.1);
    EXPECT_NEAR(FormatDuration(m_dir.File("out2.avi")), joined + entries / 15.0, 2.0 / 15.0);
}

TEST_F(SparseAvi, ReencodedEachEmptyEntryRepeatsThePictureBefore) {
    std::string a = MakeSparse("a.avi");
    std::string other = Make("other.avi",
                             "-f lavfi -i color=c=white:size=160x120:rate=15:duration=1 -c:v "
                             "msmpeg4v2 -f avi");
    std::string out = m_dir.File("out.avi");
    ConvertOutput settings = Avi352();
    settings.frameRate = 15.0;
    // Another size than the inputs' (the same shape): every input is encoded.
    settings.width = 176;
    settings.height = 132;
    Join({a, a, other}, out, settings);
    EXPECT_EQ(DecodeErrors(out), "");
    double entries = Entries(a);
    EXPECT_NEAR(FormatDuration(out), 2 * entries / 15.0 + 1.0, 2.0 / 15.0);
    EXPECT_EQ(StreamEntry(out, "a:0", "codec_name"), "");  // no sound in, none out
    // Frame k of each input shows its picture 7 * floor(k / 7), whose luma was 4 times its
    // number.
    std::vector<double> luma = PictureLuma(out);
    ASSERT_GE(luma.size(), static_cast<size_t>(2 * entries));
    auto n = static_cast<size_t>(entries);
    for (size_t k : {size_t{3}, size_t{10}, size_t{30}, size_t{50}, n + 10, n + 40}) {
        size_t inInput = k % n;
        double expected = 4.0 * static_cast<double>(inInput / 7 * 7);
        EXPECT_NEAR(luma[k], expected, 8.0) << "frame " << k;
    }
}

TEST_F(SparseAvi, PicturesReorderedByBFramesKeepTheirPlaces) {
    // No empty entry, but B pictures: the decoder's times start a frame late.
    std::string a = Make("a.avi",
                         "-f lavfi -i color=c=black:size=160x120:rate=15:duration=4 -vf "
                         "\"geq=lum='4*N':cb=128:cr=128\" -c:v mpeg4 -bf 2 -q:v 2 -vtag XVID "
                         "-f avi");
    std::string other = Make("other.avi",
                             "-f lavfi -i color=c=white:size=160x120:rate=15:duration=1 -c:v "
                             "msmpeg4v2 -f avi");
    std::string out = m_dir.File("out.avi");
    ConvertOutput settings = Avi352();
    settings.frameRate = 15.0;
    settings.width = 160;
    settings.height = 120;
    Join({a, other}, out, settings);
    std::vector<double> luma = PictureLuma(out);
    ASSERT_GE(luma.size(), 60u);
    for (size_t k : {size_t{0}, size_t{1}, size_t{2}, size_t{30}, size_t{58}, size_t{59}}) {
        EXPECT_NEAR(luma[k], 4.0 * static_cast<double>(k), 3.0) << "frame " << k;
    }
}

TEST_F(DamagedInputs, DamagedPicturesAreLeftOutAndCounted) {
    std::string clean = Make("clean.avi",
                             "-f lavfi -i testsrc=size=352x288:rate=25:duration=4 -c:v mpeg4 "
                             "-vtag DX50 -g 300 -f avi");
    std::vector<uint8_t> bytes = kjtest::ReadFileBytes(clean);
    ASSERT_GT(bytes.size(), 20000u);
    // Noise in the middle of the data: the decoder has to make up what it covers.
    kjtest::Scramble(bytes, bytes.size() / 2, bytes.size() / 2 + 4096, 12345);
    std::string noisy = m_dir.File("noisy.avi");
    ASSERT_TRUE(kjtest::WriteFileBytes(noisy, bytes));
    std::string other = Make("other.avi",
                             "-f lavfi -i testsrc=size=320x240:rate=25:duration=1 -c:v msmpeg4v2 "
                             "-f avi");
    std::string out = m_dir.File("out.avi");
    // The whole list is encoded when its first file cannot be copied: the other file leads.
    ConvertRun run = Join({other, noisy}, out, Avi352());
    EXPECT_EQ(DecodeErrors(out), "");
    ASSERT_EQ(run.inputWarnings.size(), 2u);
    EXPECT_TRUE(std::regex_search(run.inputWarnings[1],
                                  std::regex(R"(^noisy\.avi: [0-9]+ damaged frames? (was|were) )"
                                             R"(skipped\.\n$)")))
        << run.inputWarnings[1];
    // The damaged pictures' places are still there: the length is all the inputs' frames.
    EXPECT_NEAR(FormatDuration(out), run.totalFrames / 25.0, 0.05);
}

TEST(FfmpegLog, CountsCutPacketsOfTheWatchedInputOnlyAndKeepsTheLastError) {
    int demuxer = 0;
    int other = 0;
    const char* corrupt = "Packet corrupt (stream = %d, dts = %s).\n";
    {
        InputLogWatch watch(&demuxer);
        NoteFfmpegLine(&demuxer, 24, corrupt, "Packet corrupt (stream = 0, dts = 265).\n");
        NoteFfmpegLine(&other, 24, corrupt, "Packet corrupt (stream = 0, dts = 3).\n");
        NoteFfmpegLine(&demuxer, 24, "Stream #%d: not enough frames\n", "Stream #0: ...\n");
        EXPECT_EQ(watch.TruncatedPackets(), 1);
        InputLogWatch second(&demuxer);
        NoteFfmpegLine(&demuxer, 24, corrupt, "Packet corrupt (stream = 1, dts = NOPTS).\n");
        EXPECT_EQ(watch.TruncatedPackets(), 2);
        EXPECT_EQ(second.TruncatedPackets(), 1);
    }
    // A line after the watch has gone reaches no one.
    NoteFfmpegLine(&demuxer, 24, corrupt, "Packet corrupt (stream = 0, dts = 1).\n");

    ClearFfmpegError();
    EXPECT_EQ(LastFfmpegError(), "");
    NoteFfmpegLine(nullptr, 16, "%s\n", "mux rate too large\n");
    NoteFfmpegLine(nullptr, 24, "%s\n", "a warning is not an error\n");
    EXPECT_EQ(LastFfmpegError(), "mux rate too large");
}

}  // namespace
