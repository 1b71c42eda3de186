#include "engines/conversion/mpeg_ps_audio_edges.h"

#include <cstring>
#include <vector>

#include "engines/conversion/mpeg_ps_facts.h"

using namespace mpegps;

namespace {

// Where the audio data of the packet begins (after the private stream's own header).
size_t AudioDataAt(const uint8_t* data, const PsUnit& unit) {
    return unit.payloadOffset + AudioDataOffset(FramingOfStream(AudioKeyOf(data, unit)));
}

// Leaves out bytes [from, from + count) of the packet, its pack keeping its size: a padding
// packet in front, or stuffing in the packet's header. The bytes of that padding packet, or -1
// when neither fits.
int64_t DropRange(uint8_t* data, const PsUnit& unit, size_t from, size_t count) {
    std::vector<uint8_t> out;
    out.reserve(unit.size);
    if (count >= kPesHeaderBytes) {
        out.resize(count);
        PutPadding(out.data(), count);
        out.insert(out.end(), data, data + from);
        const size_t length = unit.size - count - kPesHeaderBytes;
        out[count + kPesLengthOffset] = static_cast<uint8_t>(length >> 8);
        out[count + kPesLengthOffset + 1] = static_cast<uint8_t>(length);
    } else if (unit.mpeg2) {
        if (data[kMpeg2PesHeaderLengthOffset] + count > 0xFF) {
            return -1;
        }
        out.insert(out.end(), data, data + unit.payloadOffset);
        out[kMpeg2PesHeaderLengthOffset] =
            static_cast<uint8_t>(out[kMpeg2PesHeaderLengthOffset] + count);
        out.resize(out.size() + count, kMpeg1Stuffing);
        out.insert(out.end(), data + unit.payloadOffset, data + from);
    } else {
        size_t stuffing = 0;
        while (kPesHeaderBytes + stuffing < unit.payloadOffset &&
               data[kPesHeaderBytes + stuffing] == kMpeg1Stuffing) {
            ++stuffing;
        }
        if (stuffing + count > kMpeg1MaxStuffing) {
            return -1;
        }
        out.insert(out.end(), data, data + kPesHeaderBytes);
        out.resize(out.size() + count, kMpeg1Stuffing);
        out.insert(out.end(), data + kPesHeaderBytes, data + from);
    }
    out.insert(out.end(), data + from + count, data + unit.size);
    std::memcpy(data, out.data(), unit.size);
    return count >= kPesHeaderBytes ? static_cast<int64_t>(count) : 0;
}

// The edited packet after DropRange.
bool Edited(uint8_t* data, const PsUnit& unit, int64_t padding, EditedAudio* edited) {
    if (padding < 0) {
        return false;
    }
    edited->paddingBytes = static_cast<size_t>(padding);
    edited->unit = ReadPsUnit(ByteReader(data + padding, unit.size - edited->paddingBytes));
    return edited->unit.kind == PsUnitKind::kPes;
}

}  // namespace

void PutPadding(uint8_t* at, size_t bytes) {
    const size_t length = bytes - kPesHeaderBytes;
    const uint8_t head[] = {
        0, 0, 1, kPaddingStream, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    std::memcpy(at, head, sizeof head);
    std::memset(at + kPesHeaderBytes, kMpeg1Stuffing, length);
}

uint16_t AudioKeyOf(const uint8_t* data, const PsUnit& unit) {
    const bool sub = unit.code == kPrivateStream1 && unit.payloadOffset < unit.size;
    return static_cast<uint16_t>(unit.code << 8 | (sub ? data[unit.payloadOffset] : 0));
}

int64_t LeadingPartialFrame(const uint8_t* data, const PsUnit& unit) {
    const uint8_t* payload = data + unit.payloadOffset;
    const size_t size = unit.size - unit.payloadOffset;
    const AudioFraming framing = FramingOfStream(AudioKeyOf(data, unit));
    if (framing == AudioFraming::kAc3 || framing == AudioFraming::kDts) {
        if (size < kAc3HeaderBytes) {
            return -1;
        }
        int pointer = (payload[kFirstAccessUnitOffset] << 8) | payload[kFirstAccessUnitOffset + 1];
        return pointer == 0 ? -1 : pointer - 1;
    }
    if (framing != AudioFraming::kMpeg) {
        return -1;  // LPCM samples stand alone
    }
    for (size_t i = 0; i < size; ++i) {
        AudioFrameHeader header;
        if (ReadAudioFrameHeader(framing, payload + i, size - i, &header)) {
            return static_cast<int64_t>(i);
        }
    }
    return -1;
}

bool DropLeadingAudio(uint8_t* data, const PsUnit& unit, size_t count, EditedAudio* edited) {
    const size_t from = AudioDataAt(data, unit);
    if (count == 0 || from + count > unit.size) {
        return false;
    }
    const bool privateHeader = from > unit.payloadOffset;
    if (!Edited(data, unit, DropRange(data, unit, from, count), edited)) {
        return false;
    }
    if (privateHeader) {
        // The first access unit now follows the private header at once.
        uint8_t* header = data + edited->paddingBytes + edited->unit.payloadOffset;
        header[kFirstAccessUnitOffset] = 0;
        header[kFirstAccessUnitOffset + 1] = 1;
    }
    return true;
}

bool KeepLeadingAudio(uint8_t* data, const PsUnit& unit, size_t keep, EditedAudio* edited) {
    const size_t from = AudioDataAt(data, unit);
    if (from > unit.size) {
        return false;
    }
    if (keep == 0) {
        PutPadding(data, unit.size);
        edited->paddingBytes = unit.size;
        edited->unit = PsUnit{};
        return true;
    }
    if (from + keep >= unit.size) {
        edited->paddingBytes = 0;
        edited->unit = unit;
        return true;  // nothing after the bytes kept
    }
    const AudioFraming framing = FramingOfStream(AudioKeyOf(data, unit));
    const bool privateHeader = from > unit.payloadOffset;
    if (!Edited(data, unit, DropRange(data, unit, from + keep, unit.size - from - keep), edited)) {
        return false;
    }
    if (privateHeader) {
        // The frame left out began in this packet: one frame fewer starts here, and none at
        // all when the first announced was that one.
        uint8_t* header = data + edited->paddingBytes + edited->unit.payloadOffset;
        const size_t pointer =
            (header[kFirstAccessUnitOffset] << 8) | header[kFirstAccessUnitOffset + 1];
        const size_t firstAt = pointer == 0 ? 0 : pointer - 1;
        const size_t privateBytes = from - unit.payloadOffset - kAc3HeaderBytes;
        if (pointer == 0 || firstAt >= privateBytes + keep) {
            header[kFrameCountOffset] = 0;
            header[kFirstAccessUnitOffset] = 0;
            header[kFirstAccessUnitOffset + 1] = 0;
        } else if (framing != AudioFraming::kLpcm && header[kFrameCountOffset] > 0) {
            --header[kFrameCountOffset];  // (LPCM's part is of a sample group, not a frame)
        }
    }
    return true;
}
