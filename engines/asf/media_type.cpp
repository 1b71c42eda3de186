#include "engines/asf/media_type.h"

#include <algorithm>
#include <cstring>

#include "platform/bytes.h"

namespace asf {

GUID MajorTypeOf(const StreamInfo& s) {
    if (s.type == kAudioMedia) {
        return WMMEDIATYPE_Audio;
    }
    if (s.type == kVideoMedia) {
        return WMMEDIATYPE_Video;
    }
    if (s.type == kCommandMedia) {
        return WMMEDIATYPE_Script;
    }
    if (s.type == kJfifMedia || s.type == kDegradableJpegMedia) {
        return WMMEDIATYPE_Image;
    }
    if (s.type == kFileTransferMedia) {
        return WMMEDIATYPE_FileTransfer;
    }
    return s.type;
}

void BuildMediaTypeBlock(const StreamInfo& s, uint32_t bitrate, Bytes* out) {
    WM_MEDIA_TYPE mt{};
    mt.majortype = MajorTypeOf(s);
    mt.subtype = s.type;
    mt.formattype = WMFORMAT_None;
    Bytes format;
    ByteReader ts(s.typeSpecific);

    if (s.IsAudio() && ts.Has(0, kWaveFormatExSize)) {
        uint16_t cbSize = ts.LE16(16);
        size_t extra = std::min<size_t>(cbSize, ts.size() - kWaveFormatExSize);
        mt.subtype = WMMediaSubtype(ts.LE16(0));
        mt.bFixedSizeSamples = TRUE;
        mt.bTemporalCompression = FALSE;
        mt.lSampleSize = ts.LE16(12);
        mt.formattype = WMFORMAT_WaveFormatEx;
        format.assign(s.typeSpecific.begin(),
                      s.typeSpecific.begin() + static_cast<long>(kWaveFormatExSize + extra));
        // cbSize always tells the bytes that really follow.
        format[16] = static_cast<uint8_t>(extra);
        format[17] = static_cast<uint8_t>(extra >> 8);
    } else if (s.IsVideo() && ts.Has(videoinfo::kBitmapInfo, videoinfo::kBitmapInfoSize)) {
        ByteReader bmi = ts.Sub(videoinfo::kBitmapInfo, ts.size() - videoinfo::kBitmapInfo);
        uint32_t biSize = std::clamp<uint32_t>(bmi.LE32(0), videoinfo::kBitmapInfoSize,
                                               static_cast<uint32_t>(bmi.size()));
        mt.subtype = WMMediaSubtype(bmi.LE32(16));
        mt.bFixedSizeSamples = FALSE;
        mt.bTemporalCompression = TRUE;
        mt.lSampleSize = 0;
        mt.formattype = WMFORMAT_VideoInfo;
        uint32_t width = bmi.LE32(4);
        uint32_t height = PictureDimension(bmi.LE32(8));
        ByteWriter w;
        // rcSource, rcTarget: the whole picture.
        for (int i = 0; i < 2; ++i) {
            w.LE32(0).LE32(0).LE32(width).LE32(height);
        }
        w.LE32(bitrate).LE32(0);
        w.LE64(s.hasExtended ? s.extended.avgTimePerFrame : 0);
        w.Bytes(bmi.data(), biSize);
        w.PatchLE32(48, biSize);
        format = std::move(w.bytes());
    } else {
        format = s.typeSpecific;
        if (s.type == kCommandMedia) {
            mt.formattype = WMFORMAT_Script;
        }
    }
    mt.cbFormat = static_cast<uint32_t>(format.size());
    out->assign(sizeof(WM_MEDIA_TYPE) + format.size(), 0);
    std::memcpy(out->data(), &mt, sizeof mt);
    std::copy(format.begin(), format.end(), out->begin() + sizeof(WM_MEDIA_TYPE));
}

void PlaceMediaTypeBlock(const Bytes& block, WM_MEDIA_TYPE* where) {
    std::memcpy(where, block.data(), block.size());
    where->pUnk = nullptr;
    where->pbFormat = reinterpret_cast<BYTE*>(where) + sizeof(WM_MEDIA_TYPE);
}

}  // namespace asf
