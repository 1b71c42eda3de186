// Puts media objects back together from the payloads of successive data packets: fragments of
// one object are joined in order, compressed payloads are split into their objects. A fragment
// that does not continue its object drops that object and marks the stream's next object as
// following a loss.
#pragma once

#include <cstdint>
#include <deque>
#include <map>

#include "engines/asf/asf_model.h"
#include "engines/asf/asf_packet_parser.h"

namespace asf {

struct MediaObject {
    uint16_t stream = 0;
    uint32_t presentationMs = 0;  // preroll included
    bool keyFrame = false;
    bool afterLoss = false;
    uint32_t objectNumber = 0;
    uint64_t packetIndex = 0;  // packet that holds the object's first byte
    Bytes data;
    Bytes extension;  // replicated bytes after the first 8 (payload extension data)
};

class ObjectAssembler {
public:
    // Takes one payload of packet `packetIndex`; completed objects are appended to `out`.
    // Fails (ASF_E_EXCEEDEDMAXIMUMOBJECTSIZE) for an object larger than the engine accepts.
    HRESULT Add(const Payload& payload, uint64_t packetIndex, std::deque<MediaObject>* out);
    // Forgets partial objects (after a seek).
    void Reset() { m_partial.clear(); }

private:
    struct Partial {
        bool active = false;
        bool lossPending = false;
        uint32_t size = 0;
        MediaObject object;
    };
    std::map<uint8_t, Partial> m_partial;
};

}  // namespace asf
