// Sound at the seams. Each sound stream's latest object is kept until the next one comes, so
// that the input's last one can end where the input's own duration says its sound ends.
// Codec by codec: an MPEG audio stream whose objects may end inside a frame
// ends each input with its last whole frame, and the next input begins with its first whole
// frame: a part-frame is never glued to its neighbour. WMA Pro and WMA Lossless packets carry
// a 4-bit sequence number that restarts with every file; a later input's numbers are moved to
// follow the ones before, so that its decoder does not take the seam for a lost packet.
#include <algorithm>
#include <cstring>

#include "wmjoin/wm_joiner.h"

namespace {

// The longest frame of the codecs ASF carries (WMA 1 and 2: 2048 samples; MP3: 1152).
constexpr QWORD kLongestFrameSamples = 2048;

}  // namespace

void CWMJoiner::FindAudioSeams() {
    m_audioSeams.clear();
    for (uint32_t i = 0; m_pFirstTable != nullptr && i < m_pFirstTable->Count(); ++i) {
        const WM_MEDIA_TYPE* type = m_pFirstTable->MediaType(i);
        if (type == nullptr || !(type->formattype == WMFORMAT_WaveFormatEx) ||
            type->cbFormat < sizeof(WAVEFORMATEX)) {
            continue;
        }
        WAVEFORMATEX format;
        std::memcpy(&format, type + 1, sizeof format);
        AudioSeam seam;
        seam.stream = m_pFirstTable->StreamNumber(i);
        seam.kind = SeamAudioKindOf(format.wFormatTag);
        seam.blockAlign = format.nBlockAlign;
        seam.sampleRate = format.nSamplesPerSec;
        m_audioSeams.push_back(seam);
    }
}

void CWMJoiner::StartAudioSeams() {
    for (AudioSeam& seam : m_audioSeams) {
        seam.inputStarted = false;
        seam.carry = 0;
        seam.lastStep = 0;
        SafeRelease(seam.pending.buffer);
    }
}

HRESULT CWMJoiner::WriteAudioSeamSample(AudioSeam& seam, WORD outputStream, QWORD outputTime,
                                        QWORD duration, DWORD flags, INSSBuffer* sample) {
    BYTE* data = nullptr;
    DWORD size = 0;
    HRESULT hr = sample->GetBufferAndLength(&data, &size);
    if (FAILED(hr) || size == 0 || data == nullptr) {
        return FAILED(hr) ? hr : WriteToOutput(outputStream, outputTime, duration, flags, sample);
    }
    const bool first = !seam.inputStarted;
    seam.inputStarted = true;
    if (seam.kind == SeamAudioKind::kSequenced) {
        if (first) {
            unsigned own = SequenceNumberAt(data, 0);
            seam.sequenceDelta = seam.anyPacket ? (seam.lastSequence + 1 - own) & 0xF : 0;
        }
        // The bytes handed out are the buffer's own copy: they can be renumbered in place.
        seam.lastSequence = seam.sequenceDelta == 0
                                ? LastSequenceNumber(data, size, seam.blockAlign)
                                : RenumberPackets(data, size, seam.blockAlign, seam.sequenceDelta);
        seam.anyPacket = true;
    } else if (seam.kind == SeamAudioKind::kMpegAudio && first) {
        size_t skip = FirstWholeMpegFrame(data, size);
        if (skip > 0 && skip < size) {
            // Bytes that end a frame begun before this file: not a frame of their own.
            std::memmove(data, data + skip, size - skip);
            duration = duration * (size - skip) / size;
            size -= static_cast<DWORD>(skip);
            sample->SetLength(size);
        }
        seam.carry = 0;
    }
    if (seam.pending.buffer != nullptr) {
        HeldSample pending = seam.pending;
        seam.lastStep = outputTime > pending.time ? outputTime - pending.time : seam.lastStep;
        seam.pending = HeldSample{};
        hr = WriteToOutput(outputStream, pending.time, pending.duration, pending.flags,
                           pending.buffer);
        SafeRelease(pending.buffer);
        if (FAILED(hr)) {
            return hr;
        }
    }
    seam.pendingWholeEnd = size;
    if (seam.kind == SeamAudioKind::kMpegAudio) {
        MpegFrameWalk walk = WalkMpegFrames(data, size, seam.carry);
        seam.carry = walk.carry;
        seam.pendingWholeEnd = walk.wholeEnd;
    }
    sample->AddRef();
    seam.pending = {outputStream, outputTime, duration, flags, sample};
    return S_OK;
}

HRESULT CWMJoiner::FinishAudioSeams(bool ended) {
    HRESULT hr = S_OK;
    const int input = CurrentInput();
    QWORD soundEnd = 0;
    if (ended && input >= 1 && input <= m_nFiles && !InputCutShort(input)) {
        QWORD own = m_fileDurations[static_cast<size_t>(input - 1)];
        soundEnd = own == 0 ? 0 : PlaceTime(input, own);
    }
    for (AudioSeam& seam : m_audioSeams) {
        HeldSample pending = seam.pending;
        seam.pending = HeldSample{};
        if (pending.buffer == nullptr) {
            continue;
        }
        DWORD size = 0;
        if (ended && SUCCEEDED(hr) && SUCCEEDED(hr = pending.buffer->GetLength(&size)) &&
            seam.pendingWholeEnd > 0) {
            if (seam.pendingWholeEnd < size) {
                // A part-frame at the end: the frame it begins is not in this input.
                pending.duration = pending.duration * seam.pendingWholeEnd / size;
                pending.buffer->SetLength(static_cast<DWORD>(seam.pendingWholeEnd));
            }
            // Only ever shortened: a duration that runs past the last sample says nothing of
            // where its sound ends. A packet of several frames lasts at least as long as the
            // step to it from the one before. Less than a frame past the duration is a muxer's
            // rounding of its times, not padding: the frame's sound is there.
            QWORD nominal = std::max(pending.duration, seam.lastStep);
            QWORD frame =
                seam.sampleRate == 0 ? 0 : kLongestFrameSamples * kWmOneSecond / seam.sampleRate;
            if (soundEnd > pending.time && pending.time + nominal > soundEnd + frame) {
                pending.duration = soundEnd - pending.time;
            }
            hr = WriteToOutput(pending.stream, pending.time, pending.duration, pending.flags,
                               pending.buffer);
        }
        SafeRelease(pending.buffer);
    }
    return hr;
}
