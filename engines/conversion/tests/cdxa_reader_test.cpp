// The Video CD sector reader on files built byte by byte: what comes out must be exactly the
// stream that went into the sectors, whatever their forms, and never more than the file holds.
#include "engines/conversion/cdxa_reader.h"

#include <gtest/gtest.h>

#include "tests/support/cdxa_fixture.h"

namespace {

std::vector<uint8_t> Counting(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    }
    return bytes;
}

struct Fixture {
    std::vector<uint8_t> file;
    CdxaLayout layout;
    int reads = 0;
    CdxaPayloadReader::ReadAt ReadAt() {
        return [this](uint64_t offset, uint8_t* out, size_t count) -> size_t {
            ++reads;
            if (offset >= file.size()) {
                return 0;
            }
            size_t n = std::min<size_t>(count, file.size() - offset);
            std::copy_n(file.data() + offset, n, out);
            return n;
        };
    }
};

std::vector<uint8_t> ReadAll(CdxaPayloadReader& reader, size_t step) {
    std::vector<uint8_t> out;
    std::vector<uint8_t> buffer(step);
    while (size_t n = reader.Read(buffer.data(), buffer.size())) {
        out.insert(out.end(), buffer.begin(), buffer.begin() + n);
    }
    return out;
}

TEST(CdxaLayout, FindsTheDataChunkAndToleratesItsSize) {
    std::vector<uint8_t> file = kjtest::WrapInCdxa(Counting(5000));
    CdxaLayout layout;
    ASSERT_TRUE(FindCdxaLayout(ByteReader(file), file.size(), &layout));
    EXPECT_EQ(layout.dataStart, 44u);
    EXPECT_EQ(layout.dataBytes, 3 * cdxa::kSectorBytes);

    // Copied off a disc, the declared size is often zero or larger than the file.
    for (int64_t declared : {int64_t{0}, int64_t{0x7FFFFFFF}}) {
        file = kjtest::WrapInCdxa(Counting(5000), {}, declared);
        ASSERT_TRUE(FindCdxaLayout(ByteReader(file), file.size(), &layout));
        EXPECT_EQ(layout.dataBytes, file.size() - 44) << declared;
    }
    // A larger "fmt " chunk moves the sectors.
    ByteWriter w;
    w.Text("RIFF").LE32(0).Text("CDXA").Text("fmt ").LE32(17).Zeros(18).Text("data").LE32(2352);
    w.Zeros(2352);
    ASSERT_TRUE(FindCdxaLayout(ByteReader(w.bytes()), w.bytes().size(), &layout));
    EXPECT_EQ(layout.dataStart, 12u + 8 + 18 + 8);
}

TEST(CdxaLayout, OtherFilesAreNotVideoCdFiles) {
    CdxaLayout layout;
    ByteWriter avi;
    avi.Text("RIFF").LE32(100).Text("AVI ").Zeros(100);
    EXPECT_FALSE(FindCdxaLayout(ByteReader(avi.bytes()), avi.bytes().size(), &layout));
    ByteWriter empty;
    empty.Text("RIFF").LE32(4).Text("CDXA").Text("data").LE32(0);
    EXPECT_FALSE(FindCdxaLayout(ByteReader(empty.bytes()), empty.bytes().size(), &layout));
    EXPECT_FALSE(FindCdxaLayout(ByteReader(), 0, &layout));
}

TEST(CdxaPayloadReader, GivesBackTheStreamOfMixedFormSectors) {
    std::vector<uint8_t> stream = Counting(20000);
    Fixture f;
    f.file = kjtest::WrapInCdxa(stream, {0, 3, 4});
    ASSERT_TRUE(FindCdxaLayout(ByteReader(f.file), f.file.size(), &f.layout));
    // Nine sectors, three of them Form 1; the last one's unused room is zeros.
    size_t room = 3 * cdxa::kForm1PayloadBytes + 6 * cdxa::kForm2PayloadBytes;
    std::vector<uint8_t> expected = stream;
    expected.resize(room, 0);
    for (size_t step : {size_t{1}, size_t{1000}, size_t{2324}, size_t{32768}}) {
        CdxaPayloadReader reader(f.ReadAt(), f.layout);
        EXPECT_EQ(ReadAll(reader, step), expected) << "read in steps of " << step;
        EXPECT_EQ(reader.Position(), room);
    }
    CdxaPayloadReader reader(f.ReadAt(), f.layout);
    EXPECT_EQ(reader.Size(), room);
}

TEST(CdxaPayloadReader, SeeksAnywhereAndReadsTheSameBytes) {
    std::vector<uint8_t> stream = Counting(30000);
    Fixture f;
    f.file = kjtest::WrapInCdxa(stream, {2, 7});
    ASSERT_TRUE(FindCdxaLayout(ByteReader(f.file), f.file.size(), &f.layout));
    CdxaPayloadReader reader(f.ReadAt(), f.layout);
    for (uint64_t at : {uint64_t{29000}, uint64_t{0}, uint64_t{2323}, uint64_t{2324},
                        uint64_t{4371}, uint64_t{4372}, uint64_t{15000}}) {
        ASSERT_TRUE(reader.Seek(at)) << at;
        uint8_t got[600];
        size_t n = reader.Read(got, sizeof got);
        ASSERT_EQ(n, std::min<size_t>(sizeof got, stream.size() - at)) << at;
        EXPECT_TRUE(std::equal(got, got + n, stream.begin() + static_cast<ptrdiff_t>(at))) << at;
    }
    uint64_t size = reader.Size();
    EXPECT_TRUE(reader.Seek(size));
    uint8_t byte = 0;
    EXPECT_EQ(reader.Read(&byte, 1), 0u);
    EXPECT_FALSE(reader.Seek(size + 1));
    EXPECT_EQ(reader.Position(), size);
}

TEST(CdxaPayloadReader, ACutLastSectorGivesOnlyWhatIsThere) {
    std::vector<uint8_t> stream = Counting(2 * cdxa::kForm2PayloadBytes);
    Fixture f;
    f.file = kjtest::WrapInCdxa(stream);
    f.file.resize(f.file.size() - cdxa::kSectorBytes + 24 + 100);  // 100 payload bytes left
    ASSERT_TRUE(FindCdxaLayout(ByteReader(f.file), f.file.size(), &f.layout));
    CdxaPayloadReader reader(f.ReadAt(), f.layout);
    std::vector<uint8_t> all = ReadAll(reader, 4096);
    ASSERT_EQ(all.size(), 2324u + 100);
    EXPECT_TRUE(std::equal(all.begin(), all.end(), stream.begin()));
    EXPECT_EQ(reader.Size(), all.size());
    EXPECT_EQ(reader.FileOffset(), f.file.size());

    // Cut inside the sector header: that sector has nothing.
    f.file.resize(44 + cdxa::kSectorBytes + 10);
    ASSERT_TRUE(FindCdxaLayout(ByteReader(f.file), f.file.size(), &f.layout));
    CdxaPayloadReader cut(f.ReadAt(), f.layout);
    EXPECT_EQ(ReadAll(cut, 4096).size(), 2324u);
}

TEST(CdxaPayloadReader, EmptyAndMode1SectorsAndAShrunkFile) {
    Fixture f;
    std::vector<uint8_t> sectors(3 * cdxa::kSectorBytes, 0);  // Mode 0: empty sectors
    sectors[cdxa::kSectorBytes + cdxa::kModeOffset] = 1;      // a Mode 1 sector with 2048 bytes
    std::fill_n(sectors.begin() + cdxa::kSectorBytes + 16, 2048, 0xAB);
    ByteWriter w;
    w.Text("RIFF").LE32(0).Text("CDXA").Text("data").LE32(static_cast<uint32_t>(sectors.size()));
    f.file = w.bytes();
    f.file.insert(f.file.end(), sectors.begin(), sectors.end());
    ASSERT_TRUE(FindCdxaLayout(ByteReader(f.file), f.file.size(), &f.layout));
    CdxaPayloadReader reader(f.ReadAt(), f.layout);
    std::vector<uint8_t> all = ReadAll(reader, 700);
    EXPECT_EQ(all, std::vector<uint8_t>(2048, 0xAB));

    // The file loses its last sectors after the layout was taken: the stream ends there.
    Fixture shrunk;
    shrunk.file = kjtest::WrapInCdxa(Counting(10 * cdxa::kForm2PayloadBytes));
    ASSERT_TRUE(FindCdxaLayout(ByteReader(shrunk.file), shrunk.file.size(), &shrunk.layout));
    shrunk.file.resize(44 + 4 * cdxa::kSectorBytes);
    CdxaPayloadReader late(shrunk.ReadAt(), shrunk.layout);
    EXPECT_EQ(late.Size(), 4u * 2324);
    EXPECT_EQ(ReadAll(late, 5000).size(), 4u * 2324);
}

TEST(CdxaPayloadReader, ReadingThroughReadsEachSectorOnce) {
    Fixture f;
    f.file = kjtest::WrapInCdxa(Counting(50 * cdxa::kForm2PayloadBytes));
    ASSERT_TRUE(FindCdxaLayout(ByteReader(f.file), f.file.size(), &f.layout));
    CdxaPayloadReader reader(f.ReadAt(), f.layout);
    ReadAll(reader, 32768);
    // One header read and one sector read for each sector, and a last look past the end.
    EXPECT_LE(f.reads, 2 * 50 + 2);
}

}  // namespace
