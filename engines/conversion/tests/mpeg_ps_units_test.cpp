// The program stream units and clock fields, on streams built byte by byte.
#include "engines/conversion/mpeg_ps_units.h"

#include <gtest/gtest.h>

#include "engines/conversion/tests/mpeg_ps_bytes.h"

namespace {

TEST(MpegPsUnits, ClockFieldsKeepTheirMarkersAndPrefixThroughAWrite) {
    for (int64_t t :
         {int64_t{0}, int64_t{1}, int64_t{90000}, (int64_t{1} << 33) - 1, int64_t{0x1F0F0F0F0}}) {
        uint8_t pts[5] = {0x31, 0, 1, 0, 1};  // prefix 0011 (PTS of a PTS DTS pair)
        WriteTimestamp(pts, t);
        EXPECT_EQ(ReadTimestamp(pts), t);
        EXPECT_EQ(pts[0] >> 4, 0x3);
        EXPECT_EQ(pts[0] & 1, 1);
        EXPECT_EQ(pts[2] & 1, 1);
        EXPECT_EQ(pts[4] & 1, 1);
        uint8_t scr[6] = {0x44, 0, 0x04, 0, 0x05, 0x4B};  // extension 0x25 and its marker
        WriteScrBase(scr, t);
        EXPECT_EQ(ReadScrBase(scr), t);
        EXPECT_EQ(scr[0] >> 6, 1);  // the '01' of an MPEG-2 pack stays
        EXPECT_EQ(scr[4] & 0x07, 0x05);
        EXPECT_EQ(scr[5], 0x4B);
    }
    EXPECT_EQ(ShiftTime((int64_t{1} << 33) - 10, 25), 15);
    EXPECT_EQ(ShiftTime(10, -25), (int64_t{1} << 33) - 15);
    EXPECT_EQ(TimeDifference((int64_t{1} << 33) - 10, 15), 25);
    EXPECT_EQ(TimeDifference(15, (int64_t{1} << 33) - 10), -25);
}

TEST(MpegPsUnits, ASubpicturePackWalksAsPackPesAndPadding) {
    std::vector<uint8_t> pack = kjtest::SubpicturePack(123456, 234567);
    std::vector<kjtest::WalkedUnit> units = kjtest::WalkUnits(pack);
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(units[0].unit.kind, PsUnitKind::kPack);
    EXPECT_TRUE(units[0].unit.mpeg2);
    EXPECT_EQ(units[0].unit.size, 14u);
    EXPECT_EQ(ReadScrBase(pack.data() + 4), 123456);
    const PsUnit& pes = units[1].unit;
    EXPECT_EQ(pes.kind, PsUnitKind::kPes);
    EXPECT_EQ(pes.code, 0xBD);
    ASSERT_NE(pes.ptsOffset, 0u);
    EXPECT_EQ(ReadTimestamp(pack.data() + units[1].at + pes.ptsOffset), 234567);
    EXPECT_EQ(pack[units[1].at + pes.payloadOffset], 0x20);  // the subpicture's sub id
    EXPECT_EQ(units[2].unit.code, 0xBE);
    EXPECT_EQ(units[2].at + units[2].unit.size, 2048u);
}

TEST(MpegPsUnits, MalformedAndShortBytesNeverReadPastTheirEnd) {
    // Other data before a pack is junk up to the pack.
    std::vector<uint8_t> bytes = {1, 2, 3, 0, 0, 1, 0x00, 9};
    std::vector<uint8_t> pack = kjtest::Mpeg2PackHeader(5);
    bytes.insert(bytes.end(), pack.begin(), pack.end());
    PsUnit junk = ReadPsUnit(ByteReader(bytes));
    EXPECT_EQ(junk.kind, PsUnitKind::kJunk);
    EXPECT_EQ(junk.size, 8u);  // a video start code outside a PES is junk too
    // A PES whose length runs past the bytes is incomplete, never read.
    std::vector<uint8_t> pes = kjtest::Mpeg2Pes(0xE0, -1, 0, std::vector<uint8_t>(100, 7));
    pes.resize(50);
    EXPECT_EQ(ReadPsUnit(ByteReader(pes)).kind, PsUnitKind::kIncomplete);
    // A header data length past the packet: the packet is kept whole, its times not trusted.
    std::vector<uint8_t> bad = {0, 0, 1, 0xE0, 0, 4, 0x81, 0x80, 200, 0};
    PsUnit unit = ReadPsUnit(ByteReader(bad));
    EXPECT_EQ(unit.kind, PsUnitKind::kPes);
    EXPECT_EQ(unit.ptsOffset, 0u);
    EXPECT_EQ(unit.size, 10u);
    // An MPEG-1 PES with stuffing, an STD buffer field and a PTS and DTS.
    std::vector<uint8_t> mpeg1 = {0, 0, 1, 0xE0, 0, 15, 0xFF, 0xFF, 0x60, 0x2E};
    kjtest::PutTimestamp(mpeg1, 0x3, 1000);
    kjtest::PutTimestamp(mpeg1, 0x1, 900);
    mpeg1.push_back(0xAA);
    PsUnit one = ReadPsUnit(ByteReader(mpeg1));
    ASSERT_EQ(one.kind, PsUnitKind::kPes);
    EXPECT_FALSE(one.mpeg2);
    EXPECT_EQ(ReadTimestamp(mpeg1.data() + one.ptsOffset), 1000);
    EXPECT_EQ(ReadTimestamp(mpeg1.data() + one.dtsOffset), 900);
    EXPECT_EQ(one.payloadOffset, 20u);
    // Every prefix of a valid stream is walked without a read outside it.
    std::vector<uint8_t> stream = kjtest::SubpicturePack(1, 2);
    for (size_t n = 0; n < 64; ++n) {
        PsUnit u = ReadPsUnit(ByteReader(stream.data(), n));
        EXPECT_LE(u.kind == PsUnitKind::kIncomplete ? 0u : u.size, n);
    }
}

}  // namespace
