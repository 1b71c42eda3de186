// Type detection over any first bytes of a file.
#include <cstddef>
#include <cstdint>

#include "probe/detect_file_type.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Detection only ever sees the first 128 bytes of a file.
    DetectFileTypeInBytes(ByteReader(data, size < kDetectBytes ? size : kDetectBytes));
    return 0;
}
