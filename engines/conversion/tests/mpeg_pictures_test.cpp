// Picture types and GOP flags read from MPEG video packets, and which pictures a copy across a
// seam keeps.
#include "engines/conversion/mpeg_pictures.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A packet: optionally a GOP header (closed or open), then a picture header of `type` (1 I,
// 2 P, 3 B).
std::vector<uint8_t> Packet(int type, bool gop, bool closed) {
    std::vector<uint8_t> bytes;
    if (gop) {
        // time code 00:00:00:00 with its marker bit, then closed_gop and broken_link
        bytes.insert(bytes.end(), {0x00, 0x00, 0x01, 0xB8, 0x00, 0x08, 0x00,
                                   static_cast<uint8_t>(closed ? 0x40 : 0x00)});
    }
    // temporal reference 0, picture coding type in bits 3..5 of the second byte
    bytes.insert(bytes.end(),
                 {0x00, 0x00, 0x01, 0x00, 0x00, static_cast<uint8_t>(type << 3), 0xFF, 0xF8});
    return bytes;
}

bool Keep(LeadingPictureFilter& filter, const std::vector<uint8_t>& packet) {
    return filter.Keep(packet.data(), packet.size());
}

TEST(MpegPictures, ReadsPictureTypeAndGopFlags) {
    MpegPacketFacts facts = ReadMpegPacketFacts(Packet(1, true, true).data(), 16);
    EXPECT_EQ(facts.picture, MpegPicture::kI);
    EXPECT_TRUE(facts.hasGopHeader);
    EXPECT_TRUE(facts.closedGop);
    std::vector<uint8_t> b = Packet(3, false, false);
    EXPECT_EQ(ReadMpegPacketFacts(b.data(), b.size()).picture, MpegPicture::kB);
    // A header cut short tells nothing, and reading stays inside the bytes given.
    EXPECT_EQ(ReadMpegPacketFacts(b.data(), 5).picture, MpegPicture::kUnknown);
    EXPECT_EQ(ReadMpegPacketFacts(b.data(), 0).picture, MpegPicture::kUnknown);
}

TEST(MpegPictures, AnOpenGroupLosesItsLeadingBPicturesOnly) {
    LeadingPictureFilter filter;
    EXPECT_FALSE(Keep(filter, Packet(3, false, false)));  // before any I picture
    EXPECT_TRUE(Keep(filter, Packet(1, true, false)));
    EXPECT_FALSE(Keep(filter, Packet(3, false, false)));
    EXPECT_FALSE(Keep(filter, Packet(3, false, false)));
    EXPECT_TRUE(Keep(filter, Packet(2, false, false)));
    EXPECT_TRUE(Keep(filter, Packet(3, false, false)));  // predicted from this input: kept
    EXPECT_EQ(filter.Dropped(), 3);
}

TEST(MpegPictures, AClosedGroupKeepsEverything) {
    LeadingPictureFilter filter;
    EXPECT_TRUE(Keep(filter, Packet(1, true, true)));
    EXPECT_TRUE(Keep(filter, Packet(3, false, false)));
    EXPECT_TRUE(Keep(filter, Packet(2, false, false)));
    EXPECT_EQ(filter.Dropped(), 0);
}

}  // namespace
