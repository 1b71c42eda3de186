// The WMVCore module's header parser: any bytes end in a result, never a crash or an
// out-of-buffer read; a header it accepts must survive being written back and read again.
#include <cstdint>
#include <cstdlib>

#include "engines/asf/asf_header_builder.h"
#include "engines/asf/asf_header_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    asf::Header header;
    if (FAILED(asf::ParseHeaderObject(ByteReader(data, size), &header))) {
        return 0;
    }
    asf::Bytes rebuilt;
    if (FAILED(asf::BuildHeaderObject(header, {}, &rebuilt))) {
        return 0;
    }
    asf::Header again;
    if (FAILED(asf::ParseHeaderObject(ByteReader(rebuilt), &again)) ||
        again.streams.size() != header.streams.size() ||
        again.metadata.attributes.size() != header.metadata.attributes.size() ||
        again.metadata.scripts.size() != header.metadata.scripts.size() ||
        again.metadata.markers.size() != header.metadata.markers.size()) {
        std::abort();  // the builder wrote something its own parser refuses
    }
    return 0;
}
