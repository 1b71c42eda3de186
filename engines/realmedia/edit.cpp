#include "engines/realmedia/edit.h"

#include <algorithm>
#include <cstring>

#include "engines/realmedia/edit_text.h"
#include "engines/realmedia/ra_join.h"

namespace rm {

// Hands the joiner's reports on to the sinks registered when the run started.
class Edit::SinkRelay final : public JoinObserver {
public:
    explicit SinkRelay(std::vector<IRMAEditProgressSink*> sinks) : m_sinks(std::move(sinks)) {
        for (IRMAEditProgressSink* s : m_sinks) {
            s->AddRef();
        }
    }
    ~SinkRelay() override {
        for (IRMAEditProgressSink* s : m_sinks) {
            s->Release();
        }
    }
    void Started() override {
        for (IRMAEditProgressSink* s : m_sinks) {
            s->OnStarted();
        }
    }
    bool Progress(uint32_t percent) override {
        bool goOn = true;
        for (IRMAEditProgressSink* s : m_sinks) {
            goOn = SUCCEEDED(s->OnProgress(percent)) && goOn;
        }
        return goOn;
    }
    void Completed() override {
        for (IRMAEditProgressSink* s : m_sinks) {
            s->OnCompleted();
        }
    }

private:
    std::vector<IRMAEditProgressSink*> m_sinks;
};

Edit::~Edit() {
    for (IRMAEditProgressSink* s : m_sinks) {
        s->Release();
    }
}

HRESULT Edit::GetErrorText(HRESULT code, char* buffer, uint32_t size) {
    if (buffer == nullptr || size == 0) {
        return E_POINTER;
    }
    std::string text =
        code == m_lastError && !m_lastErrorText.empty() ? m_lastErrorText : DescribeEditCode(code);
    size_t n = std::min<size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return S_OK;
}

HRESULT Edit::GetInputReport(uint32_t index, KJ_RMEDIT_INPUT_REPORT* report) {
    if (report == nullptr) {
        return E_POINTER;
    }
    const std::vector<InputDamage>& damage = m_joiner.plan().damage;
    if (index >= damage.size()) {
        return E_INVALIDARG;
    }
    const InputDamage& d = damage[index];
    const JoinPlan& plan = m_joiner.plan();
    *report = KJ_RMEDIT_INPUT_REPORT{};
    if (m_succeeded && index < plan.starts.size()) {
        uint32_t start = plan.starts[index];
        uint32_t end = index + 1 < plan.starts.size() ? plan.starts[index + 1] : plan.duration;
        report->placed = 1;
        report->startMs = start;
        report->durationMs = end > start ? end - start : 0;
    }
    report->cutShort = d.cutShort ? 1 : 0;
    report->damagedPackets = d.damagedPackets;
    report->joinedMs = d.joinedMs;
    report->fullMs = d.fullMs;
    return S_OK;
}

HRESULT Edit::SetInputFile(const char* path, uint32_t flags) {
    if (path == nullptr) {
        return E_POINTER;
    }
    if (flags != RMEDIT_FIRST_INPUT) {
        return E_INVALIDARG;
    }
    m_inputs.assign(1, path);
    return S_OK;
}

HRESULT Edit::AppendInputFile(const char* path) {
    if (path == nullptr) {
        return E_POINTER;
    }
    if (m_inputs.empty()) {
        return RMEDIT_E_NO_INPUT;
    }
    m_inputs.emplace_back(path);
    return S_OK;
}

HRESULT Edit::SetOutputFile(const char* path) {
    if (path == nullptr) {
        return E_POINTER;
    }
    m_output = path;
    return S_OK;
}

HRESULT Edit::Run() {
    std::vector<IRMAEditProgressSink*> sinks;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        sinks = m_sinks;
    }
    SinkRelay relay(std::move(sinks));
    std::string text;
    // Bare RealAudio files have no chunks to join: they are joined as a file of their own kind
    // (which also refuses them among Real Media files).
    bool bare = std::any_of(m_inputs.begin(), m_inputs.end(), IsBareRealAudioFile);
    HRESULT hr = bare ? JoinBareRealAudio(m_inputs, m_output, &relay, &text)
                      : m_joiner.Join(m_inputs, m_output, &relay, &text);
    m_lastError = hr;
    m_lastErrorText = FAILED(hr) ? text : std::string();
    m_succeeded = SUCCEEDED(hr);
    return hr;
}

uint32_t Edit::GetInputCount() {
    return static_cast<uint32_t>(m_inputs.size());
}

HRESULT Edit::AddProgressSink(IRMAEditProgressSink* sink) {
    if (sink == nullptr) {
        return E_POINTER;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    if (std::find(m_sinks.begin(), m_sinks.end(), sink) != m_sinks.end()) {
        return S_FALSE;
    }
    sink->AddRef();
    m_sinks.push_back(sink);
    return S_OK;
}

HRESULT Edit::RemoveProgressSink(IRMAEditProgressSink* sink) {
    std::lock_guard<std::mutex> lock(m_lock);
    auto it = std::find(m_sinks.begin(), m_sinks.end(), sink);
    if (it == m_sinks.end()) {
        return E_INVALIDARG;
    }
    (*it)->Release();
    m_sinks.erase(it);
    return S_OK;
}

}  // namespace rm
