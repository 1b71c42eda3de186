// kjoin telling a file cut short when it is probed or checked, for each kind: the line under the
// file's texts, the same line in the check of a list, and both in the JSON.
#include <gtest/gtest.h>

#include <regex>

#include "tests/support/media_fixtures.h"

namespace {

struct Kind {
    const char* ext;
    const char* codecs;
    bool tellsLength;  // the header says how long the whole file is
};

std::string Kjoin() {
    return kjtest::ShellQuote(kjtest::BinDir() + "/kjoin");
}

class KjoinCutShort : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        const Kind& kind = GetParam();
        m_whole = m_dir.File(std::string("whole.") + kind.ext);
        m_cut = m_dir.File(std::string("cut.") + kind.ext);
        ASSERT_TRUE(kjtest::MakeWithFfmpeg(
            std::string("-f lavfi -i testsrc=size=320x240:rate=25,noise=alls=40:allf=t "
                        "-f lavfi -i sine=r=44100 -t 4 ") +
                kind.codecs,
            m_whole));
        std::vector<uint8_t> bytes = kjtest::ReadFileBytes(m_whole);
        bytes.resize(bytes.size() * 3 / 10);
        ASSERT_TRUE(kjtest::WriteFileBytes(m_cut, bytes));
    }

    kjtest::TempDir m_dir;
    std::string m_whole;
    std::string m_cut;
};

TEST_P(KjoinCutShort, ProbeAndCheckPrintTheSameLineAndTheJsonCarriesIt) {
    kjtest::CommandResult probe = kjtest::RunCommand(
        Kjoin() + " probe " + kjtest::ShellQuote(m_whole) + " " + kjtest::ShellQuote(m_cut));
    ASSERT_EQ(probe.exitCode, 0) << probe.output;
    std::smatch match;
    const std::regex line(GetParam().tellsLength
                              ? R"(  (cut short: about (\d+\.\d) s of 4\.0 s can be read)\n)"
                              : R"(  (cut short: about (\d+\.\d) s can be read)\n)");
    ASSERT_TRUE(std::regex_search(probe.output, match, line)) << probe.output;
    std::string said = match[1];
    double readable = std::stod(match[2]);
    // A third of the bytes is about a third of the time (the first pictures weigh more).
    EXPECT_GT(readable, 0.4) << said;
    EXPECT_LT(readable, 2.0) << said;
    // Said once, for the cut file only: it comes after the whole file's texts.
    EXPECT_EQ(probe.output.find("cut short"), probe.output.rfind("cut short"));
    EXPECT_GT(probe.output.find("cut short"), probe.output.find(m_cut));

    kjtest::CommandResult json =
        kjtest::RunCommand(Kjoin() + " probe --json " + kjtest::ShellQuote(m_cut));
    EXPECT_NE(json.output.find("\"text\": \"" + said + "\""), std::string::npos) << json.output;

    kjtest::CommandResult check = kjtest::RunCommand(
        Kjoin() + " check " + kjtest::ShellQuote(m_whole) + " " + kjtest::ShellQuote(m_cut));
    std::string cutName = std::string("cut.") + GetParam().ext;
    EXPECT_NE(check.output.find(cutName + ": " + said + "\n"), std::string::npos) << check.output;
    EXPECT_EQ(check.output.find("whole." + std::string(GetParam().ext) + ": cut short"),
              std::string::npos);

    kjtest::CommandResult checkJson = kjtest::RunCommand(
        Kjoin() + " check --json " + kjtest::ShellQuote(m_whole) + " " + kjtest::ShellQuote(m_cut));
    EXPECT_NE(checkJson.output.find("\"cut_short\": [{\"input\": 1, \"path\": \"" + m_cut +
                                    "\", \"text\": \"" + said + "\"}]"),
              std::string::npos)
        << checkJson.output;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, KjoinCutShort,
    ::testing::Values(
        Kind{"wmv", "-c:v wmv2 -b:v 4M -c:a wmav2", true},
        Kind{"rm", "-c:v rv20 -b:v 4M -c:a ac3", true},
        Kind{"avi", "-c:v mpeg4 -b:v 4M -c:a libmp3lame", true},
        Kind{"mpg", "-c:v mpeg1video -b:v 4M -maxrate 4M -bufsize 1M -c:a mp2 -f mpeg", false}),
    [](const ::testing::TestParamInfo<Kind>& info) { return std::string(info.param.ext); });

}  // namespace
