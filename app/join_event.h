// A job message posted to the main window: WM_JOIN_PERCENT, WM_JOIN_PROGRESS, WM_JOIN_FINISHED.
#pragma once

#include <QEvent>

class JoinEvent : public QEvent {
public:
    JoinEvent(int type, int wParam) : QEvent(static_cast<QEvent::Type>(type)), m_wParam(wParam) {}
    int wParam() const { return m_wParam; }

private:
    int m_wParam;
};
