#include "engines/conversion/mpeg_ps_audio_frames.h"

#include <algorithm>
#include <cstring>

#include "engines/conversion/mpeg_ps_facts.h"
#include "engines/conversion/mpeg_ps_units.h"

using namespace mpegps;

namespace {

constexpr int kMp2SamplesPerFrame = 1152;
constexpr int kMp1SamplesPerFrame = 384;
constexpr int kAc3SamplesPerFrame = 1536;
constexpr int kDtsSamplesPerBlock = 32;

// MPEG-1 audio: bit rates (kbit/s) by version 1 layer, and sample rates by version.
constexpr int kMpaBitRates[3][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}};
constexpr int kMpaLsfBitRates[2][16] = {
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}};
constexpr int kMpaRates[3] = {44100, 48000, 32000};
// AC-3: sample rates by fscod, bit rates by frmsizecod / 2, channels by acmod.
constexpr int kAc3Rates[3] = {48000, 44100, 32000};
constexpr int kAc3BitRates[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                  192, 224, 256, 320, 384, 448, 512, 576, 640};
constexpr int kAc3Channels[8] = {2, 1, 2, 3, 3, 4, 4, 5};
// DTS core: sample rates by SFREQ, channels by AMODE (0 where the code is not one).
constexpr int kDtsRates[16] = {0,     8000, 16000, 32000, 0,     0,     11025, 22050,
                               44100, 0,    0,     12000, 24000, 48000, 0,     0};
constexpr int kDtsChannels[16] = {1, 2, 2, 2, 2, 3, 3, 4, 4, 5, 6, 6, 6, 7, 8, 8};
constexpr uint8_t kDtsSync[4] = {0x7F, 0xFE, 0x80, 0x01};
// The three LPCM header bytes: quantization in bits 7-6 of the second (16, 20 or 24 bits),
// channels less one in its bits 2-0.
constexpr size_t kLpcmHeaderBytes = 3;

bool ReadMpegAudioHeader(const uint8_t* h, AudioFrameHeader* out) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) {
        return false;
    }
    int version = (h[1] >> 3) & 0x03;  // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    int layer = 4 - ((h[1] >> 1) & 0x03);
    int rateIndex = (h[2] >> 2) & 0x03;
    int bitIndex = h[2] >> 4;
    if (version == 1 || layer == 4 || rateIndex == 3 || bitIndex == 0 || bitIndex == 15) {
        return false;
    }
    bool lsf = version != 3;
    int kbps =
        lsf ? kMpaLsfBitRates[layer == 1 ? 0 : 1][bitIndex] : kMpaBitRates[layer - 1][bitIndex];
    int rate = kMpaRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    int padding = (h[2] >> 1) & 1;
    out->codec = layer == 1 ? "mp1" : layer == 2 ? "mp2" : "mp3";
    out->sampleRate = rate;
    out->channels = (h[3] >> 6) == 3 ? 1 : 2;
    out->bitRate = 1000LL * kbps;
    out->samplesPerFrame = layer == 1            ? kMp1SamplesPerFrame
                           : (layer == 3 && lsf) ? kMp2SamplesPerFrame / 2
                                                 : kMp2SamplesPerFrame;
    if (layer == 1) {
        out->frameBytes = (uint64_t{12000} * kbps / rate + padding) * 4;
    } else {
        const uint64_t factor = (layer == 3 && lsf) ? 72000 : 144000;
        out->frameBytes = factor * kbps / rate + padding;
    }
    return true;
}

bool ReadAc3Header(const uint8_t* h, AudioFrameHeader* out) {
    int fscod = h[4] >> 6;
    int code = h[4] & 0x3F;
    if (h[0] != 0x0B || h[1] != 0x77 || fscod == 3 || code / 2 >= 19) {
        return false;
    }
    const int kbps = kAc3BitRates[code / 2];
    out->codec = "ac3";
    out->sampleRate = kAc3Rates[fscod];
    out->channels = kAc3Channels[h[6] >> 5];
    out->bitRate = 1000LL * kbps;
    out->samplesPerFrame = kAc3SamplesPerFrame;
    if (fscod == 0) {
        out->frameBytes = static_cast<uint64_t>(kbps) * 4;
    } else if (fscod == 2) {
        out->frameBytes = static_cast<uint64_t>(kbps) * 6;
    } else {
        // 44.1 kHz: 1536 samples of 16-bit words at the bit rate, odd codes one word more.
        constexpr uint64_t kRateTimesWordBits = uint64_t{44100} * 16;
        out->frameBytes =
            2 * (static_cast<uint64_t>(kbps) * 1536000 / kRateTimesWordBits + (code & 1));
    }
    return true;
}

bool ReadDtsHeader(const uint8_t* h, AudioFrameHeader* out) {
    if (std::memcmp(h, kDtsSync, sizeof kDtsSync) != 0) {
        return false;
    }
    const int blocks = ((h[4] & 0x01) << 6 | h[5] >> 2) + 1;
    const uint32_t size = ((h[5] & 0x03) << 12 | h[6] << 4 | h[7] >> 4) + 1;
    const int mode = (h[7] & 0x0F) << 2 | h[8] >> 6;
    const int rate = kDtsRates[(h[8] >> 2) & 0x0F];
    if (rate == 0 || size < 96) {
        return false;
    }
    out->codec = "dts";
    out->sampleRate = rate;
    out->channels = mode < 16 ? kDtsChannels[mode] : 0;
    out->bitRate = 0;
    out->samplesPerFrame = blocks * kDtsSamplesPerBlock;
    out->frameBytes = size;
    return true;
}

}  // namespace

AudioFraming FramingOfStream(uint16_t key) {
    const uint8_t id = key >> 8;
    const uint8_t sub = key & 0xFF;
    if (id >= kFirstAudioStream && id <= kLastAudioStream) {
        return AudioFraming::kMpeg;
    }
    if (id != kPrivateStream1) {
        return AudioFraming::kNone;
    }
    if (sub >= kFirstAc3 && sub <= kLastAc3) {
        return AudioFraming::kAc3;
    }
    if (sub >= kFirstDts && sub <= kLastDts) {
        return AudioFraming::kDts;
    }
    if (sub >= kFirstLpcm && sub <= kLastLpcm) {
        return AudioFraming::kLpcm;
    }
    return AudioFraming::kNone;
}

size_t AudioDataOffset(AudioFraming framing) {
    switch (framing) {
        case AudioFraming::kAc3:
        case AudioFraming::kDts:
            return kAc3HeaderBytes;
        case AudioFraming::kLpcm:
            return kAc3HeaderBytes + kLpcmHeaderBytes;
        case AudioFraming::kMpeg:
        case AudioFraming::kNone:
            break;
    }
    return 0;
}

size_t AudioHeaderBytes(AudioFraming framing) {
    switch (framing) {
        case AudioFraming::kMpeg:
            return 4;
        case AudioFraming::kAc3:
            return 7;
        case AudioFraming::kDts:
            return 9;
        case AudioFraming::kLpcm:
        case AudioFraming::kNone:
            break;
    }
    return 0;
}

bool ReadAudioFrameHeader(AudioFraming framing, const uint8_t* h, size_t size,
                          AudioFrameHeader* header) {
    if (AudioHeaderBytes(framing) == 0 || size < AudioHeaderBytes(framing)) {
        return false;
    }
    switch (framing) {
        case AudioFraming::kMpeg:
            return ReadMpegAudioHeader(h, header);
        case AudioFraming::kAc3:
            return ReadAc3Header(h, header);
        case AudioFraming::kDts:
            return ReadDtsHeader(h, header);
        case AudioFraming::kLpcm:
        case AudioFraming::kNone:
            break;
    }
    return false;
}

uint32_t LpcmGroupBytes(const uint8_t* lpcmHeader) {
    const int quantization = lpcmHeader[1] >> 6;
    const uint32_t channels = (lpcmHeader[1] & 0x07) + 1u;
    switch (quantization) {
        case 0:
            return channels * 2;  // 16 bits, one sample deep
        case 1:
            return channels * 5;  // 20 bits, two samples deep
        case 2:
            return channels * 6;  // 24 bits, two samples deep
        default:
            return 0;
    }
}

void AudioFrameWalker::Feed(uint64_t pesAt, uint64_t packAt, const uint8_t* data, size_t size,
                            int64_t pts) {
    m_packets.push_back({pesAt, packAt, m_esBytes, size, pts});
    if (m_packets.size() > kKeptRecords) {
        m_packets.erase(m_packets.begin(), m_packets.begin() + kKeptRecords / 2);
    }
    if (AudioHeaderBytes(m_framing) > 0) {
        FindFrames(data, size, m_esBytes);
    }
    m_esBytes += size;
}

void AudioFrameWalker::FindFrames(const uint8_t* data, size_t size, uint64_t base) {
    const size_t need = AudioHeaderBytes(m_framing);
    const uint8_t sync = m_framing == AudioFraming::kMpeg  ? 0xFF
                         : m_framing == AudioFraming::kAc3 ? 0x0B
                                                           : kDtsSync[0];
    size_t at = 0;
    while (true) {
        if (m_searching) {
            if (at >= size) {
                break;
            }
            const void* hit = std::memchr(data + at, sync, size - at);
            if (hit == nullptr) {
                break;
            }
            at = static_cast<size_t>(static_cast<const uint8_t*>(hit) - data);
            m_headerAt = base + at;
            m_headerHave = 0;
            m_searching = false;
        } else if (m_headerHave == 0) {
            if (m_headerAt >= base + size) {
                break;  // the next frame starts in a later packet
            }
            at = static_cast<size_t>(m_headerAt - base);
        }
        size_t take = std::min(need - m_headerHave, size - at);
        std::memcpy(m_header + m_headerHave, data + at, take);
        m_headerHave += take;
        at += take;
        if (m_headerHave < need) {
            break;  // the header goes on in the next packet
        }
        AudioFrameHeader header;
        m_headerHave = 0;
        if (!ReadAudioFrameHeader(m_framing, m_header, need, &header)) {
            // No frame here after all: look again from the byte after the sync byte.
            m_searching = true;
            at = m_headerAt + 1 >= base ? static_cast<size_t>(m_headerAt + 1 - base) : 0;
            continue;
        }
        if (m_sampleRate == 0) {
            m_samplesPerFrame = header.samplesPerFrame;
            m_sampleRate = header.sampleRate;
        }
        m_lastFrameStart = m_headerAt;
        m_frameStarts.push_back(m_headerAt);
        m_headerAt += header.frameBytes;
        m_frameEnds.push_back(m_headerAt);
        if (m_frameEnds.size() > kKeptRecords) {
            m_frameEnds.erase(m_frameEnds.begin(), m_frameEnds.begin() + kKeptRecords / 2);
            m_frameStarts.erase(m_frameStarts.begin(), m_frameStarts.begin() + kKeptRecords / 2);
        }
    }
}

bool AudioFrameWalker::CutAt(uint64_t whole, PsAudioCut* cut) const {
    for (const Packet& p : m_packets) {
        if (p.esStart < whole && whole <= p.esStart + p.bytes) {
            cut->pesAt = p.at;
            cut->packAt = p.packAt;
            cut->keepBytes = static_cast<size_t>(whole - p.esStart);
            return true;
        }
        if (p.esStart >= whole) {
            cut->pesAt = p.at;
            cut->packAt = p.packAt;
            cut->keepBytes = 0;
            return true;
        }
    }
    return false;
}

bool AudioFrameWalker::CutBefore(uint64_t cutAt, PsAudioCut* cut) const {
    uint64_t kept = 0;
    for (const Packet& p : m_packets) {
        if (p.at < cutAt) {
            kept = p.esStart + p.bytes;
        }
    }
    uint64_t whole = 0;
    if (m_framing == AudioFraming::kLpcm && m_groupBytes > 0) {
        whole = kept - kept % m_groupBytes;
    }
    for (uint64_t end : m_frameEnds) {
        if (end <= kept) {
            whole = std::max(whole, end);
        }
    }
    return CutAt(whole, cut);
}

bool AudioFrameWalker::TrailingPart(PsAudioCut* cut) const {
    uint64_t whole = m_esBytes;
    if (m_framing == AudioFraming::kLpcm) {
        whole = m_groupBytes > 0 ? m_esBytes - m_esBytes % m_groupBytes : m_esBytes;
    } else if (!m_frameEnds.empty() && m_frameEnds.back() > m_esBytes) {
        whole = m_lastFrameStart;  // the last frame announced runs past the data
    } else if (!m_searching && m_headerHave > 0 && !m_frameEnds.empty() &&
               m_headerAt == m_frameEnds.back()) {
        whole = m_headerAt;  // the data ends inside the next frame's header
    }
    return whole < m_esBytes && CutAt(whole, cut);
}

template <typename F>
void AudioFrameWalker::ForEachTimedFrame(F frame) const {
    if (m_sampleRate <= 0 || m_samplesPerFrame <= 0) {
        return;
    }
    // A packet's time is that of the first frame whose header begins in it; the frames after
    // follow on, each as long as the first.
    size_t packet = 0;
    int64_t anchorTime = -1;
    size_t anchorFrame = 0;
    for (size_t i = 0; i < m_frameStarts.size(); ++i) {
        const uint64_t start = m_frameStarts[i];
        for (; packet < m_packets.size() && m_packets[packet].esStart <= start; ++packet) {
            const Packet& p = m_packets[packet];
            if (p.pts >= 0 && start < p.esStart + p.bytes) {
                anchorTime = p.pts;
                anchorFrame = i;
            }
        }
        if (anchorTime < 0 || m_frameEnds[i] > m_esBytes) {
            continue;
        }
        const int64_t samples = static_cast<int64_t>(i + 1 - anchorFrame) * m_samplesPerFrame;
        frame(ShiftTime(anchorTime, samples * mpegps::kClockHz / m_sampleRate), m_frameEnds[i]);
    }
}

bool AudioFrameWalker::WholeEnd(int64_t* time) const {
    bool found = false;
    ForEachTimedFrame([&](int64_t endTime, uint64_t) {
        *time = endTime;
        found = true;
    });
    return found;
}

std::vector<PsTimedAudioCut> AudioFrameWalker::TimedCuts(int64_t from, int64_t to) const {
    std::vector<PsTimedAudioCut> cuts;
    ForEachTimedFrame([&](int64_t endTime, uint64_t end) {
        PsTimedAudioCut timed;
        timed.end = endTime;
        if (TimeDifference(from, timed.end) >= 0 && TimeDifference(timed.end, to) >= 0 &&
            CutAt(end, &timed.cut)) {
            cuts.push_back(timed);
        }
    });
    return cuts;
}
