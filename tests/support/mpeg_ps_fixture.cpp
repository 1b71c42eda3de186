#include "tests/support/mpeg_ps_fixture.h"

#include <algorithm>

namespace kjtest {

namespace {

struct AudioPes {
    size_t at;         // the packet
    size_t dataAt;     // its audio data (after a private stream's own header)
    size_t end;        // the end of the packet
    uint64_t esStart;  // the stream's bytes before it
};

constexpr uint8_t kPack = 0xBA;
constexpr uint8_t kEnd = 0xB9;
constexpr uint8_t kPrivate1 = 0xBD;
constexpr uint8_t kPadding = 0xBE;

// The packets of the audio stream `id`, walking packs and PES packets (MPEG-2 layouts; an MPEG-1
// stream's PES header is walked past its stuffing and times).
std::vector<AudioPes> AudioPackets(const std::vector<uint8_t>& b, PsAudioId id, bool* lpcm) {
    std::vector<AudioPes> found;
    uint64_t es = 0;
    size_t i = 0;
    while (i + 6 <= b.size()) {
        if (b[i] != 0 || b[i + 1] != 0 || b[i + 2] != 1) {
            ++i;
            continue;
        }
        const uint8_t code = b[i + 3];
        if (code == kPack) {
            const bool mpeg2 = (b[i + 4] & 0xC0) == 0x40;
            i += mpeg2 ? 14 + (b[i + 13] & 7) : 12;
            continue;
        }
        if (code == kEnd) {
            i += 4;
            continue;
        }
        const size_t end = i + 6 + ((b[i + 4] << 8) | b[i + 5]);
        if (end > b.size()) {
            break;
        }
        if (code == id.streamId && code != kPadding) {
            size_t data = i + 6;
            if ((b[data] & 0xC0) == 0x80) {
                data += 3 + b[i + 8];  // MPEG-2
            } else {
                while (data < end && b[data] == 0xFF) {
                    ++data;
                }
                data += (b[data] & 0xC0) == 0x40 ? 2 : 0;
                data += (b[data] & 0xF0) == 0x30 ? 10 : (b[data] & 0xF0) == 0x20 ? 5 : 1;
            }
            const bool sub = code == kPrivate1;
            if (!sub || (data < end && b[data] == id.subId)) {
                *lpcm = sub && id.subId >= 0xA0;
                data += sub ? (*lpcm ? 7 : 4) : 0;
                if (data <= end) {
                    found.push_back({i, data, end, es});
                    es += end - data;
                }
            }
        }
        i = end;
    }
    return found;
}

// The length of the frame whose header is at `h`; 0 when none.
size_t FrameBytes(const uint8_t* h, bool ac3) {
    if (ac3) {
        static const int kKbps[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                      192, 224, 256, 320, 384, 448, 512, 576, 640};
        const int code = h[4] & 0x3F;
        return h[0] == 0x0B && h[1] == 0x77 && (h[4] >> 6) == 0 && code / 2 < 19
                   ? static_cast<size_t>(kKbps[code / 2]) * 4
                   : 0;
    }
    static const int kLayer2Kbps[16] = {0,   32,  48,  56,  64,  80,  96,  112,
                                        128, 160, 192, 224, 256, 320, 384, 0};
    static const int kRates[4] = {44100, 48000, 32000, 0};
    if (h[0] != 0xFF || (h[1] & 0xFE) != 0xFC) {
        return 0;  // MPEG-1 layer II only
    }
    const int kbps = kLayer2Kbps[h[2] >> 4];
    const int rate = kRates[(h[2] >> 2) & 3];
    return kbps == 0 || rate == 0 ? 0
                                  : static_cast<size_t>(144000 * kbps / rate + ((h[2] >> 1) & 1));
}

void MakePadding(std::vector<uint8_t>& b, size_t from, size_t to) {
    const size_t length = to - from - 6;
    b[from] = 0;
    b[from + 1] = 0;
    b[from + 2] = 1;
    b[from + 3] = kPadding;
    b[from + 4] = static_cast<uint8_t>(length >> 8);
    b[from + 5] = static_cast<uint8_t>(length);
    std::fill(b.begin() + static_cast<std::ptrdiff_t>(from + 6),
              b.begin() + static_cast<std::ptrdiff_t>(to), 0xFF);
}

}  // namespace

std::vector<uint8_t> EndAudioInsideItsLastFrame(const std::vector<uint8_t>& ps, PsAudioId id,
                                                size_t keep) {
    bool lpcm = false;
    const std::vector<AudioPes> packets = AudioPackets(ps, id, &lpcm);
    if (packets.empty()) {
        return {};
    }
    std::vector<uint8_t> es;
    for (const AudioPes& p : packets) {
        es.insert(es.end(), ps.begin() + static_cast<std::ptrdiff_t>(p.dataAt),
                  ps.begin() + static_cast<std::ptrdiff_t>(p.end));
    }
    size_t lastStart = 0;
    if (lpcm) {
        // Samples stand alone: the stream ends inside a sample group half-way through its
        // last packet (16-bit stereo groups of 4 bytes, as ffmpeg writes them).
        const size_t group = 4;
        const AudioPes& last = packets.back();
        lastStart =
            static_cast<size_t>(last.esStart) + (last.end - last.dataAt) / 2 / group * group;
    } else {
        const bool ac3 = id.streamId == kPrivate1;
        size_t at = 0;
        while (at + 5 <= es.size()) {
            const size_t bytes = FrameBytes(es.data() + at, ac3);
            if (bytes == 0) {
                return {};
            }
            lastStart = at;
            at += bytes;
        }
    }
    const uint64_t end = lastStart + keep;
    std::vector<uint8_t> b = ps;
    for (const AudioPes& p : packets) {
        const uint64_t bytes = p.end - p.dataAt;
        if (p.esStart + bytes <= end) {
            continue;
        }
        if (p.esStart >= end) {
            MakePadding(b, p.at, p.end);
            continue;
        }
        const size_t cut = p.dataAt + static_cast<size_t>(end - p.esStart);
        if (p.end - cut < 6) {
            return {};  // too little to pad: another `keep` is needed
        }
        const size_t length = cut - p.at - 6;
        b[p.at + 4] = static_cast<uint8_t>(length >> 8);
        b[p.at + 5] = static_cast<uint8_t>(length);
        MakePadding(b, cut, p.end);
    }
    return b;
}

}  // namespace kjtest
