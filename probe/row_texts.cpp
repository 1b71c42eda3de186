#include "probe/row_texts.h"

#include <cstdio>

namespace {
template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[64];
    int n = std::snprintf(text, sizeof text, format, args...);
    return n < 0 ? std::string() : std::string(text);
}
}  // namespace

std::string GeometryText(const MediaFileInfo& info) {
    if (info.IsAudioOnly()) {
        return kAudioOnlyGeometryText;
    }
    return Format("%d/%d", info.m_nWidth, info.m_nHeight);
}

std::string DurationText(const MediaFileInfo& info) {
    return Format("%8.2f S", static_cast<double>(info.m_fDuration));
}

std::string SizeText(const MediaFileInfo& info) {
    return Format("%8.2f KB", info.m_fFileSize * 0.001);
}
