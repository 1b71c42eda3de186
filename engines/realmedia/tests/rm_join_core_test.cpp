// Joins of byte-built RV40 + cook files with the layouts of Real's encoders: what is carried,
// what is recomputed, where the second input lands, the index, and the refusals.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <iterator>

#include "engines/realmedia/rm_codec.h"
#include "engines/realmedia/rmedit.h"
#include "engines/realmedia/tests/rm_bytes.h"
#include "engines/realmedia/tests/rm_test_support.h"

namespace {

using rmtest::BuildFile;
using rmtest::TestFile;

constexpr uint32_t kRate = 0x001DF853;  // the test files' 29.97 fps

TEST(RmSeams, KeepToTheVideoFrameGrid) {
    EXPECT_EQ(rm::AlignToVideoFrames(1000, 25 << 16), 1000u);
    EXPECT_EQ(rm::AlignToVideoFrames(1001, 25 << 16), 1040u);
    EXPECT_EQ(rm::AlignToVideoFrames(0, 25 << 16), 0u);
    // 29.97 fps: frame 501 starts at 16716.7 ms.
    EXPECT_EQ(rm::AlignToVideoFrames(16700, kRate), 16717u);
    EXPECT_EQ(rm::AlignToVideoFrames(16717, kRate), 16717u);
    EXPECT_EQ(rm::AlignToVideoFrames(16718, kRate), 16751u);
    // No usable rate: the content's end as it is.
    EXPECT_EQ(rm::AlignToVideoFrames(16718, 0), 16718u);
    EXPECT_EQ(rm::AlignToVideoFrames(16718, 1000u << 16), 16718u);
}

class Recorder : public rm::JoinObserver {
public:
    void Started() override { events.push_back("started"); }
    bool Progress(uint32_t percent) override {
        percents.push_back(percent);
        return stopAt < 0 || static_cast<int>(percent) < stopAt;
    }
    void Completed() override { events.push_back("completed"); }
    std::vector<std::string> events;
    std::vector<uint32_t> percents;
    int stopAt = -1;
};

class RmJoinCore : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const TestFile& f) {
        std::string path = m_dir.File(name);
        EXPECT_TRUE(kjtest::WriteFileBytes(path, BuildFile(f)));
        return path;
    }
    kjtest::TempDir m_dir;
};

TEST_F(RmJoinCore, CarriesHeadersAndPlacesTheSecondInputRightAfterTheFirst) {
    TestFile fa = rmtest::Rv40CookFile(4, 10);
    TestFile fb = rmtest::Rv40CookFile(3, 20);
    const std::string a = Write("a.rmvb", fa);
    const std::string b = Write("b.rmvb", fb);
    const std::string out = m_dir.File("out.rmvb");
    Recorder rec;
    rmtest::JoinResult r = rmtest::JoinFiles({a, b}, out, &rec);
    ASSERT_EQ(r.hr, S_OK) << r.text;

    rmtest::ReadBack ra = rmtest::ReadAll(a);
    rmtest::ReadBack rb = rmtest::ReadAll(b);
    rmtest::ReadBack ro = rmtest::ReadAll(out);
    ASSERT_TRUE(ro.ok);
    ASSERT_EQ(ro.packets.size(), ra.packets.size() + rb.packets.size());

    // The seam: where a's last stream ends, its cook packets lasting their 116 ms spacing (its
    // video, at 100 ms per picture, ends before), moved up to the video's frame grid.
    uint32_t lastA = 0;
    for (const auto& p : ra.packets) {
        lastA = std::max(lastA, p.timestamp);
    }
    const uint32_t end = lastA + 116;
    const uint32_t shift = static_cast<uint32_t>(rm::AlignToVideoFrames(end, kRate));
    EXPECT_GE(shift, end);
    EXPECT_LT(shift, end + 34);
    EXPECT_EQ(r.plan.shifts, (std::vector<int64_t>{0, shift}));
    EXPECT_EQ(r.plan.starts, (std::vector<uint32_t>{0, shift}));

    // Every packet byte for byte, apart from the shifted timestamp, in the same order.
    for (size_t i = 0; i < ro.packets.size(); ++i) {
        const bool fromA = i < ra.packets.size();
        const auto& in = fromA ? ra.packets[i] : rb.packets[i - ra.packets.size()];
        const auto& o = ro.packets[i];
        ASSERT_EQ(o.stream, in.stream) << i;
        ASSERT_EQ(o.timestamp, in.timestamp + (fromA ? 0 : shift)) << i;
        ASSERT_EQ(o.key, in.key) << i;
        std::vector<uint8_t> x = o.bytes;
        std::vector<uint8_t> y = in.bytes;
        std::fill(x.begin() + 6, x.begin() + 10, 0);
        std::fill(y.begin() + 6, y.begin() + 10, 0);
        ASSERT_EQ(x, y) << i;
    }

    // CONT, RMMD and the logical stream's MDPR unchanged; .RMF with its header count.
    std::vector<uint8_t> inBytes = kjtest::ReadFileBytes(a);
    std::vector<uint8_t> outBytes = kjtest::ReadFileBytes(out);
    auto inChunks = rmtest::TopChunks(inBytes);
    auto outChunks = rmtest::TopChunks(outBytes);
    std::vector<std::string> ids;
    ids.reserve(outChunks.size());
    for (const auto& c : outChunks) {
        ids.push_back(c.id);
    }
    EXPECT_EQ(ids, (std::vector<std::string>{".RMF", "PROP", "CONT", "MDPR", "MDPR", "MDPR", "RMMD",
                                             "DATA", "INDX", "INDX"}));
    for (size_t i = 0; i < 7; ++i) {
        ASSERT_EQ(inChunks[i].size, outChunks[i].size) << i;
        if (i == 2 || i == 5 || i == 6) {
            EXPECT_TRUE(std::equal(inBytes.begin() + inChunks[i].offset,
                                   inBytes.begin() + inChunks[i].offset + inChunks[i].size,
                                   outBytes.begin() + outChunks[i].offset))
                << inChunks[i].id;
        }
    }
    ByteReader o(outBytes);
    EXPECT_EQ(o.BE32(14), 7u);  // .RMF + PROP + CONT + 3 MDPR + DATA

    // PROP and MDPR numbers of the joined file.
    const rm::FileProperties& p = ro.header.props;
    uint32_t lastB = 0;
    for (const auto& pk : rb.packets) {
        lastB = std::max(lastB, pk.timestamp);
    }
    const uint32_t total = shift + lastB + 116;
    EXPECT_EQ(p.duration, total);
    EXPECT_EQ(p.packets, ro.packets.size());
    EXPECT_EQ(p.dataOffset, outChunks[7].offset);
    EXPECT_EQ(p.indexOffset, outChunks[8].offset);
    EXPECT_EQ(p.streams, 3);
    EXPECT_EQ(p.maxPacketSize, 640u);
    EXPECT_EQ(p.preroll, 1857u);
    EXPECT_EQ(ro.header.Stream(0)->duration, total);
    EXPECT_EQ(ro.header.Stream(1)->duration, total);
    EXPECT_EQ(ro.header.Stream(1)->maxPacketSize, 157u);
    EXPECT_EQ(ro.header.Stream(2)->duration, 0u);
    EXPECT_EQ(ro.header.Stream(0)->typeData, rmtest::CookHeader());

    // The index: one chunk per stream, chained; every entry lands on a key packet of its
    // stream with its timestamp and packet number; each input's first key frame is indexed.
    uint64_t at = p.indexOffset;
    std::vector<uint16_t> indexed;
    while (at != 0) {
        ASSERT_TRUE(o.Matches(at, "INDX"));
        uint32_t n = o.BE32(at + 10);
        uint16_t stream = o.BE16(at + 14);
        indexed.push_back(stream);
        EXPECT_EQ(o.BE32(at + 4), 20 + 14 * n);
        bool seamIndexed = false;
        for (uint32_t e = 0; e < n; ++e) {
            size_t entry = at + 20 + size_t{14} * e;
            uint32_t ts = o.BE32(entry + 2);
            uint32_t off = o.BE32(entry + 6);
            uint32_t number = o.BE32(entry + 10);
            ASSERT_LT(number, ro.packets.size());
            const auto& pk = ro.packets[number];
            EXPECT_EQ(pk.offset, off);
            EXPECT_EQ(pk.stream, stream);
            EXPECT_EQ(pk.timestamp, ts);
            EXPECT_TRUE(pk.key);
            seamIndexed = seamIndexed || ts == shift;
        }
        EXPECT_TRUE(seamIndexed) << stream;
        EXPECT_GE(n, 4u) << stream;
        at = o.BE32(at + 16);
    }
    EXPECT_EQ(indexed, (std::vector<uint16_t>{0, 1}));  // none for the logical stream

    // Progress: started, every percent once in order, completed.
    ASSERT_EQ(rec.percents.size(), 101u);
    for (uint32_t i = 0; i <= 100; ++i) {
        EXPECT_EQ(rec.percents[i], i);
    }
    EXPECT_EQ(rec.events, (std::vector<std::string>{"started", "completed"}));
}

TEST_F(RmJoinCore, ThreeInputsShiftEachByAllBeforeIt) {
    const std::string a = Write("a.rm", rmtest::Rv40CookFile(2, 1));
    const std::string b = Write("b.rm", rmtest::Rv40CookFile(3, 2));
    const std::string c = Write("c.rm", rmtest::Rv40CookFile(2, 3));
    rmtest::JoinResult r = rmtest::JoinFiles({a, b, c}, m_dir.File("out.rm"));
    ASSERT_EQ(r.hr, S_OK) << r.text;
    ASSERT_EQ(r.plan.shifts.size(), 3u);
    rmtest::ReadBack rb = rmtest::ReadAll(b);
    uint32_t lastB = 0;
    for (const auto& p : rb.packets) {
        lastB = std::max(lastB, p.timestamp);
    }
    EXPECT_EQ(r.plan.shifts[2],
              static_cast<int64_t>(rm::AlignToVideoFrames(r.plan.shifts[1] + lastB + 116, kRate)));
    rmtest::ReadBack ro = rmtest::ReadAll(m_dir.File("out.rm"));
    // Per stream, times never go back.
    std::map<uint16_t, uint32_t> last;
    for (const auto& p : ro.packets) {
        EXPECT_GE(p.timestamp, last[p.stream]);
        last[p.stream] = p.timestamp;
    }
}

// Each stream's first and last timestamps in `packets` whose times lie in [from, to).
std::map<uint16_t, std::pair<uint32_t, uint32_t>> StreamTimes(
    const std::vector<rmtest::ReadBack::P>& packets, uint32_t from, uint32_t to) {
    std::map<uint16_t, std::pair<uint32_t, uint32_t>> times;
    for (const auto& p : packets) {
        if (p.timestamp < from || p.timestamp >= to) {
            continue;
        }
        auto [it, fresh] = times.try_emplace(p.stream, p.timestamp, p.timestamp);
        it->second.first = std::min(it->second.first, p.timestamp);
        it->second.second = std::max(it->second.second, p.timestamp);
    }
    return times;
}

// A file whose streams all start late (sipr's 128 ms, or a file cut from a longer one), its
// video 40 ms after its sound: at each seam that shared lead is not repeated, and the streams
// keep their 40 ms to each other.
TEST_F(RmJoinCore, ALeadEveryStreamSharesIsNotRepeatedAtASeam) {
    TestFile late = rmtest::Rv40CookFile(3, 4);
    for (rmtest::TestPacket& p : late.packets) {
        p.timestamp += p.stream == 0 ? 128 : 168;
    }
    const std::string a = Write("late.rm", late);
    const std::string out = m_dir.File("out.rm");
    rmtest::JoinResult r = rmtest::JoinFiles({a, a, a}, out);
    ASSERT_EQ(r.hr, S_OK) << r.text;
    rmtest::ReadBack ra = rmtest::ReadAll(a);
    rmtest::ReadBack ro = rmtest::ReadAll(out);
    ASSERT_EQ(ro.packets.size(), 3 * ra.packets.size());
    const auto in = StreamTimes(ra.packets, 0, UINT32_MAX);
    const uint32_t inEnd = in.at(0).second + 116;  // the cook packets' spacing
    ASSERT_EQ(r.plan.starts.size(), 3u);
    EXPECT_EQ(r.plan.starts[0], 0u);
    for (size_t i = 0; i < 3; ++i) {
        const uint32_t from = r.plan.starts[i];
        const uint32_t to = i + 1 < 3 ? r.plan.starts[i + 1] : UINT32_MAX;
        const auto got = StreamTimes(ro.packets, from, to);
        ASSERT_EQ(got.size(), 2u) << i;
        // The first input as it is; a later one begins at its seam with its sound.
        const uint32_t begins = i == 0 ? 128 : from;
        EXPECT_EQ(got.at(0).first, begins) << i;
        EXPECT_EQ(got.at(1).first, begins + 40) << i;
        EXPECT_EQ(got.at(0).second - got.at(0).first, in.at(0).second - in.at(0).first) << i;
        if (i + 1 < 3) {
            // The next input starts where this one's sound ends, on the next frame slot.
            const uint32_t ends = begins + (inEnd - 128);
            EXPECT_GE(to, ends) << i;
            EXPECT_LT(to, ends + 34) << i;
        }
    }
}

// Inputs that differ only where no decoder reads (an encoding at another bit rate: the
// RealAudio header's bytes per minute, the media properties' rates and preroll, the file's
// preroll) join like matching ones; the joined header takes the largest rate and preroll.
TEST_F(RmJoinCore, FieldsNoDecoderReadsMayDiffer) {
    const std::string a = Write("a.rm", rmtest::Rv40CookFile(3, 1));
    TestFile other = rmtest::Rv40CookFile(2, 2);
    ByteWriter cook;
    cook.Bytes(other.streams[0].typeData.data(), other.streams[0].typeData.size());
    cook.PatchBE32(rm::kRaBytesPerMinute, 240000);
    cook.PatchBE32(rm::kRaBytesPerMinute2, 240000);
    other.streams[0].typeData = cook.bytes();
    other.streams[0].preroll = 4000;
    const std::vector<uint8_t> built = BuildFile(other);
    ByteWriter w;
    w.Bytes(built.data(), built.size());
    for (const auto& c : rmtest::TopChunks(built)) {
        if (c.id == "PROP") {
            w.PatchBE32(c.offset + rm::kPropPreroll, 4200);
        } else if (c.id == "MDPR" && ByteReader(built).BE16(c.offset + rm::kMdprStream) == 0) {
            w.PatchBE32(c.offset + rm::kMdprMaxBitRate, 128000);
            w.PatchBE32(c.offset + rm::kMdprAvgBitRate, 128000);
        }
    }
    const std::string b = m_dir.File("b.rm");
    ASSERT_TRUE(kjtest::WriteFileBytes(b, w.bytes()));
    const std::string out = m_dir.File("out.rm");
    rmtest::JoinResult r = rmtest::JoinFiles({a, b}, out);
    ASSERT_EQ(r.hr, S_OK) << r.text;
    rmtest::ReadBack ra = rmtest::ReadAll(a);
    rmtest::ReadBack rb = rmtest::ReadAll(b);
    rmtest::ReadBack ro = rmtest::ReadAll(out);
    ASSERT_EQ(ro.packets.size(), ra.packets.size() + rb.packets.size());
    for (size_t i = 0; i < ro.packets.size(); ++i) {
        const auto& in = i < ra.packets.size() ? ra.packets[i] : rb.packets[i - ra.packets.size()];
        ASSERT_TRUE(std::equal(in.bytes.begin() + 10, in.bytes.end(),
                               ro.packets[i].bytes.begin() + 10, ro.packets[i].bytes.end()))
            << i;
    }
    EXPECT_EQ(ro.header.props.preroll, 4200u);
    EXPECT_EQ(ro.header.Stream(0)->preroll, 4000u);
    EXPECT_EQ(ro.header.Stream(0)->maxBitRate, 128000u);
    EXPECT_EQ(ro.header.Stream(0)->typeData, ra.header.Stream(0)->typeData);
    // What a decoder does read still refuses: another flavor.
    TestFile flavor = rmtest::Rv40CookFile(2, 2);
    flavor.streams[0].typeData[rm::kRaFlavor + 1] ^= 1;
    rmtest::JoinResult refused = rmtest::JoinFiles({a, Write("flavor.rm", flavor)}, out);
    EXPECT_EQ(refused.hr, RMEDIT_E_AUDIO_MISMATCH) << refused.text;
}

TEST_F(RmJoinCore, RefusesWhatCannotFollowAndSaysWhy) {
    const std::string a = Write("a.rm", rmtest::Rv40CookFile(2, 1));
    struct Case {
        const char* name;
        TestFile file;
        HRESULT code;
        const char* text;
    };
    TestFile noVideo = rmtest::Rv40CookFile(2, 2);
    noVideo.streams.erase(noVideo.streams.begin() + 1);
    std::erase_if(noVideo.packets, [](const rmtest::TestPacket& p) { return p.stream == 1; });
    TestFile emptyAudio = rmtest::Rv40CookFile(2, 2);
    std::erase_if(emptyAudio.packets, [](const rmtest::TestPacket& p) { return p.stream == 0; });
    TestFile noPackets = rmtest::Rv40CookFile(2, 2);
    noPackets.packets.clear();
    TestFile encrypted = rmtest::Rv40CookFile(2, 2);
    encrypted.streams[1].mime = "video/x-pn-realvideo-encrypted";
    TestFile extra = rmtest::Rv40CookFile(2, 2);
    extra.streams.push_back({5, "", "audio/x-pn-realaudio", rmtest::CookHeader(), 0, 0});
    const Case cases[] = {
        {"size.rm", rmtest::Rv40CookFile(2, 2, 320), RMEDIT_E_VIDEO_MISMATCH,
         "The video stream of the source files are mismatch: in size.rm the picture is 320x480, "
         "not 640x480 as in a.rm."},
        {"rate.rm", rmtest::Rv40CookFile(2, 2, 640, 22050), RMEDIT_E_AUDIO_MISMATCH,
         "The audio stream of the source files are mismatch: in rate.rm the audio sample rate is "
         "22050 Hz, not 44100 Hz as in a.rm."},
        {"novideo.rm", noVideo, RMEDIT_E_NO_VIDEO_MATCH, "novideo.rm has no video stream 1"},
        {"emptyaudio.rm", emptyAudio, RMEDIT_E_EMPTY_STREAM, "audio stream 0 of emptyaudio.rm"},
        {"nodata.rm", noPackets, RMEDIT_E_NO_DATA, "There is no data in the input file nodata.rm."},
        {"locked.rm", encrypted, RMEDIT_E_ENCRYPTED, "Source Video has been encrypted: locked.rm"},
        {"extra.rm", extra, RMEDIT_E_AUDIO_MISMATCH, "extra.rm has a audio stream 5"},
    };
    for (const Case& c : cases) {
        const std::string other = Write(c.name, c.file);
        const std::string out = m_dir.File(std::string("out-") + c.name);
        rmtest::JoinResult r = rmtest::JoinFiles({a, other}, out);
        EXPECT_EQ(r.hr, c.code) << c.name << ": " << r.text;
        EXPECT_NE(r.text.find(c.text), std::string::npos) << c.name << ": " << r.text;
        EXPECT_FALSE(std::filesystem::exists(out)) << c.name;
    }
    // Not a RealMedia file at all.
    ByteWriter junk;
    junk.Text("RIFF").Zeros(100);
    kjtest::WriteFileBytes(m_dir.File("junk.rm"), junk.bytes());
    rmtest::JoinResult r = rmtest::JoinFiles({a, m_dir.File("junk.rm")}, m_dir.File("o.rm"));
    EXPECT_EQ(r.hr, RMEDIT_E_BAD_FILE);
    EXPECT_NE(r.text.find("junk.rm cannot be joined"), std::string::npos) << r.text;
}

TEST_F(RmJoinCore, RefusesAnOutputPastTheLimitBeforeWritingAnything) {
    const std::string a = Write("a.rm", rmtest::Rv40CookFile(2, 1));
    const std::string out = m_dir.File("big.rm");
    rmtest::JoinResult fits = rmtest::JoinFiles({a, a}, out);
    ASSERT_EQ(fits.hr, S_OK);
    const uint64_t size = std::filesystem::file_size(out);
    EXPECT_EQ(size, fits.plan.TotalBytes());
    std::filesystem::remove(out);
    Recorder rec;
    rmtest::JoinResult r = rmtest::JoinFiles({a, a}, out, &rec, size - 1);
    EXPECT_EQ(r.hr, RMEDIT_E_TOO_LARGE);
    EXPECT_NE(r.text.find("cannot be larger than 4 GB"), std::string::npos) << r.text;
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_TRUE(rec.events.empty());
}

TEST_F(RmJoinCore, OutputProblemsLeaveNothingBehind) {
    const std::string a = Write("a.rm", rmtest::Rv40CookFile(2, 1));
    // Onto an input.
    rmtest::JoinResult onto = rmtest::JoinFiles({a, a}, a);
    EXPECT_EQ(onto.hr, RMEDIT_E_READ_ONLY);
    EXPECT_EQ(kjtest::ReadFileBytes(a), BuildFile(rmtest::Rv40CookFile(2, 1)));
    // Into a folder that cannot be written.
    rmtest::JoinResult nowhere = rmtest::JoinFiles({a, a}, m_dir.File("no/such/folder/o.rm"));
    EXPECT_EQ(nowhere.hr, RMEDIT_E_READ_ONLY);
    EXPECT_NE(nowhere.text.find("cannot be written"), std::string::npos);
    // Stopped half way: no partial file.
    Recorder rec;
    rec.stopAt = 50;
    const std::string out = m_dir.File("stopped.rm");
    rmtest::JoinResult stopped = rmtest::JoinFiles({a, a}, out, &rec);
    EXPECT_EQ(stopped.hr, E_ABORT);
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(rec.percents.back(), 50u);
    // Stopped onto an older file: it stays as it was, and no temporary file is left beside it.
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    ASSERT_TRUE(kjtest::WriteFileBytes(out, old));
    auto entries = std::distance(std::filesystem::directory_iterator(m_dir.path()), {});
    Recorder again;
    again.stopAt = 50;
    EXPECT_EQ(rmtest::JoinFiles({a, a}, out, &again).hr, E_ABORT);
    EXPECT_EQ(kjtest::ReadFileBytes(out), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.path()), {}), entries);
}

}  // namespace
