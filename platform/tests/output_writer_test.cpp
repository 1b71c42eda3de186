// An engine's output appears at its path only when it is whole: while it is written nothing new
// is seen in the folder (or only a hidden file, where the file system has no unnamed ones), a
// failed or stopped join leaves the old file at the path as it was and no temporary file behind,
// and a write the disk refuses is reported instead of leaving a short file in place.
#include "platform/output_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <numeric>

#include "tests/support/media_fixtures.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Counting(size_t size, uint8_t first) {
    std::vector<uint8_t> bytes(size);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

const std::vector<uint8_t> kOld = {'o', 'l', 'd'};

// Each case runs with the unnamed file and with the hidden named one.
class OutputWriterTest : public ::testing::TestWithParam<bool> {
protected:
    kjtest::TempDir m_dir;
};

TEST_P(OutputWriterTest, SuccessNamesTheWholeFileAndNothingElse) {
    std::string output = m_dir.File("joined.mpg");
    ASSERT_TRUE(kjtest::WriteFileBytes(output, kOld));
    // Small pieces, one larger than the buffer and a run copied from another file, in order.
    std::vector<uint8_t> small = Counting(1000, 1);
    std::vector<uint8_t> large = Counting(OutputWriter::kBufferBytes + 5, 7);
    std::vector<uint8_t> copied = Counting(3 << 20, 3);
    std::string source = m_dir.File("source.bin");
    ASSERT_TRUE(kjtest::WriteFileBytes(source, copied));

    OutputWriter out;
    ASSERT_EQ(out.Open(output, GetParam()), 0);
    EXPECT_EQ(out.Write(small.data(), small.size()), 0);
    EXPECT_EQ(out.Write(large.data(), large.size()), 0);
    int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    if (!out.CopyFrom(fd, 1, copied.size() - 1)) {
        EXPECT_EQ(out.Write(copied.data() + 1, copied.size() - 1), 0);
    }
    ::close(fd);
    EXPECT_EQ(out.Write(small.data(), 10), 0);
    EXPECT_EQ(out.Offset(), small.size() + large.size() + copied.size() - 1 + 10);

    std::vector<std::string> during = kjtest::Listing(m_dir.path());
    if (GetParam()) {
        EXPECT_EQ(during, (std::vector<std::string>{"joined.mpg", "source.bin"}));
    } else {
        ASSERT_EQ(during.size(), 3u);
        EXPECT_EQ(during[0].rfind(".joined.kjpart-", 0), 0u) << during[0];
        EXPECT_EQ(fs::path(during[0]).extension(), ".mpg");
    }
    EXPECT_EQ(kjtest::ReadFileBytes(output), kOld);

    ASSERT_EQ(out.Finish(), 0);
    std::vector<uint8_t> want = small;
    want.insert(want.end(), large.begin(), large.end());
    want.insert(want.end(), copied.begin() + 1, copied.end());
    want.insert(want.end(), small.begin(), small.begin() + 10);
    EXPECT_TRUE(kjtest::ReadFileBytes(output) == want) << "the joined bytes are not in order";
    EXPECT_EQ(kjtest::Listing(m_dir.path()),
              (std::vector<std::string>{"joined.mpg", "source.bin"}));
    mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(static_cast<unsigned>(fs::status(output).permissions()), 0666u & ~mask);
}

TEST_P(OutputWriterTest, AFailedOrStoppedJoinKeepsTheOldFileAndLeavesNoTemporary) {
    std::string output = m_dir.File("joined.rm");
    ASSERT_TRUE(kjtest::WriteFileBytes(output, kOld));
    std::vector<uint8_t> bytes = Counting(OutputWriter::kSmallBytes * 3, 0);
    for (bool abandoned : {true, false}) {
        {
            OutputWriter out;
            ASSERT_EQ(out.Open(output, GetParam()), 0);
            EXPECT_EQ(out.Write(bytes.data(), bytes.size()), 0);
            if (abandoned) {
                out.Abandon();  // the engine failed
            }
            // else: stopped, the writer goes without Finish
        }
        EXPECT_EQ(kjtest::ReadFileBytes(output), kOld);
        EXPECT_EQ(kjtest::Listing(m_dir.path()), std::vector<std::string>{"joined.rm"});
    }
    // Without an old file, nothing at all.
    fs::remove(output);
    {
        OutputWriter out;
        ASSERT_EQ(out.Open(output, GetParam()), 0);
        EXPECT_EQ(out.Write(bytes.data(), bytes.size()), 0);
    }
    EXPECT_TRUE(fs::is_empty(m_dir.path()));
}

TEST_P(OutputWriterTest, AWriteTheDiskRefusesIsReportedAndNothingIsPut) {
    std::string output = m_dir.File("joined.wmv");
    ASSERT_TRUE(kjtest::WriteFileBytes(output, kOld));
    std::string source = m_dir.File("source.bin");
    std::vector<uint8_t> bytes = Counting(2 << 20, 0);
    ASSERT_TRUE(kjtest::WriteFileBytes(source, bytes));
    // A file size limit stands for a full disk: past it every write fails with EFBIG.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old;
    limit.rlim_cur = 1 << 20;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    int buffered = 0;
    int copiedInKernel = 0;
    {
        OutputWriter out;
        if (out.Open(output, GetParam()) == 0) {
            out.Write(bytes.data(), bytes.size());
            buffered = out.Finish();
        }
    }
    {
        OutputWriter out;
        int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
        if (out.Open(output, GetParam()) == 0 && fd >= 0) {
            if (!out.CopyFrom(fd, 0, bytes.size())) {
                out.Write(bytes.data(), bytes.size());
            }
            copiedInKernel = out.Finish();
        }
        ::close(fd);
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_EQ(buffered, EFBIG);
    EXPECT_EQ(copiedInKernel, EFBIG);
    EXPECT_EQ(kjtest::ReadFileBytes(output), kOld);
    EXPECT_EQ(kjtest::Listing(m_dir.path()),
              (std::vector<std::string>{"joined.wmv", "source.bin"}));
}

TEST_P(OutputWriterTest, AFolderThatCannotTakeTheFileFailsAtOpen) {
    OutputWriter out;
    EXPECT_EQ(out.Open(m_dir.File("missing/joined.wmv"), GetParam()), ENOENT);
    EXPECT_NE(out.Finish(), 0);
    EXPECT_TRUE(fs::is_empty(m_dir.path()));
}

INSTANTIATE_TEST_SUITE_P(Files, OutputWriterTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Unnamed" : "Named";
                         });

// A file the job already hid (given as its descriptor's path) is written in place: the engine's
// Commit names nothing, the job does.
TEST(HiddenOutput, AnOpenDescriptorPathIsWrittenInPlaceAndLeftForItsOwnerToName) {
    kjtest::TempDir dir;
    HiddenOutput job;
    ASSERT_EQ(job.Open(dir.File("joined.avi")), 0);
    {
        OutputWriter engine;
        ASSERT_EQ(engine.Open(job.WritePath()), 0);
        EXPECT_EQ(engine.Write(kOld.data(), kOld.size()), 0);
        EXPECT_EQ(engine.Finish(), 0);
    }
    EXPECT_EQ(kjtest::ReadFileBytes(job.WritePath()), kOld);
    EXPECT_FALSE(fs::exists(dir.File("joined.avi")));
    EXPECT_EQ(job.Commit(), 0);
    EXPECT_EQ(kjtest::ReadFileBytes(dir.File("joined.avi")), kOld);
    EXPECT_EQ(kjtest::Listing(dir.path()), std::vector<std::string>{"joined.avi"});
}

}  // namespace
