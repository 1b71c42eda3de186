#include "probe/media_file_info.h"

#include <cstdio>

#include "probe/codec_names.h"

namespace {
void AppendFormatted(std::string& out, const char* format, auto value) {
    char piece[512];
    int n = std::snprintf(piece, sizeof piece, format, value);
    if (n > 0) {
        out.append(piece, static_cast<size_t>(n) < sizeof piece ? static_cast<size_t>(n)
                                                                : sizeof piece - 1);
    }
}
}  // namespace

bool MediaFileInfo::HasVideo() const {
    return m_nWidth != 0 || m_nHeight != 0 || !m_strVideoCodec.empty();
}

bool MediaFileInfo::IsAudioOnly() const {
    return m_bHasAudio != 0 && !HasVideo();
}

std::string MediaFileInfo::FormatInfoLine() const {
    std::string line;
    // A file of sound alone has no video part to show: it would only say "Video: Frame:0".
    if (!IsAudioOnly()) {
        line = "Video:" + CodecDisplayName(m_strVideoCodec);
        AppendFormatted(line, " Frame:%d", m_nFrameCount);
        AppendFormatted(line, " Freq:%4.2fFPS", static_cast<double>(m_fFrameRate));
    }
    if (m_bHasAudio != 0) {
        line += line.empty() ? "Audio:" : " Audio:";
        line += CodecDisplayName(m_strAudioCodec);
        AppendFormatted(line, " Bitrate:%fbps", static_cast<double>(m_fAudioRate));
    }
    return line;
}
