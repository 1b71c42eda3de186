// kjoin joining Windows Media and Real Media files as people have them: cut short (a download
// that stopped at 70 %) and with 4 KiB of noise in the middle. Judged by ffprobe and a full
// ffmpeg decode; the warnings must say which file and how much, and a file with nothing
// readable is still refused with the output that was there kept.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "platform/bytes.h"
#include "tests/support/media_fixtures.h"

namespace {

struct Kind {
    const char* ext;
    const char* codecs;
};

std::string Kjoin() {
    return kjtest::ShellQuote(kjtest::BinDir() + "/kjoin");
}

double Duration(const std::string& path) {
    return std::atof(kjtest::Ffprobe(path, "format=duration").c_str());
}

void Noise(std::vector<uint8_t>& bytes, size_t at, size_t count) {
    std::mt19937 random(7);
    for (size_t i = at; i < at + count && i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(random());
    }
}

// The offset of the first Real Media packet at or after `from`, walking the DATA chunk.
size_t RmPacketAfter(const std::vector<uint8_t>& bytes, size_t from) {
    ByteReader r(bytes);
    size_t off = 0;
    while (r.Has(off, 10) && r.BE32(off) != 0x44415441u) {  // "DATA"
        off += r.BE32(off + 4);
    }
    off += 18;
    while (r.Has(off, 12) && off < from) {
        off += r.BE16(off + 2);
    }
    return off;
}

// Where an ASF file's data packets begin.
size_t AsfFirstPacket(const std::vector<uint8_t>& bytes) {
    ByteReader r(bytes);
    return static_cast<size_t>(r.LE64(16)) + 50;
}

class KjoinDamagedWmRm : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        m_ext = GetParam().ext;
        ASSERT_TRUE(kjtest::MakeWithFfmpeg(
            "-f lavfi -i testsrc=size=176x144:rate=25 -f lavfi -i sine=frequency=440 -t 6 -g 25 " +
                std::string(GetParam().codecs),
            File("a")));
        m_good = kjtest::ReadFileBytes(File("a"));
        ASSERT_GT(m_good.size(), 20000u);
    }
    std::string File(const std::string& name) const { return m_dir.File(name + "." + m_ext); }
    // Writes `bytes` as `name` and joins a clean file with it (`damagedFirst`: in front).
    kjtest::CommandResult Join(const std::string& name, const std::vector<uint8_t>& bytes,
                               bool damagedFirst = false) {
        EXPECT_TRUE(kjtest::WriteFileBytes(File(name), bytes));
        const std::string a = kjtest::ShellQuote(File("a"));
        const std::string d = kjtest::ShellQuote(File(name));
        return kjtest::RunCommand(Kjoin() + " join -y -o " + kjtest::ShellQuote(Out()) + " " +
                                  (damagedFirst ? d + " " + a : a + " " + d) + " 2>&1");
    }
    std::string Out() const { return m_dir.File("out." + m_ext); }

    kjtest::TempDir m_dir;
    std::string m_ext;
    std::vector<uint8_t> m_good;
};

TEST_P(KjoinDamagedWmRm, ACutShortFileJoinsUpToItsLastWholePacketAndSaysHowMuch) {
    std::vector<uint8_t> cut(m_good.begin(), m_good.begin() + m_good.size() * 7 / 10);
    const double full = Duration(File("a"));
    for (bool first : {false, true}) {
        kjtest::CommandResult r = Join("cut", cut, first);
        ASSERT_EQ(r.exitCode, 0) << r.output;
        const std::string lead = "kjoin: warning: cut." + m_ext + " is cut short: its first ";
        size_t at = r.output.find(lead);
        ASSERT_NE(at, std::string::npos) << r.output;
        double joined = 0;
        double whole = 0;
        ASSERT_EQ(std::sscanf(r.output.c_str() + at + lead.size(), "%lf s of %lf s were joined.",
                              &joined, &whole),
                  2)
            << r.output;
        EXPECT_NEAR(whole, full, 0.2);
        EXPECT_GT(joined, full * 0.5);
        EXPECT_LT(joined, full * 0.85);
        // Nothing about the clean file, and the output holds what the warning says.
        EXPECT_EQ(r.output.find("a." + m_ext + " is cut short"), std::string::npos);
        EXPECT_EQ(kjtest::DecodeErrors(Out()), "") << (first ? "cut first" : "cut second");
        EXPECT_NEAR(Duration(Out()), full + joined, 0.3) << r.output;
    }
}

TEST_P(KjoinDamagedWmRm, NoiseInTheMiddleIsSkippedAndCounted) {
    std::vector<uint8_t> noisy = m_good;
    // Across packet boundaries: noise inside one packet's media data is not the container's
    // to see.
    size_t at = m_ext == "rm" ? RmPacketAfter(m_good, m_good.size() / 2) - 1024 : m_good.size() / 2;
    Noise(noisy, at, 4096);
    kjtest::CommandResult r = Join("noise", noisy);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const std::string lead = "kjoin: warning: noise." + m_ext + ": ";
    size_t found = r.output.find(lead);
    ASSERT_NE(found, std::string::npos) << r.output;
    int packets = 0;
    char rest[64] = {};
    ASSERT_EQ(std::sscanf(r.output.c_str() + found + lead.size(), "%d damaged packet%63[^\n]",
                          &packets, rest),
              2);
    EXPECT_GE(packets, 1);
    EXPECT_LE(packets, 8);
    EXPECT_EQ(r.output.find("cut short"), std::string::npos) << r.output;
    EXPECT_EQ(kjtest::DecodeErrors(Out()), "");
    EXPECT_NEAR(Duration(Out()), 2 * Duration(File("a")), 0.4);
}

TEST_P(KjoinDamagedWmRm, AFileWithNothingReadableIsRefusedAndTheOldOutputKept) {
    ASSERT_TRUE(kjtest::WriteFileBytes(Out(), {'o', 'l', 'd'}));
    // Cut a few bytes into its first packet.
    const size_t first = m_ext == "rm" ? RmPacketAfter(m_good, 0) : AsfFirstPacket(m_good);
    std::vector<uint8_t> none(m_good.begin(), m_good.begin() + first + 40);
    kjtest::CommandResult r = Join("none", none);
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find(m_ext == "rm" ? "none.rm is cut short before its first whole packet"
                                          : "The file ends before its first whole data packet"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(kjtest::ReadFileBytes(Out()), (std::vector<uint8_t>{'o', 'l', 'd'}));

    // Noise over all but its first few packets: more than half damaged.
    std::vector<uint8_t> most = m_good;
    Noise(most, first + 2 * 4096, most.size() - first - 3 * 4096);
    r = Join("most", most);
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("More than half of "), std::string::npos) << r.output;
    EXPECT_EQ(kjtest::ReadFileBytes(Out()), (std::vector<uint8_t>{'o', 'l', 'd'}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, KjoinDamagedWmRm,
                         ::testing::Values(Kind{"wmv", "-c:v wmv2 -c:a wmav2"},
                                           Kind{"rm", "-c:v rv20 -c:a ac3 -b:a 64k -ac 2"}),
                         [](const auto& info) { return std::string(info.param.ext); });

}  // namespace
