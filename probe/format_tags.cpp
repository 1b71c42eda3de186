#include "probe/format_tags.h"

#include <iterator>

namespace {

struct FormatTagName {
    uint16_t tag;
    const char* name;
};

constexpr FormatTagName kFormatTagNames[] = {
    {0x0001, "PCM"},
    {0x0002, "Microsoft ADPCM"},
    {0x0003, "IEEE Float"},
    {0x0006, "CCITT A-Law"},
    {0x0007, "CCITT u-Law"},
    {0x000A, "Windows Media Audio Voice"},
    {0x0011, "IMA ADPCM"},
    {0x0022, "DSP Group TrueSpeech"},
    {0x0031, "GSM 6.10"},
    {0x0040, "G.721 ADPCM"},
    {0x0050, "MPEG Layer-1/2"},
    {0x0055, "MPEG Layer-3"},
    {0x0092, "Dolby AC-3 SPDIF"},
    {0x00FF, "AAC"},
    {0x0130, "ACELP.net"},
    {0x0160, "Windows Media Audio V1"},
    {0x0161, "Windows Media Audio V2"},
    {0x0162, "Windows Media Audio 9 Professional"},
    {0x0163, "Windows Media Audio 9 Lossless"},
    {0x1600, "MPEG-2 AAC (ADTS)"},
    {0x1610, "MPEG-4 AAC"},
    {0x2000, "Dolby AC-3"},
    {0x2001, "DTS"},
    {0x674F, "Ogg Vorbis"},
    {0xF1AC, "FLAC"},
};

}  // namespace

bool AcmFormatTagName(uint16_t formatTag, std::string& name) {
    for (const FormatTagName& entry : kFormatTagNames) {
        if (entry.tag == formatTag) {
            name = entry.name;
            return true;
        }
    }
    return false;
}
