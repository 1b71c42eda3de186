// The picture and GOP header reading of the MPEG stream copy, and the leading-picture filter,
// over packets cut from the input at lengths the input itself gives.
#include <cstddef>
#include <cstdint>

#include "engines/conversion/mpeg_pictures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LeadingPictureFilter filter;
    size_t at = 0;
    while (at < size) {
        // One length byte (times 16), then that many bytes, or what is left.
        size_t length = static_cast<size_t>(data[at]) * 16;
        ++at;
        size_t take = length < size - at ? length : size - at;
        ReadMpegPacketFacts(data + at, take);
        filter.Keep(data + at, take);
        at += take;
    }
    return 0;
}
