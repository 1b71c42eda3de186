// Where each input goes. An input starts where the samples of the inputs before it end; its
// streams keep their offsets to each other, and a lead that all of them share before their
// first sample (a file whose first packet is not at 0) is taken off rather than repeated at
// every seam. A later input's first samples are therefore held until every stream of it has
// shown one (or its samples span more than any interleaving would), and then written.
// Sound ends where the input's own duration says: the last payload of a stream may be padded
// to a whole block, and its nominal length would open a gap before the next input.
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

bool CWMJoiner::IsAudioStream(WORD outputStream) const {
    return std::find(m_audioStreams.begin(), m_audioStreams.end(), outputStream) !=
           m_audioStreams.end();
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
}

HRESULT CWMJoiner::FinishInputPlacing(HRESULT status) {
    int n = CurrentInput();
    if (FAILED(status) || m_placed || n < 1 || n > m_nFiles) {
        DropHeldSamples();
        return status;
    }
    return PlaceHeldSamples(n);
}

HRESULT CWMJoiner::WriteOutputSample(int input, WORD outputStream, QWORD sampleTime, QWORD duration,
                                     DWORD flags, INSSBuffer* sample) {
    QWORD outputTime = PlaceTime(input, sampleTime);
    QWORD ownDuration = m_fileDurations[static_cast<size_t>(input - 1)];
    if (ownDuration != 0 && IsAudioStream(outputStream)) {
        // A padded last payload: its sound ends with the file's duration.
        QWORD soundEnd = PlaceTime(input, ownDuration);
        if (outputTime < soundEnd && outputTime + duration > soundEnd) {
            duration = soundEnd - outputTime;
        }
    }
    HRESULT hr =
        m_pWriterAdvanced->WriteStreamSample(outputStream, outputTime, 0, duration, flags, sample);
    if (SUCCEEDED(hr)) {
        NoteSampleEnd(outputStream, outputTime, duration);
    }
    return hr;
}
