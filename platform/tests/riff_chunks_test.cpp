// The chunk walk every RIFF reader shares: odd sizes are padded, a chunk that claims more than
// the bytes hold gives what is there and ends the walk, a header cut in two is not visited.
#include "platform/riff_chunks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Seen {
    size_t at;
    std::string id;
    std::string data;
};

std::vector<Seen> Walk(const ByteWriter& w, uint64_t from, const std::string& stopAt = "") {
    ByteReader bytes(w.bytes());
    std::vector<Seen> seen;
    riff::ForEachChunk(bytes, from, [&](size_t at, ByteReader data) {
        seen.push_back({at, std::string(reinterpret_cast<const char*>(bytes.data() + at), 4),
                        std::string(reinterpret_cast<const char*>(data.data()), data.size())});
        return seen.back().id != stopAt;
    });
    return seen;
}

TEST(RiffChunks, OddChunksArePaddedAndTheWalkStartsWhereItIsTold) {
    ByteWriter w;
    w.Text("RIFF").LE32(0).Text("AVI ");
    w.Text("abcd").LE32(3).Text("xyz").U8(0);  // one pad byte
    w.Text("efgh").LE32(2).Text("pq");
    std::vector<Seen> seen = Walk(w, riff::kRiffHeaderBytes);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].at, 12u);
    EXPECT_EQ(seen[0].id, "abcd");
    EXPECT_EQ(seen[0].data, "xyz");
    EXPECT_EQ(seen[1].at, 24u);
    EXPECT_EQ(seen[1].id, "efgh");
    EXPECT_EQ(seen[1].data, "pq");
}

TEST(RiffChunks, ShortAndHostileSizesStayInsideTheBytes) {
    ByteWriter w;
    w.Text("abcd").LE32(0xFFFFFFFF).Text("tail");  // claims 4 GiB, holds 4 bytes
    std::vector<Seen> seen = Walk(w, 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].data, "tail");

    ByteWriter cut;
    cut.Text("abcd").LE32(0).Text("efgh").U8(1);  // the second header lacks its size
    seen = Walk(cut, 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].id, "abcd");
    EXPECT_EQ(seen[0].data, "");

    EXPECT_TRUE(Walk(cut, 1000).empty());  // a start past the end visits nothing
}

TEST(RiffChunks, TheVisitorEndsTheWalk) {
    ByteWriter w;
    w.Text("fmt ").LE32(0).Text("data").LE32(0).Text("more").LE32(0);
    std::vector<Seen> seen = Walk(w, 0, "data");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].id, "data");
}

}  // namespace
