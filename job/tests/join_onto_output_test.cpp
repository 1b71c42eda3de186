// The joined file only appears at the output path, whole, when the join succeeded: what the
// engine sees while it writes, an old output that survives failures and stops, and an engine
// that opens its file by path again (as the Windows Media one does to add its header items).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "job/job_state.h"
#include "job/join_job.h"
#include "tests/support/media_fixtures.h"

namespace fs = std::filesystem;

namespace {

const std::vector<uint8_t> kOld = {'o', 'l', 'd'};
const std::vector<uint8_t> kNew = {'n', 'e', 'w', ' ', 'f', 'i', 'l', 'e'};

// Each case runs with the unnamed file and with the named one that serves where the file
// system has none.
class JoinOntoOutputTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        g_stopRequested = 0;
        g_errorText.clear();
        AllowUnnamedOutput(GetParam());
    }
    void TearDown() override {
        g_stopRequested = 0;
        AllowUnnamedOutput(true);
    }
    kjtest::TempDir m_dir;
};

TEST_P(JoinOntoOutputTest, WhileTheEngineWritesNothingNewIsSeenInTheFolder) {
    std::string output = m_dir.File("joined.wmv");
    ASSERT_TRUE(kjtest::WriteFileBytes(output, kOld));
    std::vector<std::string> during;
    std::string enginePath;
    int result = JoinOntoOutput(output, [&](const std::string& path) {
        enginePath = path;
        EXPECT_TRUE(kjtest::WriteFileBytes(path, kNew));
        during = kjtest::Listing(m_dir.path());
        // The engine's file is in the output's folder, so that naming it is one step.
        struct stat file {
        }, folder{};
        EXPECT_EQ(::stat(path.c_str(), &file), 0);
        EXPECT_EQ(::stat(m_dir.path().c_str(), &folder), 0);
        EXPECT_EQ(file.st_dev, folder.st_dev);
        return 1;
    });
    EXPECT_EQ(result, 1) << g_errorText;
    EXPECT_NE(enginePath, output);
    if (GetParam()) {
        EXPECT_EQ(during, std::vector<std::string>{"joined.wmv"});  // only the old output
    } else {
        // A hidden name beside the output, with the output's extension.
        ASSERT_EQ(during.size(), 2u);
        EXPECT_EQ(during[0].rfind(".joined.kjpart-", 0), 0u) << during[0];
        EXPECT_EQ(fs::path(during[0]).extension(), ".wmv");
        EXPECT_EQ(m_dir.File(during[0]), enginePath);
    }
    EXPECT_EQ(kjtest::ReadFileBytes(output), kNew);
    EXPECT_EQ(kjtest::Listing(m_dir.path()), std::vector<std::string>{"joined.wmv"});
}

TEST_P(JoinOntoOutputTest, AFailureOrAStopKeepsTheOldOutputAndLeavesNothing) {
    std::string output = m_dir.File("joined.rm");
    ASSERT_TRUE(kjtest::WriteFileBytes(output, kOld));
    for (bool stop : {false, true}) {
        int result = JoinOntoOutput(output, [&](const std::string& path) {
            kjtest::WriteFileBytes(path, kNew);
            if (stop) {
                g_stopRequested = 1;
                return 1;  // an engine that finished all the same
            }
            return 0;
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(kjtest::ReadFileBytes(output), kOld);
        EXPECT_EQ(kjtest::Listing(m_dir.path()), std::vector<std::string>{"joined.rm"});
        g_stopRequested = 0;
    }
    // Without an old output, nothing at all.
    fs::remove(output);
    EXPECT_EQ(JoinOntoOutput(output, [](const std::string&) { return 0; }), 0);
    EXPECT_TRUE(fs::is_empty(m_dir.path()));
}

TEST_P(JoinOntoOutputTest, AnEngineMayOpenItsFileByPathAgainAndGrowIt) {
    std::string output = m_dir.File("new.wmv");
    int result = JoinOntoOutput(output, [&](const std::string& path) {
        kjtest::WriteFileBytes(path, kNew);
        // Reopen for reading and writing, as a header editor does, and append.
        int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        EXPECT_GE(fd, 0);
        std::vector<uint8_t> head(kNew.size());
        EXPECT_EQ(::pread(fd, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
        EXPECT_EQ(head, kNew);
        EXPECT_EQ(::pwrite(fd, "!", 1, static_cast<off_t>(kNew.size())), 1);
        ::close(fd);
        return 1;
    });
    ASSERT_EQ(result, 1) << g_errorText;
    std::vector<uint8_t> want = kNew;
    want.push_back('!');
    EXPECT_EQ(kjtest::ReadFileBytes(output), want);
    mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(static_cast<unsigned>(fs::status(output).permissions()), 0666u & ~mask);
}

TEST_P(JoinOntoOutputTest, AFolderThatCannotTakeTheFileFailsWithAReason) {
    std::string output = m_dir.File("missing/joined.wmv");
    bool ran = false;
    EXPECT_EQ(JoinOntoOutput(output, [&](const std::string&) { return ran = true, 1; }), 0);
    EXPECT_FALSE(ran);
    EXPECT_NE(g_errorText.find("Cannot write in the folder " + m_dir.File("missing")),
              std::string::npos)
        << g_errorText;
}

INSTANTIATE_TEST_SUITE_P(Files, JoinOntoOutputTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Unnamed" : "Named";
                         });

}  // namespace
