// The sample pump: inputs are read one after the other on a clock the joiner advances a second
// at a time, and every compressed sample goes to the writer, later inputs shifted and
// renumbered. Each input starts where the samples of the inputs before it end: at the latest
// end (time plus duration) of any sample of any stream written so far, so that no stream of
// the next input overlaps the last samples of the one before and no seam opens a gap
// (wm_input_place.cpp places the samples).
#include <algorithm>
#include <chrono>

#include "job/job_state.h"
#include "job/join_host.h"
#include "platform/unicode.h"
#include "wmjoin/wm_joiner.h"

namespace {

// The worker looks at the stop flag this often while it waits for a reader.
constexpr auto kStopPoll = std::chrono::milliseconds(100);
// Sample times are stored in milliseconds: a shift on a whole millisecond keeps the next
// input's first sample from being rounded back into the end of the one before.
constexpr QWORD kUnitsPerMs = 10'000;

QWORD UpToWholeMs(QWORD time) {
    return (time + kUnitsPerMs - 1) / kUnitsPerMs * kUnitsPerMs;
}

std::string FlagsText(DWORD flags) {
    std::string text;
    if ((flags & WM_SF_CLEANPOINT) != 0) {
        text += " WM_SF_CLEANPOINT ";
    }
    if ((flags & WM_SF_DISCONTINUITY) != 0) {
        text += " WM_SF_DISCONTINUITY ";
    }
    if ((flags & WM_SF_DATALOSS) != 0) {
        text += " WM_SF_DATALOSS ";
    }
    return text;
}

}  // namespace

HRESULT CWMJoiner::WaitForReader() {
    // A stop by the user ends the wait even when the reader has nothing more to say.
    while (!m_event.WaitFor(kStopPoll)) {
        if (g_stopRequested.load() != 0) {
            return E_ABORT;
        }
    }
    return m_status;
}

HRESULT CWMJoiner::Run() {
    if (m_pWriter == nullptr) {
        return Show(E_POINTER,
                    WmLine("BeginWriting on IWMWriter failed (hr=0x%08x).\n", Hex(E_POINTER)));
    }
    HRESULT hr = m_pWriter->BeginWriting();
    if (FAILED(hr)) {
        return Show(hr, WmLine("BeginWriting on IWMWriter failed (hr=0x%08x).\n", Hex(hr)));
    }
    for (int i = 1; i <= m_nFiles; ++i) {
        hr = ReaderLive(i) ? S_OK : ReopenReader(i);
        if (FAILED(hr)) {
            return Show(
                hr, WmLine("Stream copying failed for the No.%d file (hr=0x%08x).\n", i, Hex(hr)) +
                        WmFileFailureReason(hr));
        }
        IWMReader* reader = m_readers[static_cast<size_t>(i - 1)];
        hr = reader != nullptr ? reader->Start(0, 0, 1.0f, nullptr) : E_POINTER;
        if (FAILED(hr)) {
            return Show(hr,
                        WmLine("Could not start IWMReader for first file (hr=0x%08x).\n", Hex(hr)));
        }
        hr = WaitForReader();
        if (FAILED(hr)) {
            return Show(
                hr, WmLine("Stream copying failed for the No.%d file (hr=0x%08x).\n", i, Hex(hr)) +
                        WmFileFailureReason(hr));
        }
        ReportInputDamage(i);
        hr = reader->Stop();
        if (FAILED(hr)) {
            return Show(hr, WmLine("Could not Stop IWMReader for the No.%d file  (hr=0x%08x).\n", i,
                                   Hex(hr)));
        }
        hr = WaitForReader();
        if (FAILED(hr)) {
            return Show(
                hr, WmLine("Could not Stop reader of the No.%d file (hr=0x%08x).\n", i, Hex(hr)));
        }
        RetireReader(i);
    }
    hr = m_pWriter->EndWriting();
    if (FAILED(hr)) {
        return Show(hr, WmLine("Could not EndWriting on IWMWriter (hr=0x%08x).\n", Hex(hr)));
    }
    return CopyMarkersToOutput();
}

void CWMJoiner::EndInput(HRESULT status) {
    if (m_bEndOfInput.exchange(true)) {
        return;  // already ended: an end of file after an error changes nothing
    }
    status = FinishInputPlacing(status);
    if (CurrentInput() <= m_nFiles) {
        Signal(status);
    }
}

HRESULT CWMJoiner::OnStatus(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE, BYTE*, void*) {
    switch (status) {
        case WMT_OPENED:
            if (CurrentInput() < m_nFiles) {
                Signal(hr);
            }
            break;
        case WMT_STARTED: {
            int n = 0;
            {
                std::lock_guard<std::mutex> lock(m_lock);
                n = ++m_nCurrentInput;
            }
            if (n >= 1 && n <= m_nFiles) {
                // The inputs before this one have delivered everything: it starts where
                // their samples end.
                m_shifts[static_cast<size_t>(n - 1)] = n == 1 ? 0 : UpToWholeMs(m_contentEnd);
                m_offsets[static_cast<size_t>(n - 1)] = 0;
                DropHeldSamples();
                m_placed = n == 1;  // the first input keeps its own times
                StartAudioSeams();
                m_steps.assign(m_steps.size(), StreamSteps{});
                QWORD& clock = m_clocks[static_cast<size_t>(n - 1)];
                clock = 0;
                clock += kWmOneSecond;
                m_bEndOfInput = false;
                m_readersAdvanced[static_cast<size_t>(n - 1)]->DeliverTime(clock);
            }
            break;
        }
        case WMT_END_OF_FILE:
        case WMT_ERROR:
            EndInput(hr);
            break;
        case WMT_STOPPED: {
            {
                std::lock_guard<std::mutex> lock(m_lock);
                if (m_nCurrentInput == m_nFiles) {
                    ++m_nCurrentInput;
                }
            }
            Signal(S_OK);
            break;
        }
        case WMT_CLOSED:
            Signal(hr);
            break;
        default:
            break;
    }
    return S_OK;
}

HRESULT CWMJoiner::OnSample(DWORD, QWORD, QWORD, DWORD, INSSBuffer*, void*) {
    m_strMessage = "Error: Received a decompressed sample from the reader.\n";
    Signal(E_UNEXPECTED);
    return S_OK;
}

HRESULT CWMJoiner::OnTime(QWORD, void*) {
    int n = CurrentInput();
    if (m_bEndOfInput || n < 1 || n > m_nFiles) {
        return S_OK;
    }
    if (g_stopRequested.load() != 0) {
        EndInput(E_ABORT);
        return S_OK;
    }
    QWORD& clock = m_clocks[static_cast<size_t>(n - 1)];
    clock += kWmOneSecond;
    HRESULT hr = m_readersAdvanced[static_cast<size_t>(n - 1)]->DeliverTime(clock);
    if (FAILED(hr)) {
        m_strMessage = WmLine("Error in DeliverTime (hr=0x%08x).\n", Hex(hr));
        // The reader gets no further clock step: end the input rather than wait for ever.
        EndInput(hr);
        return S_OK;
    }
    ++m_nTicks;
    if (m_nTicks % 10 == 0 && m_totalSeconds != 0) {
        uint32_t product = m_nTicks * 100u;
        m_host.PostJoinPercent(static_cast<int>(static_cast<QWORD>(product) / m_totalSeconds));
    }
    return S_OK;
}

HRESULT CWMJoiner::OnStreamSample(WORD streamNumber, QWORD sampleTime, QWORD sampleDuration,
                                  DWORD flags, INSSBuffer* sample, void*) {
    int n = CurrentInput();
    if (g_stopRequested.load() != 0 && n >= 1 && n <= m_nFiles) {
        EndInput(E_ABORT);
        return E_ABORT;
    }
    std::string flagsText = FlagsText(flags);
    HRESULT hr = S_OK;
    if (n == 1) {
        m_strTrace = WmLine("FirstFile StreamSample: num=%d, time=%llu, duration=%llu, flags=%s.\n",
                            streamNumber, static_cast<unsigned long long>(sampleTime),
                            static_cast<unsigned long long>(sampleDuration), flagsText.c_str());
        hr = TakeSample(n, streamNumber, sampleTime, sampleDuration, flags, sample);
    } else if (n >= 2 && n <= m_nFiles) {
        QWORD outputTime = PlaceTime(n, sampleTime);
        m_strTrace = WmLine(
            "Appened File StreamSample: num=%d, time=%llu, duration=%llu, "
            "flags=%s.\n",
            streamNumber, static_cast<unsigned long long>(outputTime),
            static_cast<unsigned long long>(sampleDuration), flagsText.c_str());
        WORD outputStream = MapStreamNumber(streamNumber, n);
        hr = outputStream == 0
                 ? E_UNEXPECTED
                 : TakeSample(n, outputStream, sampleTime, sampleDuration, flags, sample);
    } else {
        return S_OK;
    }
    if (FAILED(hr)) {
        m_strMessage = WmLine("Error in WriteStreamSample (hr=0x%08x).\n", Hex(hr));
        EndInput(hr);
    }
    return hr;
}

void CWMJoiner::NoteSampleEnd(WORD outputStream, QWORD outputTime, QWORD duration) {
    if (outputStream >= m_steps.size()) {
        m_steps.resize(outputStream + 1u);
    }
    StreamSteps& steps = m_steps[outputStream];
    if (steps.any && outputTime > steps.lastTime) {
        steps.lastStep = outputTime - steps.lastTime;
    }
    steps.any = true;
    steps.lastTime = outputTime;
    NoteInputStart(outputTime);
    // A sample that comes without a duration lasts as long as the step to it.
    QWORD end = outputTime + (duration != 0 ? duration : steps.lastStep);
    m_contentEnd = std::max(m_contentEnd, end);
}

WORD CWMJoiner::MapStreamNumber(WORD streamNumber, int fileNumber) {
    if (m_nStreams == 0 || fileNumber < 2 || fileNumber > static_cast<int>(m_streamMaps.size())) {
        return 0;
    }
    const WmStreamMap* map = m_streamMaps[static_cast<size_t>(fileNumber - 1)].get();
    if (map == nullptr) {
        return 0;
    }
    for (uint32_t i = m_nStreams; i < 2 * m_nStreams; ++i) {
        if ((*map)[i] == streamNumber) {
            return (*map)[i - m_nStreams];
        }
    }
    return 0;
}
