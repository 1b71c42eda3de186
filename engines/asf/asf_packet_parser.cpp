#include "engines/asf/asf_packet_parser.h"

#include "engines/asf/asf_format.h"
#include "engines/asf/wmsdk.h"

namespace asf {

namespace {

// Reads a field of the size its length-type code gives; false when it does not fit.
bool ReadCoded(ByteReader r, size_t* off, unsigned code, uint32_t* value) {
    size_t n = LengthTypeSize(code & 3);
    if (!r.Has(*off, n)) {
        return false;
    }
    *value = n == 0 ? 0 : n == 1 ? r.U8(*off) : n == 2 ? r.LE16(*off) : r.LE32(*off);
    *off += n;
    return true;
}

}  // namespace

HRESULT ParseDataPacket(ByteReader packet, PacketInfo* info, std::vector<Payload>* payloads) {
    using namespace packet;
    payloads->clear();
    *info = PacketInfo{};
    size_t off = 0;
    if (!packet.Has(0, 1)) {
        return ASF_E_BADDATAUNIT;
    }
    // Error-correction data comes first when the first byte's top bit says so: that flag byte,
    // then as many bytes as its low bits give. Otherwise the first byte already belongs to
    // the payload parsing information.
    uint8_t first = packet.U8(0);
    if ((first & kErrorCorrectionPresent) != 0) {
        if ((first & kErrorCorrectionLengthTypeMask) != 0) {
            return ASF_E_BADDATAUNIT;  // no other length type is defined
        }
        if ((first & kErrorCorrectionOpaque) != 0) {
            // The rest of the packet is parity over a group of data packets: nothing to read.
            info->parity = true;
            info->packetLength = packet.size();
            return S_OK;
        }
        off = 1 + (first & kErrorCorrectionLengthMask);
    }
    if (!packet.Has(off, 2)) {
        return ASF_E_BADDATAUNIT;
    }
    uint8_t lengthFlags = packet.U8(off);
    uint8_t propertyFlags = packet.U8(off + 1);
    off += 2;
    uint32_t packetLength = 0;
    uint32_t sequence = 0;
    uint32_t padding = 0;
    if (!ReadCoded(packet, &off, lengthFlags >> kPacketLengthTypeShift, &packetLength) ||
        !ReadCoded(packet, &off, lengthFlags >> kSequenceTypeShift, &sequence) ||
        !ReadCoded(packet, &off, lengthFlags >> kPaddingTypeShift, &padding) ||
        !packet.Has(off, 6)) {
        return ASF_E_BADDATAUNIT;
    }
    info->sendTimeMs = packet.LE32(off);
    info->durationMs = packet.LE16(off + 4);
    off += 6;
    if (((lengthFlags >> kPacketLengthTypeShift) & 3) == 0) {
        packetLength = static_cast<uint32_t>(packet.size());
    }
    // A shorter declared length leaves the rest of the fixed-size packet as padding.
    if (packetLength > packet.size() || packetLength < off || padding > packetLength - off) {
        return ASF_E_BADDATAUNIT;
    }
    info->packetLength = packetLength;
    info->paddingLength = padding;
    const size_t end = packetLength - padding;

    const unsigned replicatedType = (propertyFlags >> kReplicatedTypeShift) & 3;
    const unsigned offsetType = (propertyFlags >> kOffsetTypeShift) & 3;
    const unsigned objectType = (propertyFlags >> kObjectNumberTypeShift) & 3;
    const unsigned streamType = (propertyFlags >> kStreamNumberTypeShift) & 3;
    if (streamType == 0) {
        return ASF_E_BADDATAUNIT;
    }
    ByteReader body = packet.Sub(0, end);

    bool multiple = (lengthFlags & kMultiplePayloads) != 0;
    unsigned count = 1;
    unsigned payloadLengthType = 0;
    if (multiple) {
        if (!body.Has(off, 1)) {
            return ASF_E_BADDATAUNIT;
        }
        uint8_t payloadFlags = body.U8(off);
        ++off;
        count = payloadFlags & kPayloadCountMask;
        payloadLengthType = (payloadFlags >> kPayloadLengthTypeShift) & 3;
        if (payloadLengthType == 0) {
            return ASF_E_BADDATAUNIT;
        }
    }
    for (unsigned i = 0; i < count; ++i) {
        Payload p;
        uint32_t streamField = 0;
        uint32_t replicatedLength = 0;
        if (!ReadCoded(body, &off, streamType, &streamField) ||
            !ReadCoded(body, &off, objectType, &p.objectNumber) ||
            !ReadCoded(body, &off, offsetType, &p.offset) ||
            !ReadCoded(body, &off, replicatedType, &replicatedLength) ||
            !body.Has(off, replicatedLength)) {
            return ASF_E_BADDATAUNIT;
        }
        p.stream = static_cast<uint8_t>(streamField & kStreamNumberMask);
        p.keyFrame = (streamField & kKeyFrameBit) != 0;
        p.replicated = body.Sub(off, replicatedLength);
        off += replicatedLength;
        if (replicatedLength == kCompressedReplicatedLength) {
            p.compressed = true;
            p.timeDelta = p.replicated.U8(0);
        } else if (replicatedLength < kMinReplicatedLength) {
            return ASF_E_BADDATAUNIT;
        }
        uint32_t dataLength = 0;
        if (multiple) {
            if (!ReadCoded(body, &off, payloadLengthType, &dataLength)) {
                return ASF_E_BADDATAUNIT;
            }
        } else {
            dataLength = static_cast<uint32_t>(end - off);
        }
        if (!body.Has(off, dataLength)) {
            return ASF_E_BADDATAUNIT;
        }
        p.data = body.Sub(off, dataLength);
        off += dataLength;
        if (p.stream == 0) {
            return ASF_E_BADDATAUNIT;
        }
        payloads->push_back(p);
    }
    return S_OK;
}

}  // namespace asf
