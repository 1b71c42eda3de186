// Where each input goes. An input starts where the samples of the inputs before it end; its
// streams keep their offsets to each other, and a lead that all of them share before their
// first sample (a file whose first packet is not at 0) is taken off rather than repeated at
// every seam. A later input's first samples are therefore held until every stream of it has
// shown one (or its samples span more than any interleaving would), and then written.
// Sound ends where the input's own duration says (wm_audio_seam_write.cpp).
#include <algorithm>

#include "wmjoin/wm_joiner.h"

namespace {

// Streams of one file are interleaved well within this: past it, a stream that has not shown
// a sample is taken to have none near the start.
constexpr QWORD kLeadWindow = 5 * kWmOneSecond;
// Samples held at most while the lead is not known.
constexpr size_t kMaxHeldSamples = 4096;

}  // namespace

QWORD CWMJoiner::PlaceTime(int input, QWORD inputTime) const {
    return ShiftedTime(inputTime, Offset(input));
}

const CWMJoiner::AudioStream* CWMJoiner::FindAudioStream(WORD outputStream) const {
    for (const AudioStream& audio : m_audioStreams) {
        if (audio.stream == outputStream) {
            return &audio;
        }
    }
    return nullptr;
}

HRESULT CWMJoiner::TakeSample(int input, WORD outputStream, QWORD sampleTime, QWORD duration,
                              DWORD flags, INSSBuffer* sample) {
    if (m_placed) {
        return WriteOutputSample(input, outputStream, sampleTime, duration, flags, sample);
    }
    sample->AddRef();
    m_held.push_back({outputStream, sampleTime, duration, flags, sample});
    return LeadKnown() ? PlaceHeldSamples(input) : S_OK;
}

bool CWMJoiner::LeadKnown() const {
    if (m_held.size() >= kMaxHeldSamples) {
        return true;
    }
    auto [earliest, latest] = std::minmax_element(
        m_held.begin(), m_held.end(),
        [](const HeldSample& a, const HeldSample& b) { return a.time < b.time; });
    if (latest->time - earliest->time >= kLeadWindow) {
        return true;
    }
    for (uint32_t i = 0; i < m_nStreams; ++i) {
        WORD stream = m_pFirstTable->StreamNumber(i);
        if (std::none_of(m_held.begin(), m_held.end(),
                         [&](const HeldSample& h) { return h.stream == stream; })) {
            return false;
        }
    }
    return true;
}

HRESULT CWMJoiner::PlaceHeldSamples(int input) {
    m_placed = true;
    if (m_held.empty()) {
        return S_OK;
    }
    QWORD lead =
        std::min_element(m_held.begin(), m_held.end(),
                         [](const HeldSample& a, const HeldSample& b) { return a.time < b.time; })
            ->time;
    size_t index = static_cast<size_t>(input - 1);
    m_offsets[index] = static_cast<int64_t>(m_shifts[index]) - static_cast<int64_t>(lead);
    std::vector<HeldSample> held = std::move(m_held);
    m_held.clear();
    HRESULT hr = S_OK;
    for (HeldSample& h : held) {
        if (SUCCEEDED(hr)) {
            hr = WriteOutputSample(input, h.stream, h.time, h.duration, h.flags, h.buffer);
        }
        SafeRelease(h.buffer);
    }
    return hr;
}

void CWMJoiner::DropHeldSamples() {
    for (HeldSample& h : m_held) {
        SafeRelease(h.buffer);
    }
    m_held.clear();
    for (AudioSeam& seam : m_audioSeams) {
        SafeRelease(seam.pending.buffer);
    }
}

HRESULT CWMJoiner::FinishInputPlacing(HRESULT status) {
    int n = CurrentInput();
    if (FAILED(status) || n < 1 || n > m_nFiles) {
        DropHeldSamples();
        FinishAudioSeams(false);
        return status;
    }
    HRESULT hr = m_placed ? S_OK : PlaceHeldSamples(n);
    HRESULT sealed = FinishAudioSeams(SUCCEEDED(hr));
    return FAILED(hr) ? hr : sealed;
}

HRESULT CWMJoiner::WriteOutputSample(int input, WORD outputStream, QWORD sampleTime, QWORD duration,
                                     DWORD flags, INSSBuffer* sample) {
    QWORD outputTime = PlaceTime(input, sampleTime);
    for (AudioSeam& seam : m_audioSeams) {
        if (seam.stream == outputStream) {
            return WriteAudioSeamSample(seam, outputStream, outputTime, duration, flags, sample);
        }
    }
    return WriteToOutput(outputStream, outputTime, duration, flags, sample);
}

HRESULT CWMJoiner::WriteToOutput(WORD outputStream, QWORD outputTime, QWORD duration, DWORD flags,
                                 INSSBuffer* sample) {
    HRESULT hr =
        m_pWriterAdvanced->WriteStreamSample(outputStream, outputTime, 0, duration, flags, sample);
    if (SUCCEEDED(hr)) {
        NoteSampleEnd(outputStream, outputTime, duration);
    }
    return hr;
}
