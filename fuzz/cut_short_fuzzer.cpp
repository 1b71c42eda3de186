// Whether a file holds what its header promises, over any bytes taken as a whole file: the judge
// of the type its signature says, or of one chosen by its size when it has none.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "probe/cut_short.h"
#include "probe/detect_file_type.h"
#include "probe/file_type_readers.h"

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
    const FileTypeReader readers[] = {AsfFileReader(), RealMediaFileReader(), AviFileReader(),
                                      MpegFileReader()};
    FileTypeCode type = DetectFileTypeInBytes(ByteReader(data, std::min(size, kDetectBytes)));
    const FileTypeReader* reader =
        std::find_if(std::begin(readers), std::end(readers),
                     [type](const FileTypeReader& r) { return r.type == type; });
    if (reader == std::end(readers)) {
        reader = &readers[size % std::size(readers)];
    }
    CutShortFinding finding = reader->findCutShort(read, fileSize, -1);
    (void)CutShortText(finding);
    return 0;
}
