// Reads one ASF data packet: error-correction bytes, payload parsing information and its one or
// many payloads. Payloads point into the packet's bytes. Every length is checked against the
// packet; a packet that does not hold together gives ASF_E_BADDATAUNIT. A parity packet (its
// error-correction flags marked opaque) is skipped: it parses as one without payloads.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/bytes.h"
#include "platform/com.h"

namespace asf {

struct PacketInfo {
    // A packet of error-correction data only (an N+1 parity packet): it carries no payloads.
    bool parity = false;
    uint32_t sendTimeMs = 0;
    uint16_t durationMs = 0;
    size_t packetLength = 0;   // declared length (or the packet size)
    size_t paddingLength = 0;  // declared padding
};

struct Payload {
    uint8_t stream = 0;
    bool keyFrame = false;
    uint32_t objectNumber = 0;
    uint32_t offset = 0;  // offset into the media object; the presentation time when compressed
    bool compressed = false;
    uint8_t timeDelta = 0;  // compressed payloads only
    ByteReader replicated;
    ByteReader data;

    // Whole-object size and presentation time (ms, preroll included) of an uncompressed payload.
    uint32_t ObjectSize() const { return replicated.LE32(0); }
    uint32_t PresentationMs() const { return compressed ? offset : replicated.LE32(4); }
};

HRESULT ParseDataPacket(ByteReader packet, PacketInfo* info, std::vector<Payload>* payloads);

}  // namespace asf
