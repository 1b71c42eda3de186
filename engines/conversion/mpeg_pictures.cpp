#include "engines/conversion/mpeg_pictures.h"

namespace {

constexpr uint8_t kPictureStartCode = 0x00;
constexpr uint8_t kGopStartCode = 0xB8;
// Bytes after a start code's four that hold the fields read here.
constexpr size_t kPictureHeaderBytes = 2;  // temporal reference (10 bits), coding type (3 bits)
constexpr size_t kGopHeaderBytes = 4;      // time code (25 bits), closed_gop, broken_link

}  // namespace

MpegPacketFacts ReadMpegPacketFacts(const uint8_t* data, size_t size) {
    MpegPacketFacts facts;
    for (size_t i = 0; i + 3 < size; ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1) {
            continue;
        }
        uint8_t code = data[i + 3];
        const uint8_t* body = data + i + 4;
        size_t left = size - (i + 4);
        if (code == kGopStartCode && !facts.hasGopHeader && left >= kGopHeaderBytes) {
            facts.hasGopHeader = true;
            // The time code takes 25 bits; closed_gop and broken_link follow it.
            facts.closedGop = (body[3] & 0x40) != 0;
            facts.brokenLink = (body[3] & 0x20) != 0;
        } else if (code == kPictureStartCode && left >= kPictureHeaderBytes) {
            switch ((body[1] >> 3) & 0x07) {
                case 1:
                    facts.picture = MpegPicture::kI;
                    break;
                case 2:
                    facts.picture = MpegPicture::kP;
                    break;
                case 3:
                    facts.picture = MpegPicture::kB;
                    break;
                default:
                    break;
            }
            return facts;
        }
    }
    return facts;
}

bool LeadingPictureFilter::Keep(const uint8_t* data, size_t size) {
    MpegPacketFacts facts = ReadMpegPacketFacts(data, size);
    if (!m_seenIntra) {
        if (facts.picture != MpegPicture::kI) {
            ++m_dropped;
            return false;
        }
        m_seenIntra = true;
        // Without a GOP header in front of it, nothing says the group is closed.
        m_inOpenLead = !(facts.hasGopHeader && facts.closedGop);
        return true;
    }
    if (m_inOpenLead) {
        if (facts.picture == MpegPicture::kB) {
            ++m_dropped;
            return false;
        }
        m_inOpenLead = false;
    }
    return true;
}
