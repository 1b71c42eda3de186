#include "mcljoin/video_codec.h"

#include <mutex>

#include "platform/vfw.h"

namespace {

std::mutex g_openMutex;
CompressorOpen g_open;

// The Video for Windows way: a compressor that opens for compression is there.
bool CompressorOpens(uint32_t fourcc) {
    HIC compressor = ICOpen(ICTYPE_VIDEO, fourcc, ICMODE_COMPRESS);
    if (compressor == nullptr) {
        return false;
    }
    ICClose(compressor);
    return true;
}

}  // namespace

void SetCompressorOpen(CompressorOpen open) {
    std::lock_guard<std::mutex> lock(g_openMutex);
    g_open = std::move(open);
}

uint32_t FindVideoCodec(uint32_t fourcc) {
    CompressorOpen open;
    {
        std::lock_guard<std::mutex> lock(g_openMutex);
        open = g_open ? g_open : CompressorOpen(CompressorOpens);
    }
    // Uncompressed RGB carries no handler FourCC; its compressor goes by 'DIB '.
    uint32_t own = fourcc != 0 ? fourcc : mmioFOURCC('D', 'I', 'B', ' ');
    for (uint32_t candidate :
         {own, mmioFOURCC('d', 'i', 'v', 'x'), mmioFOURCC('m', 'p', '4', '2')}) {
        if (open(candidate)) {
            return candidate;
        }
    }
    return 0;
}

std::string FourCCToText(uint32_t fourcc) {
    std::string text(4, '\0');
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char>((fourcc >> (8 * i)) & 0xFF);
    }
    return text;
}
