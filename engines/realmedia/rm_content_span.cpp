#include "engines/realmedia/rm_content_span.h"

#include <algorithm>

#include "engines/realmedia/rm_codec.h"

namespace rm {

namespace {
constexpr uint64_t kFixedOne = 65536;  // 1.0 in the 16.16 frame rate
constexpr uint64_t kMsPerSecond = 1000;

// One frame at a 16.16 rate, rounded to the nearest ms; 0 for a rate no video has.
uint32_t FrameMs(uint32_t frameRate) {
    if (frameRate < kFixedOne || frameRate > 240 * kFixedOne) {
        return 0;
    }
    return static_cast<uint32_t>((kMsPerSecond * kFixedOne + frameRate / 2) / frameRate);
}
}  // namespace

ContentSpan::ContentSpan(const RmHeader& header) {
    for (const MediaProperties& m : header.streams) {
        Stream s;
        VideoFormat video;
        if (m.IsVideo()) {
            s.kind = Kind::Video;
            if (ParseVideoFormat(m.typeData, video)) {
                s.frameMs = FrameMs(video.frameRate);
            }
        } else if (m.IsAudio()) {
            s.kind = Kind::Audio;
            s.avgBitRate = m.avgBitRate;
        }
        m_streams[m.stream] = s;
    }
}

void ContentSpan::Add(const Packet& p) {
    auto it = m_streams.find(p.stream);
    if (it == m_streams.end()) {
        return;
    }
    m_start = m_any ? std::min(m_start, p.timestamp) : p.timestamp;
    m_any = true;
    Stream& s = it->second;
    const uint64_t payload = p.length - p.HeaderBytes();
    if (!s.seen) {
        s.seen = true;
        s.latest = p.timestamp;
        s.unitStart = p.timestamp;
        s.unitBytes = payload;
        return;
    }
    s.latest = std::max(s.latest, p.timestamp);
    // Audio comes in units (a packet, or an interleave block whose packets share a time): the
    // step from one unit to the next is how long a unit plays.
    if (p.timestamp != s.unitStart) {
        if (p.timestamp > s.unitStart) {
            s.unitStep = p.timestamp - s.unitStart;
        }
        s.unitStart = p.timestamp;
        s.unitBytes = payload;
    } else {
        s.unitBytes += payload;
    }
}

uint64_t ContentSpan::StreamEnd(const Stream& s) {
    const uint64_t latest = s.latest;
    switch (s.kind) {
        case Kind::Video:
            return latest + std::max<uint32_t>(s.frameMs, 1);
        case Kind::Audio: {
            uint64_t unit = s.unitStep;
            if (unit == 0 && s.avgBitRate > 0) {
                unit = s.unitBytes * 8 * kMsPerSecond / s.avgBitRate;  // a stream of one unit
            }
            return std::max<uint64_t>(latest + 1,
                                      uint64_t{s.unitStart} + std::max<uint64_t>(unit, 1));
        }
        case Kind::Other:
            break;
    }
    return latest + 1;
}

uint64_t ContentSpan::End() const {
    uint64_t end = 0;
    for (const auto& [number, s] : m_streams) {
        if (s.seen) {
            end = std::max(end, StreamEnd(s));
        }
    }
    return end;
}

}  // namespace rm
