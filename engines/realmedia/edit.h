// The edit object behind "RMACreateRMEdit": collects the inputs and the output, runs the
// join and tells its progress sinks how it goes.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "engines/realmedia/rm_joiner.h"
#include "engines/realmedia/rmedit.h"
#include "engines/realmedia/rmedit_report.h"

namespace rm {

class Edit final
    : public ComObject<IRMAEdit, IRMAEdit2, IRMAEditProgressAdvise, IKjEditInputReport> {
public:
    Edit() = default;

    HRESULT GetErrorText(HRESULT code, char* buffer, uint32_t size) override;
    HRESULT SetInputFile(const char* path, uint32_t flags) override;
    HRESULT AppendInputFile(const char* path) override;
    HRESULT SetOutputFile(const char* path) override;
    HRESULT Run() override;

    uint32_t GetInputCount() override;

    HRESULT AddProgressSink(IRMAEditProgressSink* sink) override;
    HRESULT RemoveProgressSink(IRMAEditProgressSink* sink) override;

    HRESULT GetInputReport(uint32_t index, KJ_RMEDIT_INPUT_REPORT* report) override;

    // For tests: a lower limit than RealMedia's 4 GiB.
    void SetSizeLimit(uint64_t bytes) { m_joiner.SetSizeLimit(bytes); }

private:
    ~Edit() override;
    class SinkRelay;

    std::mutex m_lock;  // guards the sink list
    std::vector<IRMAEditProgressSink*> m_sinks;
    std::vector<std::string> m_inputs;
    std::string m_output;
    HRESULT m_lastError = S_OK;
    bool m_succeeded = false;  // the last run wrote its output
    std::string m_lastErrorText;
    Joiner m_joiner;
};

}  // namespace rm
