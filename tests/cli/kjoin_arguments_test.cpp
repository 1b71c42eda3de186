// kjoin's options end at "--": a file whose name begins with "-" can be probed, checked and
// joined after it, and is an unknown option before it.
#include <gtest/gtest.h>

#include "tests/support/media_fixtures.h"

namespace {

std::string Kjoin() {
    return kjtest::ShellQuote(kjtest::BinDir() + "/kjoin");
}

class KjoinArguments : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"part1.wmv", "-part2.wmv"}) {
            ASSERT_TRUE(kjtest::MakeWithFfmpeg(
                "-f lavfi -i testsrc=size=160x120:rate=10 -t 1 -c:v wmv2", m_dir.File(name)));
        }
    }
    kjtest::CommandResult InDir(const std::string& arguments) {
        return kjtest::RunCommand("cd " + kjtest::ShellQuote(m_dir.path()) + " && " + Kjoin() +
                                  " " + arguments);
    }
    kjtest::TempDir m_dir;
};

TEST_F(KjoinArguments, AFileNamedLikeAnOptionIsGivenAfterTheEndOfOptions) {
    struct Case {
        const char* before;  // the command and its options
        bool joins;
    };
    for (Case c : {Case{"probe", false}, Case{"check", false}, Case{"join -o joined.wmv", true}}) {
        kjtest::CommandResult refused = InDir(std::string(c.before) + " part1.wmv -part2.wmv");
        EXPECT_EQ(refused.exitCode, 1) << c.before;
        EXPECT_NE(refused.output.find("unknown option -part2.wmv"), std::string::npos)
            << refused.output;

        kjtest::CommandResult given = InDir(std::string(c.before) + " -- part1.wmv -part2.wmv");
        EXPECT_EQ(given.exitCode, 0) << c.before << ": " << given.output;
        EXPECT_EQ(given.output.find("unknown option"), std::string::npos) << given.output;
        if (c.joins) {
            EXPECT_EQ(kjtest::CountPackets(m_dir.File("joined.wmv"), "v:0"),
                      kjtest::CountPackets(m_dir.File("part1.wmv"), "v:0") +
                          kjtest::CountPackets(m_dir.File("-part2.wmv"), "v:0"));
        }
    }
    // "--" is no file, and after it neither is --help an option.
    kjtest::CommandResult probe = InDir("probe -- -part2.wmv --help");
    EXPECT_EQ(probe.exitCode, 1) << probe.output;  // there is no file named --help
    EXPECT_NE(probe.output.find("Width/Height:  160/120"), std::string::npos) << probe.output;
    EXPECT_EQ(probe.output.find("Usage:"), std::string::npos) << probe.output;
}

}  // namespace
