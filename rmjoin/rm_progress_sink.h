// The progress sink handed to the RealMedia engine's edit object: its notifications become the
// join's progress bar and status texts, and a requested stop is answered from it.
#pragma once

#include "engines/realmedia/rmedit.h"

class JoinHost;

// Lives on the stack of the join that made it: Release never destroys it.
class RmProgressSink final : public OwnedComObject<IRMAEditProgressSink> {
public:
    explicit RmProgressSink(JoinHost& host) : m_host(host) {}
    virtual ~RmProgressSink() = default;

    // Fails with E_ABORT once the user has asked the job to stop, which ends the edit's run.
    HRESULT OnProgress(uint32_t percent) override;
    HRESULT OnStarted() override;
    HRESULT OnCompleted() override;

private:
    JoinHost& m_host;
};
