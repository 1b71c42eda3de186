// The reading of a bare RealAudio header (".ra\xfd" versions 3 to 5) as the Real Media engine
// reads it before a join, and the comparison of two such headers.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engines/realmedia/ra_join.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader head(data, size);
    rm::BareRealAudio ra;
    std::string why;
    // The claimed file size may be larger than the bytes read, as for a real file.
    if (rm::ParseBareRealAudio(head, size + 4096, ra, &why)) {
        (void)rm::DescribeAudioDifference(ra.codec, ra.codec);
        (void)rm::DescribeAudioDifference(ra.codec, ra.header);
    }
    return 0;
}
