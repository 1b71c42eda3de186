// The Windows Media join's comparison of two streams' media types, over any format bytes: the
// fields left out of it (bit rates, the rate hints of WMV codec data, unread WMA words) are
// found by offsets into bytes that may be too short for them.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "wmjoin/wm_stream_table.h"

namespace {

// Byte 0 picks the type; the rest is split in two halves, one format for each block.
std::vector<uint8_t> Block(uint8_t kind, const uint8_t* format, size_t size) {
    static const GUID kSubtypes[] = {WMMEDIASUBTYPE_WMV2, WMMEDIASUBTYPE_WMV3, WMMEDIASUBTYPE_MP43,
                                     WMMEDIASUBTYPE_WMAudioV2};
    std::vector<uint8_t> block(sizeof(WM_MEDIA_TYPE) + size, 0);
    WM_MEDIA_TYPE type{};
    const bool video = (kind & 1) == 0;
    type.majortype = video ? WMMEDIATYPE_Video : WMMEDIATYPE_Audio;
    type.subtype = kSubtypes[(kind >> 1) % 4];
    type.formattype = video ? WMFORMAT_VideoInfo : WMFORMAT_WaveFormatEx;
    type.cbFormat = static_cast<ULONG>(size);
    std::memcpy(block.data(), &type, sizeof type);
    if (size > 0) {
        std::memcpy(block.data() + sizeof(WM_MEDIA_TYPE), format, size);
    }
    reinterpret_cast<WM_MEDIA_TYPE*>(block.data())->pbFormat = block.data() + sizeof(WM_MEDIA_TYPE);
    return block;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const size_t half = (size - 1) / 2;
    std::vector<uint8_t> a = Block(data[0], data + 1, half);
    std::vector<uint8_t> b = Block(data[0], data + 1 + half, half);
    auto* ta = reinterpret_cast<WM_MEDIA_TYPE*>(a.data());
    auto* tb = reinterpret_cast<WM_MEDIA_TYPE*>(b.data());
    std::vector<uint8_t> read = FormatBitsRead(ta);
    if (read.size() != ta->cbFormat) {
        __builtin_trap();
    }
    // A block always matches itself, whatever it holds.
    if (!CompareMediaTypes(tb, tb, 0)) {
        __builtin_trap();
    }
    CompareMediaTypes(ta, tb, data[0] >> 7);
    return 0;
}
