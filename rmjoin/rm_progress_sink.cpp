#include "rmjoin/rm_progress_sink.h"

#include "job/job_state.h"
#include "rmjoin/rm_join.h"

HRESULT RmProgressSink::OnProgress(uint32_t percent) {
    RmNotifyProgress(m_host, percent);
    return g_stopRequested.load() != 0 ? E_ABORT : S_OK;
}

HRESULT RmProgressSink::OnStarted() {
    RmNotifyStart(m_host);
    return g_stopRequested.load() != 0 ? E_ABORT : S_OK;
}

HRESULT RmProgressSink::OnCompleted() {
    RmNotifyComplete(m_host);
    return S_OK;
}
