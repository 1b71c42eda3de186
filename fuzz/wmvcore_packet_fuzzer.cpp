// The WMVCore module's data-packet parser and object reassembly: the input is one packet (its
// whole length is the packet size), parsed twice over so fragments meet across packets; the
// first time the objects copy their bytes, the second time they point into a shared copy of the
// packet, as they do into the reader's blocks; a packet that does not parse counts as lost, as
// in the reader. Every object's bytes are read back.
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "engines/asf/asf_object_assembler.h"
#include "engines/asf/asf_packet_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto block = std::make_shared<std::vector<uint8_t>>(data, data + size);
    asf::ObjectAssembler assembler;
    std::deque<asf::MediaObject> objects;
    std::vector<asf::Payload> payloads;
    for (uint64_t packet = 0; packet < 2; ++packet) {
        asf::PacketInfo info;
        const uint8_t* bytes = packet == 0 ? data : block->data();
        if (FAILED(asf::ParseDataPacket(ByteReader(bytes, size), &info, &payloads))) {
            assembler.NoteLoss();  // as the reader does for a damaged packet
            continue;
        }
        std::shared_ptr<const void> keep;
        if (packet == 1) {
            keep = block;
        }
        for (const auto& p : payloads) {
            if (FAILED(assembler.Add(p, packet, &objects, keep))) {
                return 0;
            }
        }
    }
    volatile size_t total = 0;
    for (const asf::MediaObject& o : objects) {
        total = total + o.data.Gather().size();
    }
    return 0;
}
