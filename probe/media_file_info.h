// The record behind each row of the join list.
#pragma once

#include <cstdint>
#include <string>

#include "probe/cut_short.h"
#include "probe/media_kind.h"

class MediaFileInfo {
public:
    virtual ~MediaFileInfo() = default;

    // The status-line text: "Video:%s Frame:%d Freq:%4.2fFPS[ Audio:%s Bitrate:%fbps]", with
    // the codecs by the names people know them by (CodecDisplayName).
    std::string FormatInfoLine() const;

    // Sound and no picture: an audio stream, and neither a picture size nor a video codec.
    bool IsAudioOnly() const;
    // A picture of some sort: a size or a video codec (a row whose probe failed has neither).
    bool HasVideo() const;

    std::string m_strPath;    // full path as probed
    int32_t m_bHasAudio = 0;  // nonzero when the file has an audio stream
    int32_t m_nWidth = 0;     // pixels; 0 when no reader found one
    int32_t m_nHeight = 0;
    MediaKind m_nKind = kKindAvi;
    double m_fFileSize = 0;     // bytes (64-bit sizes shown exactly)
    float m_fFrameRate = 0;     // frames per second
    int32_t m_nFrameCount = 0;  // video frames (WMV/ASF: data packets)
    float m_fDuration = 0;      // seconds
    float m_fAudioRate = 0;     // first audio stream's rate as its reader reports it
    std::string m_strVideoCodec;
    std::string m_strAudioCodec;
    uint32_t m_dwFourcc = 0;  // AVI video FourCC, first character in the lowest byte

    // Whether the file holds less than its header promises (CutShortText says it in words).
    CutShortFinding m_cutShort;
};
