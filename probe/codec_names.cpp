#include "probe/codec_names.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace {

constexpr size_t kMostSpellings = 6;

struct CodecName {
    std::string_view shown;
    // The ways files and libraries spell it, compared without regard to case.
    std::string_view spellings[kMostSpellings];
};

const CodecName kCodecNames[] = {
    // Video.
    {"MPEG-1 video", {"mpeg1video", "mpg1", "pim1"}},
    {"MPEG-2 video", {"mpeg2video", "mpg2", "mpeg-2"}},
    {"MPEG-4 video", {"mpeg4", "fmp4", "divx", "dx50", "xvid", "mp4v"}},
    {"Microsoft MPEG-4 V1", {"msmpeg4v1", "mpg4"}},
    {"Microsoft MPEG-4 V2", {"msmpeg4v2", "mp42"}},
    {"Microsoft MPEG-4 V3", {"msmpeg4", "msmpeg4v3", "mp43", "div3"}},
    {"H.263", {"h263", "s263", "u263"}},
    {"H.264", {"h264", "avc1", "x264"}},
    {"Cinepak", {"cinepak", "cvid"}},
    {"Motion JPEG", {"mjpeg", "mjpg"}},
    {"Microsoft Video 1", {"msvideo1", "cram", "msvc", "wham"}},
    {"Microsoft RLE", {"msrle", "mrle"}},
    {"Indeo 3", {"indeo3", "iv31", "iv32"}},
    {"Indeo 4", {"indeo4", "iv41"}},
    {"Indeo 5", {"indeo5", "iv50"}},
    {"HuffYUV", {"huffyuv", "hfyu"}},
    {"DV", {"dvvideo", "dvsd"}},
    {"Uncompressed video", {"rawvideo", "dib "}},
    {"Windows Media Video 7", {"wmv1"}},
    {"Windows Media Video 8", {"wmv2"}},
    {"Windows Media Video 9", {"wmv3"}},
    {"Windows Media Video 9 Advanced Profile", {"vc1", "wvc1", "wmva"}},
    {"Windows Media Video 9 Screen", {"mss2", "mss1"}},
    {"RealVideo 1", {"rv10"}},
    {"RealVideo 2", {"rv20"}},
    {"RealVideo 3", {"rv30"}},
    {"RealVideo 4", {"rv40"}},
    // Sound.
    {"MPEG audio layer 1", {"mp1", "mp1float"}},
    {"MPEG audio layer 2", {"mp2", "mp2float"}},
    {"MPEG audio layer 3", {"mp3", "mp3float", "MPEG Layer-3"}},
    {"MPEG audio layer 1/2", {"MPEG Layer-1/2"}},
    {"Dolby AC-3", {"ac3", "dnet", "Dolby AC-3 SPDIF"}},
    {"AAC", {"aac", "raac", "racp", "MPEG-4 AAC", "MPEG-2 AAC (ADTS)"}},
    {"PCM", {"pcm_s16le", "pcm_u8", "pcm_s24le", "pcm_s32le", "pcm_f32le", "IEEE Float"}},
    {"Microsoft ADPCM", {"adpcm_ms"}},
    {"IMA ADPCM", {"adpcm_ima_wav"}},
    {"GSM 6.10", {"gsm_ms"}},
    {"Windows Media Audio V1", {"wmav1"}},
    {"Windows Media Audio V2", {"wmav2"}},
    {"Windows Media Audio 9 Professional", {"wmapro"}},
    {"Windows Media Audio 9 Lossless", {"wmalossless"}},
    {"Windows Media Audio Voice", {"wmavoice"}},
    {"RealAudio Cook", {"cook"}},
    {"RealAudio Sipro", {"sipr"}},
    {"ATRAC3", {"atrc", "atrac3"}},
    {"RealAudio 14.4", {"14_4", "lpcj", "ra_144"}},
    {"RealAudio 28.8", {"28_8", "ra_288"}},
};

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string CodecDisplayName(const std::string& codec) {
    for (const CodecName& entry : kCodecNames) {
        for (std::string_view spelling : entry.spellings) {
            if (!spelling.empty() && SameIgnoringCase(codec, spelling)) {
                return std::string(entry.shown);
            }
        }
    }
    return codec;
}
