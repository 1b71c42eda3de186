// The one walk over RIFF chunks held in memory, for every reader of RIFF files (the AVI file
// interface, the type detection, the Video CD reader): chunk after chunk, each header whole
// inside the bytes, each chunk's data clamped to what the bytes hold.
#pragma once

#include <cstdint>

#include "platform/bytes.h"
#include "platform/riff_format.h"

namespace riff {

// Calls fn(at, data) for each chunk from offset `from` on: `at` is where its id lies in `bytes`,
// `data` its data clamped to `bytes`. Stops when fn returns false or the next chunk header does
// not lie whole inside `bytes`.
template <typename Fn>
void ForEachChunk(ByteReader bytes, uint64_t from, Fn fn) {
    for (uint64_t at = from; bytes.Has(at, kChunkHeaderBytes);) {
        uint32_t size = bytes.LE32(at + kChunkSizeOffset);
        if (!fn(static_cast<size_t>(at), bytes.Sub(at + kChunkHeaderBytes, size))) {
            return;
        }
        at += PaddedChunkBytes(size);
    }
}

}  // namespace riff
