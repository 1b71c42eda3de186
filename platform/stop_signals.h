// The signals that ask a join to stop, for every front end: Ctrl+C (SIGINT), a termination
// request (SIGTERM) and a closed terminal (SIGHUP).
//
// While a StopSignalHandlers object lives, one handler receives all three; the handlers that were
// there before come back with the object. Each handler fires once: a second signal of a kind
// ends the program at once, which leaves nothing behind because a joined file has no name until
// it is finished.
#pragma once

#include <signal.h>

#include <cstddef>
#include <iterator>

class StopSignalHandlers {
public:
    // Runs inside the signal handler: only async-signal-safe work (a flag, a write to a pipe).
    using Handler = void (*)(int signal);

    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

    explicit StopSignalHandlers(Handler handler);
    ~StopSignalHandlers();
    StopSignalHandlers(const StopSignalHandlers&) = delete;
    StopSignalHandlers& operator=(const StopSignalHandlers&) = delete;

private:
    struct sigaction m_previous[std::size(kSignals)]{};
};
