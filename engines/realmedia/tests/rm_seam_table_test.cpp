// Real Media joins judged at their seams by ffmpeg, mpv and GStreamer: pairs made by ffmpeg
// (rv10 and rv20 with AC-3, one with a lead every stream shares) and files from RealNetworks'
// encoders joined with themselves, each also with its first input cut inside an audio packet
// (but the RV40 + cook file: cut, it loses its last 1.9 s interleave block of sound while its
// picture runs on, and mpv rightly notes the jump in audio time at the seam).
#include <gtest/gtest.h>

#include <filesystem>

#include "engines/realmedia/tests/rm_test_support.h"
#include "tests/support/output_judge.h"
#include "tests/support/seam_expect.h"

namespace {

struct SeamCase {
    const char* name;
    const char* first;  // a file made in SetUpTestSuite, or one of ../shared/media/realmedia
    const char* second;
    bool cutFirst;
    bool shared;
};

std::string SharedMedia(const std::string& name) {
    return std::string(KJ_SHARED_MEDIA_DIR) + "/realmedia/" + name;
}

// A copy of `bytes` whose packets' timestamps are all `lead` ms later: a file whose streams
// start together after a lead (a sipr file's 128 ms; ffmpeg's rm muxer ignores
// -output_ts_offset, so the lead is written into the packets).
std::vector<uint8_t> WithLead(std::vector<uint8_t> bytes, const std::string& path, uint32_t lead) {
    for (const auto& p : rmtest::ReadAll(path).packets) {
        ByteWriter t;
        t.BE32(p.timestamp + lead);
        std::copy(t.bytes().begin(), t.bytes().end(),
                  bytes.begin() + static_cast<std::ptrdiff_t>(p.offset + rm::kPacketTimestamp));
    }
    return bytes;
}

// `path` cut in the middle of its third-last audio packet.
std::vector<uint8_t> CutInAudio(const std::string& path) {
    rmtest::ReadBack back = rmtest::ReadAll(path);
    std::vector<const rmtest::ReadBack::P*> audio;
    for (const auto& p : back.packets) {
        const rm::MediaProperties* m = back.header.Stream(p.stream);
        if (m != nullptr && m->IsAudio()) {
            audio.push_back(&p);
        }
    }
    std::vector<uint8_t> bytes = kjtest::ReadFileBytes(path);
    if (audio.size() < 3) {
        return bytes;
    }
    const rmtest::ReadBack::P& at = *audio[audio.size() - 3];
    bytes.resize(at.offset + at.bytes.size() / 2);
    return bytes;
}

class RmSeamTable : public ::testing::TestWithParam<SeamCase> {
protected:
    static void SetUpTestSuite() {
        s_dir = new kjtest::TempDir();
        auto make = [](const char* src, double secs, const char* codec, const char* name) {
            std::string error;
            ASSERT_TRUE(kjtest::MakeWithFfmpeg(
                std::string("-f lavfi -i ") + src +
                    "=size=176x144:rate=15 -f lavfi -i sine=frequency=440 -t " +
                    std::to_string(secs) + " -c:v " + codec +
                    " -c:a ac3 -b:a 64k -ar 44100 -ac 2 -g 15",
                s_dir->File(name), &error))
                << error;
        };
        make("testsrc", 2.3, "rv10", "a10.rm");
        make("testsrc2", 1.7, "rv10", "b10.rm");
        make("testsrc", 1.9, "rv20", "a20.rm");
        make("smptebars", 2.1, "rv20", "b20.rm");
        const std::string a20 = s_dir->File("a20.rm");
        kjtest::WriteFileBytes(s_dir->File("lead20.rm"),
                               WithLead(kjtest::ReadFileBytes(a20), a20, 128));
    }
    static void TearDownTestSuite() { delete s_dir; }
    static kjtest::TempDir* s_dir;
};
kjtest::TempDir* RmSeamTable::s_dir = nullptr;

TEST_P(RmSeamTable, EveryPacketIsKeptAndTheSeamsPassUnnoticed) {
    const SeamCase& c = GetParam();
    ASSERT_EQ(kjtest::MissingReaders(), "");
    std::string first = c.shared ? SharedMedia(c.first) : s_dir->File(c.first);
    const std::string second = c.shared ? SharedMedia(c.second) : s_dir->File(c.second);
    if (c.shared && !std::filesystem::exists(first)) {
        GTEST_SKIP() << "../shared/media is absent: " << first;
    }
    if (c.cutFirst) {
        const std::string cut = s_dir->File(std::string("cut-") + c.name + ".rm");
        ASSERT_TRUE(kjtest::WriteFileBytes(cut, CutInAudio(first)));
        first = cut;
    }
    const std::string out = s_dir->File(std::string(c.name) + "_join.rm");
    rmtest::JoinResult r = rmtest::JoinFiles({first, second, second}, out);
    ASSERT_EQ(r.hr, S_OK) << r.text;
    EXPECT_EQ(r.plan.damage[0].cutShort, c.cutFirst);
    kjtest::ExpectSeamsUnnoticed({{first, c.cutFirst}, {second}, {second}}, out);
}

std::string CaseName(const ::testing::TestParamInfo<SeamCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Generated, RmSeamTable,
    ::testing::Values(SeamCase{"rv10_ac3", "a10.rm", "b10.rm", false, false},
                      SeamCase{"rv10_ac3_cut", "a10.rm", "b10.rm", true, false},
                      SeamCase{"rv20_ac3", "a20.rm", "b20.rm", false, false},
                      SeamCase{"rv20_ac3_cut", "a20.rm", "b20.rm", true, false},
                      SeamCase{"rv20_ac3_lead", "lead20.rm", "lead20.rm", false, false},
                      SeamCase{"rv20_ac3_lead_cut", "lead20.rm", "lead20.rm", true, false}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(RealEncoders, RmSeamTable,
                         ::testing::Values(SeamCase{"rv40_cook", "rv40-cook-640x480-2008.rv",
                                                    "rv40-cook-640x480-2008.rv", false, true},
                                           SeamCase{"cook_event", "cook-realevent-2000.rm",
                                                    "cook-realevent-2000.rm", false, true},
                                           SeamCase{"cook_event_cut", "cook-realevent-2000.rm",
                                                    "cook-realevent-2000.rm", true, true},
                                           SeamCase{"rv10_dnet", "rv10-dnet-176x144-1997.rm",
                                                    "rv10-dnet-176x144-1997.rm", false, true},
                                           SeamCase{"rv10_dnet_cut", "rv10-dnet-176x144-1997.rm",
                                                    "rv10-dnet-176x144-1997.rm", true, true}),
                         CaseName);

}  // namespace
