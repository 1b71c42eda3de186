#include "platform/stop_signals.h"

StopSignalHandlers::StopSignalHandlers(Handler handler) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // SA_RESTART: a read or write the signal interrupts goes on; the engine sees the stop
    // request at its next check instead of as a failed call.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        sigaction(kSignals[i], &action, &m_previous[i]);
    }
}

StopSignalHandlers::~StopSignalHandlers() {
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        sigaction(kSignals[i], &m_previous[i], nullptr);
    }
}
