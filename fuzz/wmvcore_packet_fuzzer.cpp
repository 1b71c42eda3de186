// The WMVCore module's data-packet parser and object reassembly: the input is one packet (its
// whole length is the packet size), parsed twice over so fragments meet across packets.
#include <cstdint>
#include <deque>
#include <vector>

#include "engines/asf/asf_object_assembler.h"
#include "engines/asf/asf_packet_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    asf::ObjectAssembler assembler;
    std::deque<asf::MediaObject> objects;
    std::vector<asf::Payload> payloads;
    for (uint64_t packet = 0; packet < 2; ++packet) {
        asf::PacketInfo info;
        if (FAILED(asf::ParseDataPacket(ByteReader(data, size), &info, &payloads))) {
            return 0;
        }
        for (const auto& p : payloads) {
            if (FAILED(assembler.Add(p, packet, &objects))) {
                return 0;
            }
        }
    }
    return 0;
}
