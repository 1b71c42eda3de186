// Lists of any length: every input is opened once to be checked and matched, and then let go;
// it is opened again when its turn comes and let go when it has been copied. At most the first
// input's and the current input's files are open at once, whatever the length of the list.
#include <chrono>

#include "wmjoin/wm_entry_points.h"
#include "wmjoin/wm_joiner.h"

namespace {

// How long a reader may take to confirm that it has closed.
constexpr auto kCloseWait = std::chrono::seconds(5);

}  // namespace

bool CWMJoiner::ReaderLive(int input) const {
    size_t index = static_cast<size_t>(input - 1);
    return index < m_readers.size() && m_readers[index] != nullptr && m_opened[index];
}

HRESULT CWMJoiner::RetireReader(int input) {
    size_t index = static_cast<size_t>(input - 1);
    if (index >= m_readers.size() || m_readers[index] == nullptr) {
        return S_OK;
    }
    HRESULT hr = S_OK;
    if (m_opened[index] && SUCCEEDED(hr = m_readers[index]->Close())) {
        m_event.WaitFor(kCloseWait);  // its WMT_CLOSED, so that no later wait takes it
    }
    m_opened[index] = false;
    SafeRelease(m_readersAdvanced[index]);
    SafeRelease(m_readers[index]);
    return hr;
}

HRESULT CWMJoiner::ReopenReader(int input) {
    size_t index = static_cast<size_t>(input - 1);
    if (index >= m_readers.size() || m_profiles[index] == nullptr ||
        g_pfnWMCreateReader == nullptr) {
        return E_POINTER;
    }
    RetireReader(input);
    HRESULT hr = g_pfnWMCreateReader(nullptr, 0, &m_readers[index]);
    if (FAILED(hr)) {
        m_readers[index] = nullptr;
        return hr;
    }
    hr = m_readers[index]->QueryInterface(IID_IWMReaderAdvanced,
                                          reinterpret_cast<void**>(&m_readersAdvanced[index]));
    IWMReaderAdvanced* advanced = m_readersAdvanced[index];
    if (SUCCEEDED(hr)) {
        hr = advanced->SetManualStreamSelection(TRUE);
    }
    for (DWORD s = 0; SUCCEEDED(hr) && s < m_nStreams; ++s) {
        hr = RequestStreamSamples(advanced, m_profiles[index], s);
    }
    if (SUCCEEDED(hr)) {
        hr = advanced->SetUserProvidedClock(TRUE);
    }
    if (SUCCEEDED(hr)) {
        hr = OpenReader(static_cast<int>(index), m_inputPaths[index]);
    }
    if (SUCCEEDED(hr)) {
        hr = WaitForReader();
    }
    return hr;
}
