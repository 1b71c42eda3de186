// The file scan and the encoder question of the module's interface.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "engines/conversion/ffmpeg_loader.h"
#include "engines/conversion/input_open.h"
#include "engines/conversion/mcl.h"
#include "engines/conversion/mcl_exports.h"
#include "engines/conversion/media_scan.h"
#include "engines/conversion/output_plan.h"

namespace {

template <size_t N>
void CopyText(char (&slot)[N], const std::string& text) {
    size_t n = std::min(text.size(), N - 1);
    std::memcpy(slot, text.data(), n);
    slot[n] = '\0';
}

int32_t ClampToInt32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, 0, INT32_MAX));
}

uint32_t FourccCase(uint32_t fourcc, int (*change)(int)) {
    uint32_t out = 0;
    for (int i = 0; i < 4; ++i) {
        auto c = static_cast<unsigned char>(fourcc >> (8 * i));
        out |= static_cast<uint32_t>(static_cast<unsigned char>(change(c))) << (8 * i);
    }
    return out;
}

// The codec FFmpeg's AVI tables give a FourCC, tried as written, in capitals and in small letters.
AVCodecID CodecOfFourcc(uint32_t fourcc) {
    for (uint32_t tag : {fourcc, FourccCase(fourcc, ::toupper), FourccCase(fourcc, ::tolower)}) {
        AVCodecID id = AviVideoCodecOf(tag);
        if (id != AV_CODEC_ID_NONE) {
            return id;
        }
    }
    return AV_CODEC_ID_NONE;
}

}  // namespace

extern "C" {

int32_t MclGetFileInfo(const char* path, int32_t /*mode: every scan reads the file through*/,
                       void* record, MclScanCallback callback, void* /*caller's window*/) {
    if (path == nullptr || record == nullptr) {
        return -1;
    }
    auto* info = static_cast<MclFileInfo*>(record);
    std::memset(info, 0, sizeof *info);
    CopyText(info->path, path);

    MclScanProgressRecord progress{};
    progress.recordBytes = sizeof progress;
    MediaScan scan;
    std::string error;
    int result = ScanMediaCached(
        path, &scan,
        [&](double percent) {
            if (callback != nullptr) {
                progress.percent = percent;
                callback(&progress);
            }
        },
        &error);

    std::string format = scan.formatName;
    if (!scan.standard.empty()) {
        format += " (" + scan.standard + ")";
    }
    CopyText(info->formatName, format);
    CopyText(info->videoCodec, scan.videoCodec);
    info->frameCount = ClampToInt32(scan.frameCount);
    info->duration = scan.duration;
    std::error_code sizeError;
    std::uintmax_t bytes = std::filesystem::file_size(path, sizeError);
    info->fileSize = sizeError ? -1 : static_cast<int64_t>(bytes);
    info->frameRate = scan.frameRate;
    info->width = scan.width;
    info->height = scan.height;
    info->hasVideo = scan.hasVideo ? 1 : 0;
    info->hasAudio = scan.hasAudio ? 1 : 0;
    info->audioSampleRate = scan.audioSampleRate;
    info->audioChannels = scan.audioChannels;
    CopyText(info->audioCodec, scan.audioCodec);
    info->audioSampleCount = scan.audioSampleCount;
    info->audioBitRate = static_cast<double>(scan.audioBitRate);
    info->packBytes = scan.packBytes;
    info->videoCd = scan.videoCd ? 1 : 0;
    return result < 0 ? result : 0;
}

int32_t MclHasVideoEncoder(uint32_t fourcc) {
    if (fourcc == 0 || !EnsureFfmpeg()) {
        return 0;
    }
    AVCodecID id = CodecOfFourcc(fourcc);
    if (id == AV_CODEC_ID_NONE) {
        return 0;
    }
    const AVCodec* encoder = avcodec_find_encoder(id);
    return encoder != nullptr && encoder->type == AVMEDIA_TYPE_VIDEO ? 1 : 0;
}

}  // extern "C"
