// What a stream copy of MPEG-1/2 video needs to know of a packet without decoding it: the type of
// the picture it starts and whether its group of pictures is closed.
#pragma once

#include <cstddef>
#include <cstdint>

enum class MpegPicture { kUnknown, kI, kP, kB };

struct MpegPacketFacts {
    MpegPicture picture = MpegPicture::kUnknown;
    bool hasGopHeader = false;
    bool closedGop = false;
    bool brokenLink = false;
};

// Reads the first GOP header and the first picture header of one video packet (an access unit).
MpegPacketFacts ReadMpegPacketFacts(const uint8_t* data, size_t size);

// Keeps the pictures of one input that can be decoded from that input alone: nothing before its
// first I picture, and, when that picture's group is open, none of the B pictures that follow it
// before the next I or P picture (they would be predicted from the previous input's pictures).
class LeadingPictureFilter {
public:
    // True when the packet is kept.
    bool Keep(const uint8_t* data, size_t size);
    // Pictures left out so far.
    int64_t Dropped() const { return m_dropped; }

private:
    bool m_seenIntra = false;
    bool m_inOpenLead = false;
    int64_t m_dropped = 0;
};
