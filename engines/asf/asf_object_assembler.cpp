#include "engines/asf/asf_object_assembler.h"

#include <algorithm>

namespace asf {

namespace {
// Unfinished objects that hold more read blocks than this are copied out, so that a file whose
// objects never complete cannot keep every block it was read in.
constexpr size_t kMaxHeldBlocks = 8;
}  // namespace

void ObjectAssembler::Drop(Partial& part) {
    m_heldBlocks -= std::min(m_heldBlocks, part.blocks);
    part.blocks = 0;
    part.lastBlock = nullptr;
    part.object = MediaObject{};
}

void ObjectAssembler::Append(Partial& part, const Payload& p,
                             const std::shared_ptr<const void>& keep) {
    if (keep && keep.get() != part.lastBlock) {
        part.lastBlock = keep.get();
        ++part.blocks;
        if (++m_heldBlocks > kMaxHeldBlocks) {
            for (auto& [stream, other] : m_partial) {
                other.object.data.Materialize();
                other.lastBlock = nullptr;
                other.blocks = 0;
            }
            m_heldBlocks = 0;
            part.object.data.Append(p.data.data(), p.data.size(), nullptr);
            return;
        }
    }
    part.object.data.Append(p.data.data(), p.data.size(), keep);
}

void ObjectAssembler::NoteLoss() {
    for (auto& [stream, part] : m_partial) {
        if (part.active) {
            part.active = false;
            Drop(part);
        }
        part.lossPending = true;
    }
}

HRESULT ObjectAssembler::Add(const Payload& p, uint64_t packetIndex, std::deque<MediaObject>* out,
                             const std::shared_ptr<const void>& keep) {
    Partial& part = m_partial[p.stream];
    if (p.compressed) {
        // A run of {length u8, bytes} sub-payloads, each a whole object.
        if (part.active) {
            part.active = false;
            part.lossPending = true;
            Drop(part);
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
            o.data.Append(p.data.data() + off + 1, n, keep);
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
        Drop(part);
        part.active = true;
        part.size = size;
        part.object.stream = p.stream;
        part.object.presentationMs = p.PresentationMs();
        part.object.keyFrame = p.keyFrame;
        part.object.objectNumber = p.objectNumber;
        part.object.packetIndex = packetIndex;
        part.object.extension.assign(p.replicated.data() + packet::kMinReplicatedLength,
                                     p.replicated.data() + p.replicated.size());
    } else if (!part.active || part.object.objectNumber != p.objectNumber ||
               p.offset != part.object.data.size() || part.size != size) {
        // A fragment whose start we never saw, or one that leaves a gap.
        if (part.active) {
            part.active = false;
            Drop(part);
        }
        part.lossPending = true;
        return S_OK;
    }
    if (p.data.size() > part.size - part.object.data.size()) {
        part.active = false;
        part.lossPending = true;
        Drop(part);
        return S_OK;
    }
    Append(part, p, keep);
    if (part.object.data.size() == part.size) {
        part.active = false;
        part.object.afterLoss = part.lossPending;
        part.lossPending = false;
        out->push_back(std::move(part.object));
        Drop(part);
    }
    return S_OK;
}

}  // namespace asf
