// Damaged and cut-short inputs, built byte by byte: the packet walk skips damage and counts it,
// stops at the last whole packet of a cut file, and a join leaves out the frames and audio
// interleave blocks such an input does not finish.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engines/realmedia/rm_reader.h"
#include "engines/realmedia/rmedit.h"
#include "engines/realmedia/tests/rm_bytes.h"
#include "engines/realmedia/tests/rm_test_support.h"
#include "tests/support/media_fixtures.h"

namespace {

using rmtest::BuildFile;

struct Walked {
    HRESULT end = E_FAIL;
    std::vector<uint64_t> offsets;
    bool cutShort = false;
    uint32_t damaged = 0;
    uint32_t resyncs = 0;
};

Walked WalkAll(const std::vector<uint8_t>& bytes) {
    Walked w;
    rm::MemorySource source(bytes.data(), bytes.size());
    rm::RmHeader header;
    if (FAILED(rm::ReadHeader(source, header, nullptr))) {
        return w;
    }
    rm::PacketReader reader(source, header);
    rm::Packet p;
    while ((w.end = reader.Next(p, nullptr)) == S_OK) {
        w.offsets.push_back(p.offset);
    }
    w.cutShort = reader.CutShort();
    w.damaged = reader.DamagedPackets();
    w.resyncs = reader.Resyncs();
    return w;
}

void Scramble(std::vector<uint8_t>& bytes, size_t from, size_t to) {
    kjtest::Scramble(bytes, from, to, 12345);
}

TEST(RmDamage, NoiseAcrossPacketsIsSkippedAndTheChunkCountSaysHowMany) {
    const std::vector<uint8_t> good = BuildFile(rmtest::Rv40CookFile(4, 3));
    const Walked clean = WalkAll(good);
    ASSERT_EQ(clean.end, S_FALSE);
    EXPECT_EQ(clean.damaged, 0u);
    const size_t k = clean.offsets.size() / 2;
    // From inside packet k to inside the header of packet k + 3: four packets are touched.
    std::vector<uint8_t> bad = good;
    Scramble(bad, clean.offsets[k] + 20, clean.offsets[k + 3] + 6);
    const Walked w = WalkAll(bad);
    ASSERT_EQ(w.end, S_FALSE);
    std::vector<uint64_t> want = clean.offsets;
    want.erase(want.begin() + static_cast<long>(k), want.begin() + static_cast<long>(k + 4));
    EXPECT_EQ(w.offsets, want);
    EXPECT_EQ(w.damaged, 4u);
    EXPECT_EQ(w.resyncs, 1u);
    EXPECT_FALSE(w.cutShort);

    // A run of zero bytes in the middle is damage too; a few after the last packet are not.
    bad = good;
    std::fill(bad.begin() + static_cast<long>(clean.offsets[k]),
              bad.begin() + static_cast<long>(clean.offsets[k] + 4096), 0);
    EXPECT_GT(WalkAll(bad).damaged, 0u);
    EXPECT_EQ(WalkAll(bad).end, S_FALSE);
}

TEST(RmDamage, ACutFileEndsWithItsLastWholePacket) {
    rmtest::TestFile f = rmtest::Rv40CookFile(3, 5);
    f.withIndex = false;
    const std::vector<uint8_t> good = BuildFile(f);
    const Walked clean = WalkAll(good);
    const size_t k = clean.offsets.size() * 7 / 10;
    for (size_t into : {size_t{5}, size_t{30}}) {  // inside the header, inside the payload
        std::vector<uint8_t> cut(good.begin(),
                                 good.begin() + static_cast<long>(clean.offsets[k] + into));
        const Walked w = WalkAll(cut);
        EXPECT_EQ(w.end, S_FALSE);
        EXPECT_EQ(w.offsets.size(), k) << into;
        EXPECT_TRUE(w.cutShort) << into;
        EXPECT_EQ(w.damaged, 0u);
    }
    // Cut where a packet starts: every packet is whole.
    std::vector<uint8_t> atPacket(good.begin(), good.begin() + static_cast<long>(clean.offsets[k]));
    EXPECT_EQ(WalkAll(atPacket).offsets.size(), k);
    // Zero bytes after the packets, as ffmpeg writes them, are neither damage nor a cut.
    std::vector<uint8_t> zeros = good;
    zeros.insert(zeros.end(), 8, 0);
    const Walked z = WalkAll(zeros);
    EXPECT_EQ(z.offsets, clean.offsets);
    EXPECT_FALSE(z.cutShort);
    EXPECT_EQ(z.damaged, 0u);
}

class RmDamageJoin : public ::testing::Test {
protected:
    std::string Write(const char* name, const std::vector<uint8_t>& bytes) {
        std::string path = m_dir.File(name);
        EXPECT_TRUE(kjtest::WriteFileBytes(path, bytes));
        return path;
    }
    // Every cook block of the output has its 16 packets, opened by a key packet, and every
    // video frame both of its fragments.
    static void ExpectWholeUnits(const rmtest::ReadBack& out) {
        int inBlock = 0;
        const rmtest::ReadBack::P* open = nullptr;
        for (const auto& p : out.packets) {
            if (p.stream == 0) {
                if (p.key) {
                    EXPECT_EQ(inBlock, 0) << "a block cut short before " << p.timestamp;
                }
                EXPECT_TRUE(inBlock > 0 || p.key) << "a block without its key at " << p.timestamp;
                inBlock = (inBlock + 1) % 16;
            } else if (p.stream == 1) {
                const uint8_t type = p.bytes[12] >> 6;
                if (open == nullptr) {
                    EXPECT_EQ(type, 0) << "a frame without its start at " << p.timestamp;
                    open = &p;
                } else {
                    EXPECT_EQ(type, 2) << "a frame without its end at " << open->timestamp;
                    EXPECT_EQ(p.timestamp, open->timestamp);
                    open = nullptr;
                }
            }
        }
        EXPECT_EQ(inBlock, 0) << "the last block is not whole";
        EXPECT_EQ(open, nullptr) << "the last frame is not whole";
    }
    kjtest::TempDir m_dir;
};

TEST_F(RmDamageJoin, ACutInputLosesItsUnfinishedFrameAndBlockAndEndsWhereItsDataEnds) {
    const std::string a = Write("a.rm", BuildFile(rmtest::Rv40CookFile(4, 1)));
    const std::vector<uint8_t> whole = BuildFile(rmtest::Rv40CookFile(6, 2));
    const Walked clean = WalkAll(whole);
    // Inside the last fragment of a frame some way into the third block.
    rmtest::ReadBack parsed = rmtest::ReadAll(Write("whole.rm", whole));
    size_t k = 0;
    for (size_t i = 0; i < parsed.packets.size(); ++i) {
        const auto& p = parsed.packets[i];
        if (p.stream == 1 && p.timestamp > 2 * 1858 + 500 && (p.bytes[12] >> 6) == 2) {
            k = i;
            break;
        }
    }
    ASSERT_GT(k, 0u);
    const std::string cut = Write(
        "cut.rm", std::vector<uint8_t>(whole.begin(),
                                       whole.begin() + static_cast<long>(clean.offsets[k] + 40)));
    const std::string out = m_dir.File("out.rm");
    for (const auto& order : {std::vector<std::string>{a, cut}, std::vector<std::string>{cut, a}}) {
        rmtest::JoinResult r = rmtest::JoinFiles(order, out);
        ASSERT_EQ(r.hr, S_OK) << r.text;
        const size_t c = order[0] == cut ? 0 : 1;
        ASSERT_EQ(r.plan.damage.size(), 2u);
        EXPECT_TRUE(r.plan.damage[c].cutShort);
        EXPECT_FALSE(r.plan.damage[1 - c].cutShort);
        EXPECT_EQ(r.plan.damage[c].damagedPackets, 0u);
        // Two whole blocks are left of the cut input's audio; its video ends at its last whole
        // frame, before the cut.
        EXPECT_LT(r.plan.damage[c].joinedMs, parsed.packets[k].timestamp + 1);
        EXPECT_GT(r.plan.damage[c].joinedMs, 2 * 1858);
        EXPECT_GE(r.plan.damage[c].fullMs, 6000u);
        rmtest::ReadBack o = rmtest::ReadAll(out);
        ASSERT_TRUE(o.ok);
        ExpectWholeUnits(o);
        uint32_t lastOfCut = 0;
        for (const auto& p : o.packets) {
            if ((c == 0) == (p.timestamp < r.plan.starts[1])) {
                lastOfCut = std::max(lastOfCut, p.timestamp - (c == 0 ? 0 : r.plan.starts[1]));
            }
        }
        EXPECT_LE(lastOfCut, r.plan.damage[c].joinedMs);
        if (c == 0) {
            // The next input follows on the next frame slot: no gap for what was cut off.
            EXPECT_GE(r.plan.starts[1], r.plan.damage[0].joinedMs);
            EXPECT_LT(r.plan.starts[1], r.plan.damage[0].joinedMs + 100);
        }
    }
}

TEST_F(RmDamageJoin, AfterDamageEachStreamStartsAgainAtAKey) {
    const std::string a = Write("a.rm", BuildFile(rmtest::Rv40CookFile(4, 1)));
    std::vector<uint8_t> bytes = BuildFile(rmtest::Rv40CookFile(6, 2));
    const Walked clean = WalkAll(bytes);
    const size_t k = clean.offsets.size() / 2;
    Scramble(bytes, clean.offsets[k] + 20, clean.offsets[k + 3] + 6);
    const std::string noisy = Write("noisy.rm", bytes);
    rmtest::JoinResult r = rmtest::JoinFiles({a, noisy}, m_dir.File("out.rm"));
    ASSERT_EQ(r.hr, S_OK) << r.text;
    EXPECT_EQ(r.plan.damage[1].damagedPackets, 4u);
    EXPECT_FALSE(r.plan.damage[1].cutShort);
    rmtest::ReadBack o = rmtest::ReadAll(m_dir.File("out.rm"));
    ExpectWholeUnits(o);
    // The video picks up at a key frame after the damage.
    uint32_t last = 0;
    for (const auto& p : o.packets) {
        if (p.stream == 1 && p.timestamp >= r.plan.starts[1]) {
            if (last != 0 && p.timestamp > last + 100) {
                EXPECT_TRUE(p.key) << "video resumes at " << p.timestamp << " without a key";
            }
            last = p.timestamp;
        }
    }
}

TEST_F(RmDamageJoin, RefusesAFileMostlyDamagedOrWithoutOneWholePacket) {
    const std::string a = Write("a.rm", BuildFile(rmtest::Rv40CookFile(2, 1)));
    const std::vector<uint8_t> whole = BuildFile(rmtest::Rv40CookFile(4, 2));
    const Walked clean = WalkAll(whole);
    std::vector<uint8_t> bytes = whole;
    Scramble(bytes, clean.offsets[3], clean.offsets[clean.offsets.size() - 3]);
    rmtest::JoinResult r = rmtest::JoinFiles({a, Write("most.rm", bytes)}, m_dir.File("o.rm"));
    EXPECT_EQ(r.hr, RMEDIT_E_BAD_FILE);
    EXPECT_NE(r.text.find("More than half of the packets of most.rm are damaged"),
              std::string::npos)
        << r.text;
    std::vector<uint8_t> none(whole.begin(),
                              whole.begin() + static_cast<long>(clean.offsets[0] + 8));
    r = rmtest::JoinFiles({a, Write("none.rm", none)}, m_dir.File("o.rm"));
    EXPECT_EQ(r.hr, RMEDIT_E_NO_DATA);
    EXPECT_NE(r.text.find("none.rm is cut short before its first whole packet"), std::string::npos)
        << r.text;
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("o.rm")));
}

}  // namespace
