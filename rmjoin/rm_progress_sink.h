// The progress sink handed to the RealMedia engine's edit object: its notifications become the
// join's progress bar and status texts, and a requested stop is answered from it.
#pragma once

#include "engines/realmedia/rmedit.h"

class JoinHost;

class RmProgressSink final : public IRMAEditProgressSink {
public:
    explicit RmProgressSink(JoinHost& host) : m_host(host) {}
    virtual ~RmProgressSink() = default;

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    // Never destroys the sink: it lives on the stack of the join that made it.
    ULONG Release() override;

    // Fails with E_ABORT once the user has asked the job to stop, which ends the edit's run.
    HRESULT OnProgress(uint32_t percent) override;
    HRESULT OnStarted() override;
    HRESULT OnCompleted() override;

    ULONG RefCountForTest() const { return m_refs.Value(); }

private:
    JoinHost& m_host;
    RefCount m_refs;
};
