// Joins of ffmpeg-made WMV files through the real WMVCore module, judged by ffprobe, a full
// ffmpeg decode and GStreamer, and by reading the output's header back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "engines/asf/asf_format.h"
#include "engines/asf/tests/asf_bytes.h"
#include "job/job_state.h"
#include "platform/unicode.h"
#include "tests/support/media_fixtures.h"
#include "tests/support/output_judge.h"
#include "wmjoin/tests/wm_test_support.h"
#include "wmjoin/wm_joiner.h"
#include "wmjoin/wm_stream_table.h"

namespace fs = std::filesystem;
using kjtest::ShellQuote;

namespace {

// Video of `seconds` and a tone of `audioSeconds` (the same length when not given).
std::string Source(const char* pattern, double seconds, int frequency, const char* size = "320x240",
                   int rate = 25, double audioSeconds = 0) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "-f lavfi -i %s=size=%s:rate=%d:duration=%.3f "
                  "-f lavfi -i sine=frequency=%d:sample_rate=44100:duration=%.3f ",
                  pattern, size, rate, seconds, frequency,
                  audioSeconds > 0 ? audioSeconds : seconds);
    return text;
}

const std::string kWmv2 = "-c:v wmv2 -b:v 300k -c:a wmav2 -b:a 64k -ar 44100 ";
const std::string kWmv1 = "-c:v wmv1 -b:v 300k -c:a wmav1 -b:a 64k -ar 44100 ";

// The File Properties' largest bit rate.
uint32_t MaxBitrate(const std::vector<uint8_t>& file) {
    uint8_t id[16];
    GuidToBytes(asf::kFileProperties, id);
    ByteReader reader(file);
    for (size_t at = 0; reader.Has(at, asf::fileprops::kSize); ++at) {
        if (reader.Matches(at, id, sizeof id)) {
            return reader.LE32(at + asf::fileprops::kMaxBitrate);
        }
    }
    return 0;
}

uint32_t PrerollMs(const std::vector<uint8_t>& file) {
    uint8_t id[16];
    GuidToBytes(asf::kFileProperties, id);
    ByteReader reader(file);
    for (size_t at = 0; reader.Has(at, 16 + asf::fileprops::kPreroll + 8); ++at) {
        if (reader.Matches(at, id, sizeof id)) {
            return static_cast<uint32_t>(reader.LE64(at + asf::fileprops::kPreroll));
        }
    }
    return 0;
}

// The file with the error-correction flags of every data packet claiming a length type that
// does not exist: no packet can be parsed.
std::vector<uint8_t> WithUnreadablePackets(std::vector<uint8_t> file) {
    uint8_t id[16];
    GuidToBytes(asf::kFileProperties, id);
    ByteReader reader(file);
    uint64_t headerSize = reader.LE64(16);
    uint32_t packetSize = 0;
    for (size_t at = 0; reader.Has(at, asf::fileprops::kSize); ++at) {
        if (reader.Matches(at, id, sizeof id)) {
            packetSize = reader.LE32(at + asf::fileprops::kMaxPacketSize);
            break;
        }
    }
    if (packetSize == 0) {
        return file;
    }
    for (uint64_t at = headerSize + asf::kDataObjectFixed; at + packetSize <= file.size();
         at += packetSize) {
        file[static_cast<size_t>(at)] = 0xE2;
    }
    return file;
}

class WmJoin : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(wmtest::LoadEngine()) << "libWMVCore.so must be built";
        s_dir = new kjtest::TempDir();
        std::string meta = s_dir->File("meta.txt");
        kjtest::WriteFileBytes(meta, ToBytes(";FFMETADATA1\ntitle=First part\nauthor=Kelvane "
                                             "Tests\nWM/Year=2024\n[CHAPTER]\nTIMEBASE=1/1000\n"
                                             "START=1000\nEND=2000\ntitle=Opening\n"));
        std::string meta2 = s_dir->File("meta2.txt");
        kjtest::WriteFileBytes(meta2, ToBytes(";FFMETADATA1\ntitle=Second part\n[CHAPTER]\n"
                                              "TIMEBASE=1/1000\nSTART=500\nEND=900\n"
                                              "title=Later\n"));
        // Lengths off the whole second, audio and video ending apart (audio first in a.wmv,
        // video first in b.wmv and d1.wmv).
        Make(Source("testsrc", 3.5, 440, "320x240", 25, 3.13) + "-i " + meta +
                 " -map 0:v -map 1:a -map_metadata 2 " + "-map_chapters 2 " + kWmv2,
             "a.wmv");
        Make(Source("testsrc2", 2.2, 880, "320x240", 25, 2.47) + "-i " + meta2 +
                 " -map 0:v -map 1:a -map_metadata 2 -map_chapters 2 " + kWmv2,
             "b.wmv");
        Make(Source("smptebars", 1.7, 660) + kWmv2, "c.wmv");
        Make(Source("testsrc", 2.43, 440, "320x240", 25, 2.71) + kWmv1, "d1.wmv");
        Make(Source("smptebars", 1.3, 550) + kWmv1, "e1.wmv");
        Make(Source("testsrc", 1.0, 440, "176x144") + kWmv2, "small.wmv");
        Make(Source("testsrc", 1.0, 440) + "-c:v wmv2 -b:v 300k -c:a wmav2 -b:a 64k -ar 22050 ",
             "rate22k.wmv");
        Make(Source("testsrc", 1.0, 440) + "-an -c:v wmv2 -b:v 300k ", "videoonly.wmv");
        Make(Source("testsrc2", 1.6, 440) + "-map 1:a -map 0:v " + kWmv2, "swapped.wmv");
    }
    static void TearDownTestSuite() { delete s_dir; }

    void SetUp() override { g_stopRequested = 0; }

    static std::vector<uint8_t> ToBytes(const std::string& text) {
        return std::vector<uint8_t>(text.begin(), text.end());
    }
    static void Make(const std::string& args, const char* name) {
        std::string error;
        ASSERT_TRUE(kjtest::MakeWithFfmpeg(args, s_dir->File(name), &error)) << error;
    }
    static std::string F(const char* name) { return s_dir->File(name); }

    // Joins through the engine as the job does; returns the engine's result.
    int Join(wmtest::RecordingHost& host, const std::string& output) {
        g_errorText.clear();
        return JoinWmvFiles(host, output);
    }

    static kjtest::TempDir* s_dir;
};
kjtest::TempDir* WmJoin::s_dir = nullptr;

struct JoinCase {
    std::vector<const char*> inputs;
};

// Every packet of every input is in the output, each input moved by one shift for all its
// streams; at every seam and in every stream the next input starts no earlier than the last
// packet of that stream ends, and at most one frame or audio packet after the latest end of any
// stream of the input before (not counting the input's own lead-in: ffmpeg starts the video of
// its files a packet after the audio). Readers that are not ours accept the result.
void ExpectWholeJoin(const std::vector<std::string>& inputs, const std::string& output) {
    const std::vector<std::string> streams = {"v:0", "a:0"};
    // Times are stored in milliseconds.
    const double kMs = 0.0011;
    std::vector<std::vector<wmtest::PacketSpan>> out;
    for (const std::string& stream : streams) {
        out.push_back(wmtest::PacketSpans(output, stream));
        size_t total = 0;
        for (const std::string& input : inputs) {
            total += wmtest::PacketSpans(input, stream).size();
        }
        EXPECT_EQ(out.back().size(), total) << stream;
    }
    std::vector<size_t> at(streams.size(), 0);
    std::vector<double> streamEnd(streams.size(), 0);  // per stream, end of the input before
    std::vector<double> lastLength(streams.size(), 0);
    double latestEnd = 0;  // of any stream of the input before
    for (size_t k = 0; k < inputs.size(); ++k) {
        double shift = 0;
        double inputEnd = 0;
        std::vector<std::vector<wmtest::PacketSpan>> owns;
        double leadIn = 1e9;  // the input's earliest packet of any stream
        for (const std::string& stream : streams) {
            owns.push_back(wmtest::PacketSpans(inputs[k], stream));
            if (!owns.back().empty()) {
                leadIn = std::min(leadIn, owns.back().front().pts);
            }
        }
        for (size_t s = 0; s < streams.size(); ++s) {
            const std::vector<wmtest::PacketSpan>& own = owns[s];
            ASSERT_FALSE(own.empty()) << inputs[k] << " " << streams[s];
            ASSERT_LE(at[s] + own.size(), out[s].size()) << inputs[k] << " " << streams[s];
            const std::vector<wmtest::PacketSpan>& joined = out[s];
            double offset = joined[at[s]].pts - own.front().pts;
            if (s == 0) {
                shift = offset;
            }
            EXPECT_NEAR(offset, shift, kMs) << inputs[k] << " " << streams[s] << ": one shift";
            if (k == 0) {
                EXPECT_NEAR(offset, 0, kMs) << inputs[k];
            } else {
                double first = joined[at[s]].pts;
                EXPECT_GE(first + kMs, streamEnd[s])
                    << inputs[k] << " " << streams[s] << " overlaps the input before";
                double step = std::max(lastLength[s], own.front().duration);
                EXPECT_LE(first - (own.front().pts - leadIn), latestEnd + step + kMs)
                    << inputs[k] << " " << streams[s] << " leaves a gap after " << latestEnd;
            }
            for (size_t i = 0; i < own.size(); ++i) {
                EXPECT_NEAR(joined[at[s] + i].pts, own[i].pts + shift, kMs)
                    << inputs[k] << " " << streams[s] << " packet " << i;
            }
            at[s] += own.size();
            streamEnd[s] = joined[at[s] - 1].End();
            lastLength[s] = joined[at[s] - 1].duration;
            inputEnd = std::max(inputEnd, streamEnd[s]);
        }
        latestEnd = inputEnd;
    }
    EXPECT_EQ(kjtest::DecodeErrors(output), "");
    EXPECT_EQ(kjtest::GstPlaybackFailure(output), "");
}

TEST_F(WmJoin, TwoAndThreeInputsOfOneEncoding) {
    const std::vector<std::vector<const char*>> cases = {
        {"a.wmv", "b.wmv"}, {"a.wmv", "b.wmv", "c.wmv"}, {"d1.wmv", "e1.wmv"}};
    for (const auto& names : cases) {
        std::vector<std::string> inputs;
        for (const char* name : names) {
            inputs.push_back(F(name));
        }
        kjtest::TempDir out;
        std::string output = out.File("joined.wmv");
        wmtest::RecordingHost host(inputs);
        ASSERT_EQ(Join(host, output), 1) << g_errorText;
        EXPECT_TRUE(host.Messages().empty());
        EXPECT_EQ(kjtest::Ffprobe(output, "stream=codec_name"),
                  kjtest::Ffprobe(inputs.front(), "stream=codec_name"));
        EXPECT_EQ(kjtest::Ffprobe(output, "stream=width,height", "v:0"),
                  kjtest::Ffprobe(inputs.front(), "stream=width,height", "v:0"));
        ExpectWholeJoin(inputs, output);
    }
}

TEST_F(WmJoin, ASeekIntoTheSecondInputLandsThere) {
    kjtest::TempDir out;
    std::string output = out.File("joined.wmv");
    wmtest::RecordingHost host({F("a.wmv"), F("b.wmv")});
    ASSERT_EQ(Join(host, output), 1) << g_errorText;
    double secondStart = wmtest::PacketTimes(
        output, "v:0")[static_cast<size_t>(kjtest::CountPackets(F("a.wmv"), "v:0"))];
    // Decoding from a point one second into the second input finds its frames there.
    char at[32];
    std::snprintf(at, sizeof at, "%.3f", secondStart + 1.0);
    kjtest::CommandResult r = kjtest::RunCommand(
        std::string("ffprobe -v error -read_intervals ") + at +
        "%+0.2 -select_streams v:0 -show_entries packet=pts_time -of default=nw=1:nk=1 " +
        ShellQuote(output));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    double first = std::stod(r.output);
    EXPECT_GE(first, secondStart);
    EXPECT_LE(first, secondStart + 1.0 + 0.1);
}

TEST_F(WmJoin, HeaderItemsOfTheFirstInputAndEveryInputsScriptsAndMarkers) {
    kjtest::TempDir work;
    std::vector<uint8_t> a = kjtest::ReadFileBytes(F("a.wmv"));
    std::vector<uint8_t> b = kjtest::ReadFileBytes(F("b.wmv"));
    std::vector<uint8_t> c = kjtest::ReadFileBytes(F("c.wmv"));
    std::string sa = work.File("sa.wmv"), sb = work.File("sb.wmv"), sc = work.File("sc.wmv");
    // A Duration two seconds past the last sample, as WM encoders may write.
    a = wmtest::WithPlayDurationChanged(std::move(a), 20'000'000);
    kjtest::WriteFileBytes(sa,
                           wmtest::WithHeaderObject(
                               a, wmtest::ScriptCommandObject(PrerollMs(a) + 500, u"URL", u"one")));
    kjtest::WriteFileBytes(sb,
                           wmtest::WithHeaderObject(
                               b, wmtest::ScriptCommandObject(PrerollMs(b) + 700, u"URL", u"two")));
    kjtest::WriteFileBytes(
        sc, wmtest::WithHeaderObject(
                c, wmtest::ScriptCommandObject(PrerollMs(c) + 300, u"URL", u"three")));
    std::string output = work.File("joined.wmv");
    wmtest::RecordingHost host({sa, sb, sc});
    ASSERT_EQ(Join(host, output), 1) << g_errorText;

    wmtest::HeaderItems in = wmtest::ReadHeaderItems(sa);
    wmtest::HeaderItems in2 = wmtest::ReadHeaderItems(sb);
    wmtest::HeaderItems out = wmtest::ReadHeaderItems(output);
    ASSERT_TRUE(in.ok && out.ok);
    for (const char* name : {"Title", "Author", "WM/Year"}) {
        wmtest::HeaderItems::Attribute source, joined;
        ASSERT_TRUE(in.Get(name, &source)) << name;
        ASSERT_TRUE(out.Get(name, &joined)) << name;
        EXPECT_EQ(joined.type, source.type) << name;
        EXPECT_EQ(joined.value, source.value) << name;
    }
    wmtest::HeaderItems::Attribute title;
    ASSERT_TRUE(out.Get("Title", &title));
    EXPECT_EQ(title.Text(), "First part");
    EXPECT_EQ(kjtest::Ffprobe(output, "format_tags=title"), "First part");
    EXPECT_EQ(kjtest::Ffprobe(output, "format_tags=artist"), "Kelvane Tests");  // Author
    EXPECT_EQ(out.codecNames, in.codecNames);

    // Scripts and markers move with their input's samples: one shift for all three.
    std::vector<double> video = wmtest::PacketTimes(output, "v:0");
    size_t aFrames = static_cast<size_t>(kjtest::CountPackets(sa, "v:0"));
    size_t bFrames = static_cast<size_t>(kjtest::CountPackets(sb, "v:0"));
    // Where each input's time 0 lies in the output.
    double secondStart = video[aFrames] - wmtest::PacketTimes(sb, "v:0").front();
    double thirdStart = video[aFrames + bFrames] - wmtest::PacketTimes(sc, "v:0").front();
    ASSERT_EQ(out.scripts.size(), 3u);
    EXPECT_EQ(out.scripts[0].first, "one");
    EXPECT_EQ(out.scripts[0].second, 5'000'000u);
    EXPECT_EQ(out.scripts[1].first, "two");
    EXPECT_NEAR(out.scripts[1].second / 1e7, secondStart + 0.7, 0.0011);
    EXPECT_EQ(out.scripts[1].second % 10'000, 0u);  // on the millisecond the samples use
    EXPECT_EQ(out.scripts[2].first, "three");
    EXPECT_NEAR(out.scripts[2].second / 1e7, thirdStart + 0.3, 0.0011)
        << "second input starts at " << secondStart << ", third at " << thirdStart;
    // Not at the first input's Duration, which was made to run past its last sample.
    wmtest::HeaderItems::Attribute duration;
    ASSERT_TRUE(in.Get("Duration", &duration));
    QWORD firstDuration = 0;
    std::memcpy(&firstDuration, duration.value.data(), sizeof firstDuration);
    EXPECT_LT(secondStart + 1.5, firstDuration / 1e7);

    ASSERT_EQ(in.markers.size(), 1u);
    ASSERT_EQ(in2.markers.size(), 1u);
    ASSERT_EQ(out.markers.size(), 2u);
    EXPECT_EQ(out.markers[0], in.markers[0]);
    EXPECT_EQ(out.markers[1].first, in2.markers[0].first);
    EXPECT_NEAR(out.markers[1].second / 1e7, secondStart + in2.markers[0].second / 1e7, 0.0011);
    EXPECT_EQ(out.markers[1].second - in2.markers[0].second, out.scripts[1].second - 7'000'000u);
}

TEST_F(WmJoin, AFileWithPaddedMarkerEntriesJoinsWithItsMarkers) {
    kjtest::TempDir work;
    std::string padded = work.File("padded.wmv");
    // Entries padded after their descriptions, as an old encoder wrote them.
    kjtest::WriteFileBytes(
        padded, wmtest::WithHeaderObject(
                    kjtest::ReadFileBytes(F("c.wmv")),
                    asftest::MarkerObject(
                        {{PrerollMs(kjtest::ReadFileBytes(F("c.wmv"))) * 10000ull + 4'000'000u,
                          u"Scene one"},
                         {PrerollMs(kjtest::ReadFileBytes(F("c.wmv"))) * 10000ull + 9'000'000u,
                          u"Scene two"}},
                        2)));
    std::string output = work.File("joined.wmv");
    std::vector<std::string> inputs = {F("a.wmv"), padded};
    wmtest::RecordingHost host(inputs);
    ASSERT_EQ(Join(host, output), 1) << g_errorText;
    EXPECT_TRUE(host.Messages().empty());
    ExpectWholeJoin(inputs, output);
    wmtest::HeaderItems out = wmtest::ReadHeaderItems(output);
    ASSERT_TRUE(out.ok);
    ASSERT_EQ(out.markers.size(), 3u);  // a.wmv's chapter and both padded entries
    double secondStart = wmtest::PacketTimes(
        output, "a:0")[static_cast<size_t>(kjtest::CountPackets(F("a.wmv"), "a:0"))];
    EXPECT_EQ(out.markers[1].first, "Scene one");
    EXPECT_NEAR(out.markers[1].second / 1e7, secondStart + 0.4, 0.0011);
    EXPECT_EQ(out.markers[2].first, "Scene two");
    EXPECT_NEAR(out.markers[2].second / 1e7, secondStart + 0.9, 0.0011);
}

TEST_F(WmJoin, StreamsListedInAnotherOrderAreMatchedByTypeAndWindowsAreSummed) {
    kjtest::TempDir out;
    std::string output = out.File("joined.wmv");
    std::vector<std::string> inputs = {F("a.wmv"), F("swapped.wmv")};
    wmtest::RecordingHost host(inputs);
    ASSERT_EQ(Join(host, output), 1) << g_errorText;
    ExpectWholeJoin(inputs, output);

    wmtest::ProfileStreams first = wmtest::ReadProfile(F("a.wmv"));
    wmtest::ProfileStreams second = wmtest::ReadProfile(F("swapped.wmv"));
    wmtest::ProfileStreams joined = wmtest::ReadProfile(output);
    ASSERT_TRUE(first.ok && second.ok && joined.ok);
    ASSERT_EQ(joined.numbers, first.numbers);
    ASSERT_EQ(second.types.size(), first.types.size());
    EXPECT_FALSE(second.types[0] == first.types[0]);  // really listed the other way round
    for (size_t i = 0; i < first.numbers.size(); ++i) {
        size_t partner = second.types[0] == first.types[i] ? 0 : 1;
        EXPECT_EQ(joined.bufferWindows[i], first.bufferWindows[i] + second.bufferWindows[partner]);
    }
}

TEST_F(WmJoin, InputsDifferingOnlyInBitRateAreCopiedWholeUnderTheLargestRate) {
    kjtest::TempDir work;
    Make(Source("testsrc", 2.0, 440) + "-c:v wmv2 -b:v 300k -c:a wmav2 -b:a 64k -ar 44100 ",
         "at300k.wmv");
    Make(Source("testsrc2", 2.4, 660) + "-c:v wmv2 -b:v 1000k -c:a wmav2 -b:a 64k -ar 44100 ",
         "at1000k.wmv");
    const std::vector<std::string> inputs = {F("at300k.wmv"), F("at1000k.wmv")};
    // Their codec data differ in the bit rate hint alone.
    wmtest::ProfileStreams first = wmtest::ReadProfile(inputs[0]);
    wmtest::ProfileStreams second = wmtest::ReadProfile(inputs[1]);
    ASSERT_TRUE(first.ok && second.ok);
    std::string output = work.File("joined.wmv");
    wmtest::RecordingHost host(inputs);
    ASSERT_EQ(Join(host, output), 1) << g_errorText;
    EXPECT_TRUE(host.Messages().empty());
    ExpectWholeJoin(inputs, output);
    // Every packet of both, byte for byte.
    for (const char* stream : {"v:0", "a:0"}) {
        std::vector<std::string> expected;
        for (const std::string& input : inputs) {
            for (const kjtest::ProbedPacket& p : kjtest::ProbePackets(input, stream)) {
                expected.push_back(p.md5);
            }
        }
        std::vector<std::string> joined;
        for (const kjtest::ProbedPacket& p : kjtest::ProbePackets(output, stream)) {
            joined.push_back(p.md5);
        }
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(joined, expected) << stream;
    }
    // The header is the first file's with the larger rates: each stream's the larger of its
    // partners', the file's no less than either input's.
    wmtest::ProfileStreams out = wmtest::ReadProfile(output);
    ASSERT_TRUE(out.ok);
    ASSERT_EQ(out.bitrates.size(), first.bitrates.size());
    ASSERT_EQ(second.bitrates.size(), first.bitrates.size());
    for (size_t i = 0; i < out.bitrates.size(); ++i) {
        EXPECT_EQ(out.bitrates[i], std::max(first.bitrates[i], second.bitrates[i])) << i;
    }
    const uint32_t joinedMax = MaxBitrate(kjtest::ReadFileBytes(output));
    EXPECT_GE(joinedMax, MaxBitrate(kjtest::ReadFileBytes(inputs[0])));
    EXPECT_GE(joinedMax, MaxBitrate(kjtest::ReadFileBytes(inputs[1])));
}

// Every occurrence of the object `id` in `file` gets `value` as a u32 at `at` (from the
// object's start); false when there is none.
bool SetInObjects(std::vector<uint8_t>& file, const GUID& id, size_t at, uint32_t value) {
    uint8_t bytes[16];
    GuidToBytes(id, bytes);
    bool found = false;
    for (size_t i = 0; i + at + 4 <= file.size(); ++i) {
        if (std::memcmp(file.data() + i, bytes, sizeof bytes) == 0) {
            for (int b = 0; b < 4; ++b) {
                file[i + at + static_cast<size_t>(b)] = static_cast<uint8_t>(value >> (8 * b));
            }
            found = true;
        }
    }
    return found;
}

TEST_F(WmJoin, ARealWmaFileJoinsACopyStatingOtherRatesAndEncoderWords) {
    const std::string real = KJ_SHARED_MEDIA_DIR "/windowsmedia/wma2-cover-2009.wma";
    if (!fs::exists(real)) {
        GTEST_SKIP() << "../shared/media is not here: the real WMA file cannot be joined";
    }
    kjtest::TempDir work;
    const std::vector<uint8_t> bytes = kjtest::ReadFileBytes(real);
    // What another encoder run states for the same stream: twice the rate and a larger buffer
    // (Extended Stream Properties and Stream Bitrate Properties), and another samples-per-block
    // word in the WMA codec data (right after the 18 bytes of WAVEFORMATEX).
    std::vector<uint8_t> rates = bytes;
    const uint32_t doubled = 128048;
    ASSERT_TRUE(
        SetInObjects(rates, asf::kExtendedStreamProperties, asf::extprops::kDataBitrate, doubled));
    ASSERT_TRUE(SetInObjects(rates, asf::kExtendedStreamProperties, asf::extprops::kAltDataBitrate,
                             doubled));
    ASSERT_TRUE(
        SetInObjects(rates, asf::kExtendedStreamProperties, asf::extprops::kBufferSize, 9000));
    // Stream Bitrate Properties: object head, record count, then stream flags and rate.
    ASSERT_TRUE(SetInObjects(rates, asf::kStreamBitrateProperties, 24 + 2 + 2, doubled));
    ASSERT_TRUE(SetInObjects(rates, asf::kStreamProperties,
                             asf::streamprops::kTypeSpecificData + asf::kWaveFormatExSize, 0x0800));
    const std::string copy = work.File("rates.wma");
    kjtest::WriteFileBytes(copy, rates);
    wmtest::ProfileStreams first = wmtest::ReadProfile(real);
    wmtest::ProfileStreams second = wmtest::ReadProfile(copy);
    ASSERT_TRUE(first.ok && second.ok);
    ASSERT_EQ(second.bitrates, std::vector<DWORD>{doubled});
    ASSERT_LT(first.bitrates[0], doubled);

    const std::string output = work.File("joined.wma");
    wmtest::RecordingHost host({real, copy});
    ASSERT_EQ(Join(host, output), 1) << g_errorText;
    std::vector<std::string> expected;
    for (const std::string& input : {real, copy}) {
        for (const kjtest::ProbedPacket& p : kjtest::ProbePackets(input, "a:0")) {
            expected.push_back(p.md5);
        }
    }
    std::vector<std::string> joined;
    for (const kjtest::ProbedPacket& p : kjtest::ProbePackets(output, "a:0")) {
        joined.push_back(p.md5);
    }
    EXPECT_EQ(joined, expected);
    EXPECT_EQ(kjtest::LinesNotIn(kjtest::DecodeErrors(output), {kjtest::DecodeErrors(real)}), "");
    EXPECT_EQ(kjtest::GstPlaybackFailure(output), "");
    wmtest::ProfileStreams out = wmtest::ReadProfile(output);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.bitrates, std::vector<DWORD>{doubled});
    EXPECT_GE(MaxBitrate(kjtest::ReadFileBytes(output)), MaxBitrate(rates));

    // The encoder options word is what the decoder reads: refused as a mismatch.
    std::vector<uint8_t> options = bytes;
    ASSERT_TRUE(SetInObjects(options, asf::kStreamProperties,
                             asf::streamprops::kTypeSpecificData + asf::kWaveFormatExSize + 4,
                             0x0000000D));
    const std::string odd = work.File("options.wma");
    kjtest::WriteFileBytes(odd, options);
    const std::string never = work.File("never.wma");
    wmtest::RecordingHost refused({real, odd});
    EXPECT_EQ(Join(refused, never), 0);
    EXPECT_EQ(refused.Messages(),
              std::vector<std::string>{"Mismatch in Media types of video or audio  Streams.\n"});
    EXPECT_FALSE(fs::exists(never));
}

TEST_F(WmJoin, FilesThatCannotBeJoinedAreRefusedWithTheDesignedTexts) {
    kjtest::TempDir work;
    std::string truncated = work.File("cut.wmv");
    std::vector<uint8_t> bytes = kjtest::ReadFileBytes(F("b.wmv"));
    bytes.resize(200);
    kjtest::WriteFileBytes(truncated, bytes);
    std::string unreadable = work.File("unreadable.wmv");
    kjtest::WriteFileBytes(unreadable, WithUnreadablePackets(kjtest::ReadFileBytes(F("b.wmv"))));
    std::string locked = work.File("locked.wmv");
    kjtest::WriteFileBytes(locked, wmtest::WithHeaderObject(kjtest::ReadFileBytes(F("b.wmv")),
                                                            wmtest::ContentEncryptionObject()));
    struct Refusal {
        std::string second;
        std::vector<std::string> messages;  // what must have been shown, in order
    };
    const std::string mismatch = "Mismatch in Media types of video or audio  Streams.\n";
    const std::vector<Refusal> refusals = {
        {F("small.wmv"), {mismatch}},
        {F("rate22k.wmv"), {mismatch}},
        {F("videoonly.wmv"), {}},
        {truncated, {}},
        {locked,
         {"Protected attributes set for input file " + locked + " .\n",
          "File " + locked + " file is protected, cannot open, aborting...\n"}},
        // Not protected: the designed lines, with the real reason beside the protected one.
        {unreadable,
         {"Could not open file " + unreadable +
              " (hr=0xc00d080d).\nThe file's data packets "
              "cannot be read: they are damaged or laid out "
              "in a way this program does not know.\n",
          "File " + unreadable + " file is protected, cannot open, aborting...\n"}},
    };
    for (const Refusal& refusal : refusals) {
        std::string output = work.File("never.wmv");
        wmtest::RecordingHost host({F("a.wmv"), F("c.wmv"), refusal.second});
        EXPECT_EQ(Join(host, output), 0) << refusal.second;
        EXPECT_EQ(g_errorText,
                  "File No.3's profile mismatch with the first one\r\nCan not continue... "
                  "Aborting the process")
            << refusal.second;
        std::vector<std::string> shown = host.Messages();
        if (!refusal.messages.empty()) {
            EXPECT_EQ(shown, refusal.messages) << refusal.second;
        }
        if (refusal.second == truncated) {
            ASSERT_FALSE(shown.empty());
            EXPECT_NE(shown.back().find(truncated), std::string::npos) << shown.back();
        }
        EXPECT_FALSE(fs::exists(output)) << refusal.second;
    }
}

TEST_F(WmJoin, ProgressEveryTenSecondsOfMediaAndASingleInputIsCopied) {
    kjtest::TempDir work;
    const std::string small = "-c:v wmv2 -b:v 100k -c:a wmav2 -b:a 32k -ar 22050 ";
    Make(Source("testsrc", 25, 440, "160x120", 5) + small, "long1.wmv");
    Make(Source("testsrc2", 25, 440, "160x120", 5) + small, "long2.wmv");
    std::string output = work.File("joined.wmv");
    wmtest::RecordingHost host({F("long1.wmv"), F("long2.wmv")});
    ASSERT_EQ(Join(host, output), 1) << g_errorText;
    // A total of 50 seconds (the inputs' durations): the 10th tick posts 20, the 20th 40, ...
    std::vector<int> percents = host.Percents();
    ASSERT_GE(percents.size(), 4u);
    for (size_t k = 0; k < percents.size(); ++k) {
        EXPECT_EQ(percents[k], static_cast<int>((k + 1) * 10 * 100 / 50)) << k;
    }

    std::string copy = work.File("copy.wmv");
    wmtest::RecordingHost single({F("c.wmv")});
    ASSERT_EQ(Join(single, copy), 1) << g_errorText;
    EXPECT_TRUE(single.Percents().empty());
    ExpectWholeJoin({F("c.wmv")}, copy);
}

TEST_F(WmJoin, AStopEndsTheRunPromptlyAndReportsAFailure) {
    kjtest::TempDir work;
    const std::string small = "-c:v wmv2 -b:v 100k -c:a wmav2 -b:a 32k -ar 22050 ";
    Make(Source("testsrc", 24.5, 440, "160x120", 5) + small, "long1.wmv");
    Make(Source("testsrc2", 24.5, 440, "160x120", 5) + small, "long2.wmv");
    wmtest::RecordingHost host({F("long1.wmv"), F("long2.wmv")});
    host.m_stopAtPercent = 20;
    EXPECT_EQ(Join(host, work.File("stopped.wmv")), 0);
    EXPECT_EQ(g_errorText, "Stream copying failed for the No.1 file (hr=0x80004004).\n");
    EXPECT_TRUE(host.Messages().empty());  // a stop is not an error to show
    EXPECT_EQ(host.Percents(), std::vector<int>{20});
    g_stopRequested = 0;
}

TEST_F(WmJoin, MissingModuleGivesItsMessage) {
    wmtest::RecordingHost host({F("a.wmv"), F("b.wmv")});
    host.m_wmLoaded = false;
    EXPECT_EQ(Join(host, s_dir->File("none.wmv")), 0);
    EXPECT_EQ(host.Messages(), std::vector<std::string>{"string 105"});
    EXPECT_EQ(g_errorText, "string 105");
}

// ---- media type comparison, on blocks built by hand ----

std::vector<uint8_t> VideoType(DWORD bitRate, BOOL fixedSize = FALSE, uint32_t sampleSize = 0) {
    std::vector<uint8_t> block(sizeof(WM_MEDIA_TYPE) + sizeof(VIDEOINFOHEADER), 0);
    auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(block.data());
    type->majortype = WMMEDIATYPE_Video;
    type->subtype = WMMEDIASUBTYPE_WMV2;
    type->bFixedSizeSamples = fixedSize;
    type->bTemporalCompression = TRUE;
    type->lSampleSize = sampleSize;
    type->formattype = WMFORMAT_VideoInfo;
    type->cbFormat = sizeof(VIDEOINFOHEADER);
    type->pbFormat = block.data() + sizeof(WM_MEDIA_TYPE);
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat);
    info->dwBitRate = bitRate;
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = 320;
    info->bmiHeader.biHeight = 240;
    return block;
}

WM_MEDIA_TYPE* T(std::vector<uint8_t>& block) {
    return reinterpret_cast<WM_MEDIA_TYPE*>(block.data());
}

TEST(CompareMediaTypes, VideoBitRatesNeverCount) {
    auto a = VideoType(300000), b = VideoType(450000);
    EXPECT_TRUE(CompareMediaTypes(T(a), T(b), 0));
    EXPECT_TRUE(CompareMediaTypes(T(a), T(b), 1));
}

// A video block with `codecData` after its BITMAPINFOHEADER.
std::vector<uint8_t> VideoWithCodecData(const GUID& subtype, std::vector<uint8_t> codecData) {
    std::vector<uint8_t> block = VideoType(300000);
    T(block)->subtype = subtype;
    T(block)->cbFormat += static_cast<ULONG>(codecData.size());
    block.insert(block.end(), codecData.begin(), codecData.end());
    T(block)->pbFormat = block.data() + sizeof(WM_MEDIA_TYPE);
    return block;
}

TEST(CompareMediaTypes, OnlyTheRateHintsOfWmvCodecDataAreLeftOut) {
    // WMV3 Main profile: 0x4E = profile 1, FRMRTQ 7 and the top bit of BITRTQ; 0x0A then holds
    // the rest of BITRTQ (0) and LOOPFILTER, MULTIRES...
    auto main = VideoWithCodecData(WMMEDIASUBTYPE_WMV3, {0x4E, 0x0A, 0x28, 0x01});
    auto otherRates = VideoWithCodecData(WMMEDIASUBTYPE_WMV3, {0x43, 0xFA, 0x28, 0x01});
    EXPECT_TRUE(CompareMediaTypes(T(main), T(otherRates), 0));
    for (auto [at, bit] : {std::pair{0, 0x80}, {0, 0x10}, {1, 0x08}, {1, 0x01}, {2, 0x01}}) {
        auto changed = main;
        changed[sizeof(WM_MEDIA_TYPE) + asf::unread::kVideoCodecData + at] ^= bit;
        EXPECT_FALSE(CompareMediaTypes(T(main), T(changed), 0)) << at << " " << bit;
    }
    // An Advanced profile header is compared whole.
    auto advanced = VideoWithCodecData(WMMEDIASUBTYPE_WMV3, {0xCE, 0x0A, 0x28, 0x01});
    auto advancedOther = VideoWithCodecData(WMMEDIASUBTYPE_WMV3, {0xC3, 0xFA, 0x28, 0x01});
    EXPECT_FALSE(CompareMediaTypes(T(advanced), T(advancedOther), 0));

    // WMV2: the 11 bits of the bit rate after the 5 of the frame rate.
    auto wmv2 = VideoWithCodecData(WMMEDIASUBTYPE_WMV2, {0xC8, 0x4B, 0x30, 0x00});
    auto wmv2Rate = VideoWithCodecData(WMMEDIASUBTYPE_WMV2, {0xC8 | 0x07, 0x00, 0x30, 0x00});
    EXPECT_TRUE(CompareMediaTypes(T(wmv2), T(wmv2Rate), 0));
    auto wmv2Fps = VideoWithCodecData(WMMEDIASUBTYPE_WMV2, {0xF0, 0x4B, 0x30, 0x00});
    EXPECT_FALSE(CompareMediaTypes(T(wmv2), T(wmv2Fps), 0));
    auto wmv2Flags = VideoWithCodecData(WMMEDIASUBTYPE_WMV2, {0xC8, 0x4B, 0x20, 0x00});
    EXPECT_FALSE(CompareMediaTypes(T(wmv2), T(wmv2Flags), 0));
    // The same bytes under another codec are all compared.
    auto mp43 = VideoWithCodecData(WMMEDIASUBTYPE_MP43, {0xC8, 0x4B, 0x30, 0x00});
    auto mp43Rate = VideoWithCodecData(WMMEDIASUBTYPE_MP43, {0xCF, 0x00, 0x30, 0x00});
    EXPECT_FALSE(CompareMediaTypes(T(mp43), T(mp43Rate), 0));
}

// A WAVEFORMATEX block of 44.1 kHz stereo with `codecData` after it.
std::vector<uint8_t> AudioType(uint16_t tag, uint32_t bytesPerSecond, uint16_t blockAlign,
                               const std::vector<uint8_t>& codecData) {
    std::vector<uint8_t> block(sizeof(WM_MEDIA_TYPE), 0);
    auto put = [&](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            block.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
    };
    put(tag, 2);
    put(2, 2);
    put(44100, 4);
    put(bytesPerSecond, 4);
    put(blockAlign, 2);
    put(16, 2);
    put(static_cast<uint32_t>(codecData.size()), 2);
    block.insert(block.end(), codecData.begin(), codecData.end());
    auto* type = T(block);
    type->majortype = WMMEDIATYPE_Audio;
    type->subtype = WMMediaSubtype(tag);
    type->formattype = WMFORMAT_WaveFormatEx;
    type->cbFormat = static_cast<ULONG>(block.size() - sizeof(WM_MEDIA_TYPE));
    type->pbFormat = block.data() + sizeof(WM_MEDIA_TYPE);
    return block;
}

TEST(CompareMediaTypes, AudioRatesCountWhereTheDecoderReadsThem) {
    // The WMA decoder sets its coding from the rate; MPEG audio takes it from every frame's
    // header. (The WMA codec data words are judged on real and ffmpeg files.)
    const std::vector<uint8_t> wma2Data = {0, 0x88, 0, 0, 0x0F, 0, 0, 0, 0, 0};
    auto wma = AudioType(0x161, 16000, 5945, wma2Data);
    auto wmaRate = AudioType(0x161, 8000, 5945, wma2Data);
    EXPECT_FALSE(CompareMediaTypes(T(wma), T(wmaRate), 0));
    const std::vector<uint8_t> mp3Data = {1, 0, 2, 0, 0, 0, 0x39, 0x02, 1, 0, 0x71, 0x05};
    auto mp3 = AudioType(0x55, 16000, 1, mp3Data);
    auto mp3Rate = AudioType(0x55, 8000, 1, mp3Data);
    EXPECT_TRUE(CompareMediaTypes(T(mp3), T(mp3Rate), 0));
    auto mp3Block = AudioType(0x55, 8000, 2, mp3Data);
    EXPECT_FALSE(CompareMediaTypes(T(mp3), T(mp3Block), 0));
}

TEST(CompareMediaTypes, SampleSizeDifferencesClearFixedSizeInTheFirstBlock) {
    auto a = VideoType(300000, TRUE, 1000), b = VideoType(300000, TRUE, 2000);
    EXPECT_TRUE(CompareMediaTypes(T(a), T(b), 0));
    EXPECT_EQ(T(a)->bFixedSizeSamples, FALSE);
    auto c = VideoType(300000);
    T(c)->bTemporalCompression = FALSE;
    EXPECT_FALSE(CompareMediaTypes(T(a), T(c), 0));
    auto d = VideoType(300000);
    reinterpret_cast<VIDEOINFOHEADER*>(T(d)->pbFormat)->bmiHeader.biWidth = 176;
    EXPECT_FALSE(CompareMediaTypes(T(a), T(d), 1));
    auto e = VideoType(300000);
    T(e)->subtype = WMMEDIASUBTYPE_WMV1;
    EXPECT_FALSE(CompareMediaTypes(T(a), T(e), 1));
}

}  // namespace
