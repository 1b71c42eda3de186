#include "app/stop_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <iterator>

namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGHUP, SIGINT};
int g_pipe[2] = {-1, -1};
struct sigaction g_previous[std::size(kStopSignals)];

// Only what is safe in a signal handler: one write of the signal number.
void OnSignal(int signal) {
    unsigned char number = static_cast<unsigned char>(signal);
    ssize_t written = ::write(g_pipe[1], &number, 1);
    (void)written;
}

}  // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::OnReadable);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // A second signal of a kind ends the program at once: the joined file has no name until it
    // is finished, so nothing is left behind even then.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (size_t i = 0; i < std::size(kStopSignals); ++i) {
        sigaction(kStopSignals[i], &action, &g_previous[i]);
    }
}

StopSignals::~StopSignals() {
    if (g_pipe[0] < 0) {
        return;
    }
    for (size_t i = 0; i < std::size(kStopSignals); ++i) {
        sigaction(kStopSignals[i], &g_previous[i], nullptr);
    }
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void StopSignals::OnReadable() {
    unsigned char number = 0;
    while (::read(g_pipe[0], &number, 1) == 1) {
        emit Received(number);
    }
}
