// The Video CD sector reader over a whole file held in memory: the layout, then reads in steps
// and seeks that the input's first bytes choose, checked against what a byte-exact reader must
// give.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engines/conversion/cdxa_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CdxaLayout layout;
    if (!FindCdxaLayout(ByteReader(data, size), size, &layout)) {
        return 0;
    }
    CdxaPayloadReader reader(
        [data, size](uint64_t offset, uint8_t* out, size_t count) -> size_t {
            if (offset >= size) {
                return 0;
            }
            size_t n = count < size - offset ? count : size - offset;
            std::memcpy(out, data + offset, n);
            return n;
        },
        layout);
    // Steps and seek targets come from the first bytes, so the fuzzer can steer them.
    ByteReader control(data, size);
    size_t step = 1 + control.U8(4) * 37u;
    std::vector<uint8_t> buffer(step);
    std::vector<uint8_t> first;
    while (size_t n = reader.Read(buffer.data(), buffer.size())) {
        if (n > buffer.size()) {
            std::abort();
        }
        first.insert(first.end(), buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(n));
    }
    uint64_t total = reader.Size();
    if (total != first.size() || reader.Position() != total) {
        std::abort();
    }
    for (size_t i = 0; i < 8; ++i) {
        uint64_t target = total == 0 ? 0 : control.LE32(12 + 4 * i) % (total + 2);
        if (!reader.Seek(target)) {
            if (target <= total) {
                std::abort();  // every offset up to the end can be reached
            }
            continue;
        }
        size_t n = reader.Read(buffer.data(), buffer.size());
        if (target + n > total ||
            (n > 0 && std::memcmp(buffer.data(), first.data() + target, n) != 0)) {
            std::abort();  // a seek must land on the same bytes a straight read gave
        }
    }
    return 0;
}
