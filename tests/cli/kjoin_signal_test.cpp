// kjoin ended from outside in the middle of a join: a stop signal ends it cleanly, a kill that
// cannot be caught still leaves nothing beside the output, and an old output survives both.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "tests/support/media_fixtures.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// A running kjoin whose standard output and error go to a file.
class KjoinProcess {
public:
    KjoinProcess(const std::vector<std::string>& args, const std::string& log) {
        std::vector<std::string> argv = {kjtest::BinDir() + "/kjoin"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> raw;
        for (std::string& a : argv) {
            raw.push_back(a.data());
        }
        raw.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (posix_spawn(&m_pid, raw[0], &actions, nullptr, raw.data(), environ) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~KjoinProcess() {
        if (m_pid > 0 && !m_ended) {
            kill(m_pid, SIGKILL);
            Wait();
        }
    }

    // Waits until the join's output file in `folder` holds data, then freezes the process right
    // there (SIGSTOP). False when the join ended first.
    bool FreezeMidJoin(const std::string& folder) {
        std::string prefix = fs::canonical(folder).string() + "/";
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        std::string fds = "/proc/" + std::to_string(m_pid) + "/fd";
        while (std::chrono::steady_clock::now() < deadline) {
            std::error_code ec;
            for (const auto& entry : fs::directory_iterator(fds, ec)) {
                std::string target = fs::read_symlink(entry.path(), ec).string();
                struct stat st {};
                if (!ec && target.rfind(prefix, 0) == 0 && ::stat(entry.path().c_str(), &st) == 0 &&
                    st.st_size > 0) {
                    kill(m_pid, SIGSTOP);
                    int status = 0;
                    return waitpid(m_pid, &status, WUNTRACED) == m_pid && WIFSTOPPED(status);
                }
            }
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_ended = true;
                m_status = status;
                return false;
            }
        }
        return false;
    }
    void Signal(int signal) { kill(m_pid, signal); }
    int Wait() {
        if (!m_ended) {
            waitpid(m_pid, &m_status, 0);
            m_ended = true;
        }
        return m_status;
    }
    bool started() const { return m_pid > 0; }

private:
    pid_t m_pid = -1;
    bool m_ended = false;
    int m_status = 0;
};

class KjoinSignals : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_inputs = new kjtest::TempDir();
        // A few megabytes that the join reads many times over: long enough to be caught.
        ASSERT_TRUE(
            kjtest::MakeWithFfmpeg("-f lavfi -i testsrc2=size=320x240:rate=25 -f lavfi "
                                   "-i sine -t 6 -c:v wmv2 -b:v 4M -c:a wmav2",
                                   s_inputs->File("clip.wmv")));
        // Of another codec and size: encoded to match the clip before the join copies it.
        ASSERT_TRUE(
            kjtest::MakeWithFfmpeg("-f lavfi -i testsrc2=size=640x480:rate=30 -f lavfi "
                                   "-i sine -t 6 -c:v wmv1 -b:v 4M -c:a wmav1",
                                   s_inputs->File("odd.wmv")));
    }
    static void TearDownTestSuite() { delete s_inputs; }

    static std::vector<std::string> JoinArgs(const std::string& output) {
        std::vector<std::string> args = {"join", "-y", "-o", output};
        for (int i = 0; i < 30; ++i) {
            args.push_back(s_inputs->File("clip.wmv"));
        }
        return args;
    }
    static std::string Log(const kjtest::TempDir& dir) {
        std::vector<uint8_t> bytes = kjtest::ReadFileBytes(dir.File("log"));
        return {bytes.begin(), bytes.end()};
    }

    static kjtest::TempDir* s_inputs;
};
kjtest::TempDir* KjoinSignals::s_inputs = nullptr;

const std::vector<uint8_t> kOld = {'o', 'l', 'd'};

TEST_F(KjoinSignals, AKillInTheMiddleLeavesNothingBesideTheOutputAndKeepsTheOldOne) {
    kjtest::TempDir out, logs;
    for (bool withOld : {true, false}) {
        SCOPED_TRACE(withOld ? "an old output" : "no old output");
        std::string output = out.File("joined.wmv");
        fs::remove(output);
        if (withOld) {
            ASSERT_TRUE(kjtest::WriteFileBytes(output, kOld));
        }
        KjoinProcess join(JoinArgs(output), logs.File("log"));
        ASSERT_TRUE(join.started());
        ASSERT_TRUE(join.FreezeMidJoin(out.path())) << "the join ended before it could be caught\n"
                                                    << Log(logs);
        join.Signal(SIGKILL);
        int status = join.Wait();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        if (withOld) {
            EXPECT_EQ(Listing(out.path()), std::set<std::string>{"joined.wmv"});
            EXPECT_EQ(kjtest::ReadFileBytes(output), kOld);
        } else {
            EXPECT_EQ(Listing(out.path()), std::set<std::string>{});
        }
    }
}

TEST_F(KjoinSignals, StopSignalsEndTheJoinCleanlyAndKeepTheOldOutput) {
    struct Case {
        int signal;
        const char* says;
    };
    for (Case c : {Case{SIGTERM, "stopped (terminated)"}, Case{SIGHUP, "the terminal was closed"},
                   Case{SIGINT, "stopped (Ctrl+C)"}}) {
        SCOPED_TRACE(strsignal(c.signal));
        kjtest::TempDir out, logs;
        std::string output = out.File("joined.wmv");
        ASSERT_TRUE(kjtest::WriteFileBytes(output, kOld));
        KjoinProcess join(JoinArgs(output), logs.File("log"));
        ASSERT_TRUE(join.FreezeMidJoin(out.path())) << Log(logs);
        join.Signal(c.signal);  // delivered when it goes on
        join.Signal(SIGCONT);
        int status = join.Wait();
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 1);
        std::string log = Log(logs);
        EXPECT_NE(log.find(c.says), std::string::npos) << log;
        EXPECT_NE(log.find(output + " was not changed"), std::string::npos) << log;
        EXPECT_EQ(Listing(out.path()), std::set<std::string>{"joined.wmv"});
        EXPECT_EQ(kjtest::ReadFileBytes(output), kOld);
    }
}

TEST_F(KjoinSignals, AStopWhileAnOddFileIsEncodedLeavesNothingAndKeepsTheOldOutput) {
    kjtest::TempDir out, logs;
    std::string output = out.File("joined.wmv");
    ASSERT_TRUE(kjtest::WriteFileBytes(output, kOld));
    // The first file the join writes into is the odd file's hidden stand-in.
    KjoinProcess join({"join", "-y", "-o", output, s_inputs->File("clip.wmv"),
                       s_inputs->File("odd.wmv"), s_inputs->File("clip.wmv")},
                      logs.File("log"));
    ASSERT_TRUE(join.FreezeMidJoin(out.path())) << Log(logs);
    join.Signal(SIGINT);
    join.Signal(SIGCONT);
    int status = join.Wait();
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::string log = Log(logs);
    EXPECT_NE(log.find("Encoding odd.wmv to match the first file"), std::string::npos) << log;
    EXPECT_NE(log.find("stopped (Ctrl+C)"), std::string::npos) << log;
    EXPECT_NE(log.find(output + " was not changed"), std::string::npos) << log;
    EXPECT_EQ(Listing(out.path()), std::set<std::string>{"joined.wmv"});
    EXPECT_EQ(kjtest::ReadFileBytes(output), kOld);
}

TEST_F(KjoinSignals, AJoinThatIsNotInterruptedReplacesTheOldOutput) {
    kjtest::TempDir out;
    std::string output = out.File("joined.wmv");
    ASSERT_TRUE(kjtest::WriteFileBytes(output, kOld));
    kjtest::CommandResult r = kjtest::RunCommand(
        kjtest::ShellQuote(kjtest::BinDir() + "/kjoin") + " join -y -o " + output + " " +
        s_inputs->File("clip.wmv") + " " + s_inputs->File("clip.wmv"));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(Listing(out.path()), std::set<std::string>{"joined.wmv"});
    EXPECT_GT(fs::file_size(output), fs::file_size(s_inputs->File("clip.wmv")));
    EXPECT_EQ(kjtest::DecodeErrors(output), "");
    // The new file has the permissions of any new file of the user.
    mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(fs::status(output).permissions(), static_cast<fs::perms>(0666 & ~mask));
}

}  // namespace
