#include "app/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace {

int g_pipe[2] = {-1, -1};

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
    m_handlers = std::make_unique<StopSignalHandlers>(OnSignal);
}

StopSignals::~StopSignals() {
    if (g_pipe[0] < 0) {
        return;
    }
    m_handlers.reset();
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
