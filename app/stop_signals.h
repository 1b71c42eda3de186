// Termination requests to the window (SIGTERM, SIGHUP, SIGINT), carried from the signal handler
// to the user-interface thread, where the window ends a running join cleanly and closes.
#pragma once

#include <QObject>
#include <memory>

#include "platform/stop_signals.h"

class QSocketNotifier;

class StopSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; one object at a time. The handlers go with the object.
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

signals:
    // On the user-interface thread, once per signal received.
    void Received(int signal);

private:
    void OnReadable();

    QSocketNotifier* m_notifier = nullptr;
    std::unique_ptr<StopSignalHandlers> m_handlers;
};
