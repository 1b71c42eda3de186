// Where one input's content lies on its own clock: the time its streams start together (a lead
// that every stream shares, which a join does not repeat at a seam) and the time its last stream
// ends (its last video frame shown for one frame, its last audio unit played out), which is
// where the next input belongs.
#pragma once

#include <cstdint>
#include <map>

#include "engines/realmedia/rm_reader.h"

namespace rm {

class ContentSpan {
public:
    explicit ContentSpan(const RmHeader& header);

    // A packet the join copies, in file order.
    void Add(const Packet& packet);

    bool Empty() const { return !m_any; }
    // The earliest timestamp of any packet copied: the lead every stream shares.
    uint32_t Start() const { return m_any ? m_start : 0; }
    // The latest end of a stream: audio and video last as long as their last unit, other
    // streams are points in time.
    uint64_t End() const;

private:
    enum class Kind { Video, Audio, Other };
    struct Stream {
        Kind kind = Kind::Other;
        uint32_t frameMs = 0;     // video: one frame, from the frame rate
        uint32_t avgBitRate = 0;  // audio: for a stream of one unit
        bool seen = false;
        uint32_t latest = 0;     // the highest timestamp
        uint32_t unitStart = 0;  // audio: the timestamp of the unit in file order, the one
        uint32_t unitStep = 0;   // before it, and the bytes of the last unit
        uint64_t unitBytes = 0;
    };
    static uint64_t StreamEnd(const Stream& s);

    std::map<uint16_t, Stream> m_streams;
    bool m_any = false;
    uint32_t m_start = 0;
};

}  // namespace rm
