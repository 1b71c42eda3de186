// Whether a file holds what its header promises, over any bytes taken as a whole file: the judge
// of the kind its signature says, or of one chosen by its size when it has none.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "probe/cut_short.h"
#include "probe/detect_file_type.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* file = data;
    size_t fileSize = size;
    CutShortReadAt read = [file, fileSize](uint64_t offset, uint8_t* out, size_t count) -> size_t {
        if (offset >= fileSize) {
            return 0;
        }
        size_t n = std::min<uint64_t>(count, fileSize - offset);
        std::copy_n(file + offset, n, out);
        return n;
    };
    CutShortFinding finding;
    FileTypeCode type = DetectFileTypeInBytes(ByteReader(data, std::min(size, kDetectBytes)));
    if (type == kTypeUnknown || type == kTypeOgg) {
        const FileTypeCode byChoice[] = {kTypeAsf, kTypeRealMedia, kTypeAvi, kTypeMpeg};
        type = byChoice[size % 4];
    }
    switch (type) {
        case kTypeAsf:
            finding = FindAsfCutShort(read, fileSize);
            break;
        case kTypeRealMedia:
            finding = FindRmCutShort(read, fileSize);
            break;
        case kTypeAvi:
            finding = FindAviCutShort(read, fileSize, -1);
            break;
        default:
            finding = FindMpegCutShort(read, fileSize, -1);
            break;
    }
    (void)CutShortText(finding);
    return 0;
}
