// Puts media objects back together from the payloads of successive data packets: fragments of
// one object are joined in order, compressed payloads are split into their objects. A fragment
// that does not continue its object drops that object and marks the stream's next object as
// following a loss.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>

#include "engines/asf/asf_model.h"
#include "engines/asf/asf_packet_parser.h"
#include "engines/asf/object_bytes.h"

namespace asf {

struct MediaObject {
    uint16_t stream = 0;
    uint32_t presentationMs = 0;  // preroll included
    bool keyFrame = false;
    bool afterLoss = false;
    uint32_t objectNumber = 0;
    uint64_t packetIndex = 0;  // packet that holds the object's first byte
    ObjectBytes data;
    Bytes extension;  // replicated bytes after the first 8 (payload extension data)
};

class ObjectAssembler {
public:
    // Takes one payload of packet `packetIndex`; completed objects are appended to `out`.
    // When `keep` holds the packet's bytes alive the objects point into them, else they get
    // copies. Fails (ASF_E_EXCEEDEDMAXIMUMOBJECTSIZE) for an object larger than the engine
    // accepts.
    HRESULT Add(const Payload& payload, uint64_t packetIndex, std::deque<MediaObject>* out,
                const std::shared_ptr<const void>& keep = nullptr);
    // A packet was lost: unfinished objects are dropped, and the next object of every stream
    // seen follows a loss.
    void NoteLoss();
    // Forgets partial objects (after a seek).
    void Reset() {
        m_partial.clear();
        m_heldBlocks = 0;
    }

private:
    struct Partial {
        bool active = false;
        bool lossPending = false;
        uint32_t size = 0;
        MediaObject object;
        const void* lastBlock = nullptr;
        size_t blocks = 0;  // read blocks its bytes point into
    };
    void Append(Partial& part, const Payload& p, const std::shared_ptr<const void>& keep);
    // Lets go of an unfinished object's bytes.
    void Drop(Partial& part);

    std::map<uint8_t, Partial> m_partial;
    // Read blocks the unfinished objects point into, counted once per object.
    size_t m_heldBlocks = 0;
};

}  // namespace asf
