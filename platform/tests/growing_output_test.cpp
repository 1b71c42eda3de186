// The engines' outputs reserve space ahead of their writing and give back what they did not use:
// the file keeps its length and bytes, and ends up holding no more disk than its length needs.
#include "platform/growing_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "tests/support/media_fixtures.h"

namespace {

uint64_t DiskBytes(int fd) {
    struct stat info {};
    EXPECT_EQ(::fstat(fd, &info), 0);
    return static_cast<uint64_t>(info.st_blocks) * 512;
}

off_t Length(int fd) {
    struct stat info {};
    EXPECT_EQ(::fstat(fd, &info), 0);
    return info.st_size;
}

TEST(GrowingOutput, ReservesAheadThenKeepsOnlyWhatWasWritten) {
    kjtest::TempDir dir;
    std::string path = dir.File("out.bin");
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    GrowingOutput growth;
    std::vector<uint8_t> chunk(256 * 1024);
    uint64_t written = 0;
    bool reserved = false;
    for (int i = 0; i < 12; ++i) {
        std::fill(chunk.begin(), chunk.end(), static_cast<uint8_t>(i));
        ASSERT_EQ(::write(fd, chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
        written += chunk.size();
        growth.Wrote(fd, written);
        // The reserve never shows as length; where the file system keeps one, it runs ahead.
        EXPECT_EQ(Length(fd), static_cast<off_t>(written));
        reserved = reserved || DiskBytes(fd) >= written + GrowingOutput::AheadOf(written) / 2;
    }
    EXPECT_EQ(growth.Finish(fd), 0);
    EXPECT_EQ(Length(fd), static_cast<off_t>(written));
    EXPECT_LT(DiskBytes(fd), written + (1u << 20)) << "the space reserved ahead was not given back";
    ::close(fd);
    std::vector<uint8_t> bytes = kjtest::ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), written);
    EXPECT_EQ(bytes.front(), 0);
    EXPECT_EQ(bytes.back(), 11);
    // A small file reserves little: never the whole 64 MB for its first bytes.
    EXPECT_LT(GrowingOutput::AheadOf(4096), GrowingOutput::kReserveAhead);
    if (!reserved) {
        GTEST_SKIP() << "this file system reserves no space ahead (fallocate)";
    }
}

}  // namespace
