// Type detection over any first bytes of a file.
#include <cstddef>
#include <cstdint>

#include "probe/detect_file_type.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Detection only ever sees the first 128 bytes.
    DetectFileTypeInBytes(ByteReader(data, size < kDetectBytes ? size : kDetectBytes));
    // And it must also hold for a longer buffer than it is given in use.
    DetectFileTypeInBytes(ByteReader(data, size));
    return 0;
}
