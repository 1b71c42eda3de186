#include "probe/media_file_info.h"

#include <cstdio>

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

std::string MediaFileInfo::FormatInfoLine() const {
    std::string line = "Video:" + m_strVideoCodec;
    AppendFormatted(line, " Frame:%d", m_nFrameCount);
    AppendFormatted(line, " Freq:%4.2fFPS", static_cast<double>(m_fFrameRate));
    if (m_bHasAudio != 0) {
        line += " Audio:" + m_strAudioCodec;
        AppendFormatted(line, " Bitrate:%fbps", static_cast<double>(m_fAudioRate));
    }
    return line;
}
