#include "engines/asf/asf_object_assembler.h"

#include <algorithm>

namespace asf {

HRESULT ObjectAssembler::Add(const Payload& p, uint64_t packetIndex, std::deque<MediaObject>* out) {
    Partial& part = m_partial[p.stream];
    if (p.compressed) {
        // A run of {length u8, bytes} sub-payloads, each a whole object.
        if (part.active) {
            part.active = false;
            part.lossPending = true;
        }
        size_t off = 0;
        uint32_t k = 0;
        while (p.data.Has(off, 1)) {
            size_t n = p.data.U8(off);
            if (!p.data.Has(off + 1, n)) {
                return ASF_E_BADDATAUNIT;
            }
            MediaObject o;
            o.stream = p.stream;
            o.presentationMs = p.offset + k * p.timeDelta;
            o.keyFrame = p.keyFrame;
            o.objectNumber = p.objectNumber + k;
            o.packetIndex = packetIndex;
            o.afterLoss = part.lossPending;
            part.lossPending = false;
            o.data.assign(p.data.data() + off + 1, p.data.data() + off + 1 + n);
            out->push_back(std::move(o));
            off += 1 + n;
            ++k;
        }
        return S_OK;
    }

    uint32_t size = p.ObjectSize();
    if (size > kMaxMediaObjectSize) {
        return ASF_E_EXCEEDEDMAXIMUMOBJECTSIZE;
    }
    if (p.offset == 0) {
        if (part.active) {
            part.lossPending = true;  // the previous object never completed
        }
        part.active = true;
        part.size = size;
        part.object = MediaObject{};
        part.object.stream = p.stream;
        part.object.presentationMs = p.PresentationMs();
        part.object.keyFrame = p.keyFrame;
        part.object.objectNumber = p.objectNumber;
        part.object.packetIndex = packetIndex;
        part.object.extension.assign(p.replicated.data() + packet::kMinReplicatedLength,
                                     p.replicated.data() + p.replicated.size());
        part.object.data.reserve(std::min<uint32_t>(size, 1u << 20));
    } else if (!part.active || part.object.objectNumber != p.objectNumber ||
               p.offset != part.object.data.size() || part.size != size) {
        // A fragment whose start we never saw, or one that leaves a gap.
        if (part.active) {
            part.active = false;
        }
        part.lossPending = true;
        return S_OK;
    }
    if (p.data.size() > part.size - part.object.data.size()) {
        part.active = false;
        part.lossPending = true;
        return S_OK;
    }
    part.object.data.insert(part.object.data.end(), p.data.data(), p.data.data() + p.data.size());
    if (part.object.data.size() == part.size) {
        part.active = false;
        part.object.afterLoss = part.lossPending;
        part.lossPending = false;
        out->push_back(std::move(part.object));
        part.object = MediaObject{};
    }
    return S_OK;
}

}  // namespace asf
