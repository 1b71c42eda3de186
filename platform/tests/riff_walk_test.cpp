// The AVI header walk the file interface and the probe share: the main header and every
// stream's chunks in file order, read in bounded steps and never past the bytes there are.
#include "platform/riff_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Reads from `file`, counting the bytes asked for.
struct Source {
    std::vector<uint8_t> file;
    uint64_t asked = 0;

    riff::ReadAt Reader() {
        return [this](uint64_t offset, uint8_t* out, size_t count) -> size_t {
            asked += count;
            if (offset >= file.size()) {
                return 0;
            }
            size_t n = static_cast<size_t>(std::min<uint64_t>(count, file.size() - offset));
            std::copy_n(file.data() + offset, n, out);
            return n;
        };
    }
};

void Chunk(ByteWriter& w, const std::string& id, const std::string& data) {
    w.Text(id).LE32(static_cast<uint32_t>(data.size())).Text(data);
    if (data.size() % 2 != 0) {
        w.U8(0);
    }
}

std::string List(const std::string& type, const ByteWriter& children) {
    return type + std::string(children.bytes().begin(), children.bytes().end());
}

std::string Text(ByteReader r) {
    return std::string(reinterpret_cast<const char*>(r.data()), r.size());
}

TEST(RiffWalk, MainHeaderAndEachStreamsChunksInOrder) {
    ByteWriter audio;
    Chunk(audio, "strh", "auds-header");
    Chunk(audio, "strf", "wave");
    ByteWriter video;
    Chunk(video, "strh", "vids-header");
    Chunk(video, "JUNK", "x");
    Chunk(video, "strf", "bitmap");
    Chunk(video, "strn", "first name");
    Chunk(video, "strn", "last name");
    ByteWriter nameless;  // no "strh": no stream
    Chunk(nameless, "strf", "orphan");
    ByteWriter hdrl;
    Chunk(hdrl, "avih", "main");
    Chunk(hdrl, "LIST", List("strl", audio));
    Chunk(hdrl, "LIST", List("strl", nameless));
    Chunk(hdrl, "LIST", List("strl", video));
    ByteWriter w;
    w.Text("RIFF").LE32(0).Text("AVI ");
    Chunk(w, "JUNK", "pad");  // passed over by its size, pad byte and all
    Chunk(w, "LIST", List("hdrl", hdrl));
    Chunk(w, "LIST", "movi");
    Source source{w.bytes()};

    riff::AviHeaderList header;
    ASSERT_EQ(header.Read(source.Reader()), riff::AviWalk::kOk);
    EXPECT_EQ(Text(header.mainHeader()), "main");
    ASSERT_EQ(header.streams().size(), 2u);
    EXPECT_EQ(Text(header.streams()[0].header), "auds-header");
    EXPECT_EQ(Text(header.streams()[0].format), "wave");
    EXPECT_EQ(header.streams()[0].name.size(), 0u);
    EXPECT_EQ(Text(header.streams()[1].header), "vids-header");
    EXPECT_EQ(Text(header.streams()[1].format), "bitmap");
    EXPECT_EQ(Text(header.streams()[1].name), "last name");
}

TEST(RiffWalk, OtherFilesAndMissingHeaderLists) {
    riff::AviHeaderList header;
    ByteWriter wave;
    wave.Text("RIFF").LE32(0).Text("WAVE");
    Source waveSource{wave.bytes()};
    EXPECT_EQ(header.Read(waveSource.Reader()), riff::AviWalk::kNotAvi);
    Source empty;
    EXPECT_EQ(header.Read(empty.Reader()), riff::AviWalk::kNotAvi);

    ByteWriter moviFirst;
    moviFirst.Text("RIFF").LE32(0).Text("AVI ");
    Chunk(moviFirst, "LIST", "movi");
    Chunk(moviFirst, "LIST", "hdrl");
    Source moviSource{moviFirst.bytes()};
    EXPECT_EQ(header.Read(moviSource.Reader()), riff::AviWalk::kNoHeaderList);
    EXPECT_TRUE(header.streams().empty());

    // More top-level chunks than the walk looks through before giving up.
    ByteWriter manyJunk;
    manyJunk.Text("RIFF").LE32(0).Text("AVI ");
    for (int i = 0; i < riff::kMaxTopLevelChunks; ++i) {
        Chunk(manyJunk, "JUNK", "");
    }
    Chunk(manyJunk, "LIST", "hdrl");
    Source junkSource{manyJunk.bytes()};
    EXPECT_EQ(header.Read(junkSource.Reader()), riff::AviWalk::kNoHeaderList);
}

TEST(RiffWalk, SizesThatClaimMoreThanTheFileHoldsAreCutToIt) {
    // A header list claiming 4 GiB, its last stream header cut off by the file's end.
    ByteWriter w;
    w.Text("RIFF").LE32(0).Text("AVI ").Text("LIST").LE32(0xFFFFFFF0).Text("hdrl");
    w.Text("LIST").LE32(0xFFFFFFF0).Text("strl").Text("strh").LE32(56).Text("vids");
    Source source{w.bytes()};
    riff::AviHeaderList header;
    ASSERT_EQ(header.Read(source.Reader()), riff::AviWalk::kOk);
    ASSERT_EQ(header.streams().size(), 1u);
    EXPECT_EQ(Text(header.streams()[0].header), "vids");
    // Read a step at a time: what is asked for stays near what the file has, not the claim.
    EXPECT_LT(source.asked, 2 * riff::kHeaderListReadStep);
}

}  // namespace
