#include "engines/realmedia/rm_unit_tracker.h"

#include <algorithm>
#include <limits>

#include "engines/realmedia/rm_codec.h"
#include "engines/realmedia/rm_video_payload.h"

namespace rm {

namespace {
constexpr uint64_t kToTheEnd = std::numeric_limits<uint64_t>::max();
}

UnitTracker::UnitTracker(const RmHeader& header) {
    for (const MediaProperties& m : header.streams) {
        Stream s;
        AudioFormat audio;
        if (m.IsVideo()) {
            s.kind = Kind::Video;
        } else if (m.IsAudio() && ParseAudioFormat(m.typeData, audio) && PlaysInBlocks(audio)) {
            s.kind = Kind::Blocks;
            s.blockPackets = audio.subPacketHeight;
        }
        m_streams[m.stream] = s;
    }
}

void UnitTracker::Drop(uint16_t stream, uint64_t from, uint64_t to) {
    if (from >= to) {
        return;
    }
    // Ranges are kept in order and apart: a new one swallows those it reaches.
    std::vector<DropRange>& ranges = m_drops[stream];
    while (!ranges.empty() && ranges.back().from >= from) {
        to = std::max(to, ranges.back().to);
        ranges.pop_back();
    }
    if (!ranges.empty() && ranges.back().to >= from) {
        ranges.back().to = std::max(ranges.back().to, to);
        return;
    }
    ranges.push_back(DropRange{from, to});
}

bool UnitTracker::UnitStarts(uint16_t number, Stream& s, const Packet& p) {
    if (!s.awaitingKey) {
        return true;
    }
    if (!p.keyFrame) {
        return false;
    }
    Drop(number, s.awaitFrom, p.offset);
    s.awaitingKey = false;
    return true;
}

void UnitTracker::Follow(const Packet& p) {
    auto it = m_streams.find(p.stream);
    if (it == m_streams.end()) {
        return;
    }
    Stream& s = it->second;
    const uint64_t end = p.offset + p.length;
    if (s.kind == Kind::Video) {
        const size_t head = p.HeaderBytes();
        const uint8_t type = p.length > head ? p.bytes[head] >> 6 : kVideoWholeFrame;
        // A fragment's second byte numbers it within its frame, from 1; a last fragment that
        // is also the first holds a whole frame.
        const bool fragment = type == kVideoFragment || type == kVideoLastFragment;
        const bool first = !fragment || (p.length > head + 1 && (p.bytes[head + 1] & 0x7F) == 1);
        // A fragment's header gives its frame's size, then its offset and a picture number;
        // the frame is whole once its fragments hold that many bytes, or at its last fragment.
        uint32_t frameBytes = 0;
        uint32_t dataBytes = 0;
        if (fragment) {
            const uint8_t* payload = p.bytes + head;
            const size_t size = p.length - head;
            size_t at = 2;
            size_t width = 0;
            uint32_t offset = 0;
            if (ReadVideoNumber(payload, size, at, frameBytes, width) &&
                ReadVideoNumber(payload, size, at, offset, width) && at + 1 <= size) {
                dataBytes = static_cast<uint32_t>(size - (at + 1));
            }
        }
        if (fragment && !first) {
            if (s.open && p.timestamp == s.openTimestamp) {
                s.openBytes += dataBytes;
                s.open = type != kVideoLastFragment && s.openBytes < s.openFrameBytes;
                return;
            }
            if (s.open) {
                Drop(p.stream, s.openStart, p.offset);  // a frame that never finished
                s.open = false;
            }
            if (!s.awaitingKey) {
                Drop(p.stream, p.offset, end);  // a fragment of a frame whose start is not here
            }
            return;
        }
        if (s.open) {
            Drop(p.stream, s.openStart, p.offset);
            s.open = false;
        }
        if (!UnitStarts(p.stream, s, p)) {
            return;
        }
        if (type == kVideoFragment && dataBytes < frameBytes) {
            s.open = true;
            s.openStart = p.offset;
            s.openTimestamp = p.timestamp;
            s.openFrameBytes = frameBytes;
            s.openBytes = dataBytes;
        }
        return;
    }
    if (s.kind == Kind::Blocks) {
        if (p.keyFrame) {
            if (s.open) {
                Drop(p.stream, s.openStart, p.offset);  // a block cut short
            }
            s.open = false;
            if (!UnitStarts(p.stream, s, p)) {
                return;
            }
            s.open = true;
            s.openStart = p.offset;
            s.openCount = 0;
        } else if (!s.open) {
            if (!s.awaitingKey) {
                Drop(p.stream, p.offset, end);  // a packet of no block
            }
            return;
        }
        if (++s.openCount >= s.blockPackets) {
            s.open = false;
        }
    }
}

void UnitTracker::Damage(uint64_t at) {
    for (auto& [number, s] : m_streams) {
        if (s.kind == Kind::Plain) {
            continue;
        }
        if (!s.awaitingKey) {
            s.awaitingKey = true;
            s.awaitFrom = s.open ? s.openStart : at;
        }
        s.open = false;
    }
}

void UnitTracker::End() {
    for (auto& [number, s] : m_streams) {
        if (s.awaitingKey) {
            Drop(number, s.awaitFrom, kToTheEnd);
        } else if (s.open) {
            Drop(number, s.openStart, kToTheEnd);
        }
        s.open = false;
        s.awaitingKey = false;
    }
}

bool DropFilter::Keep(const Packet& p) {
    if (m_drops == nullptr) {
        return true;
    }
    auto it = m_drops->find(p.stream);
    if (it == m_drops->end()) {
        return true;
    }
    const std::vector<DropRange>& ranges = it->second;
    size_t& i = m_next[p.stream];
    while (i < ranges.size() && ranges[i].to <= p.offset) {
        ++i;
    }
    return i >= ranges.size() || p.offset < ranges[i].from;
}

}  // namespace rm
