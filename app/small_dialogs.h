// The small dialogs of the program, each built from its numbered layout.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QProgressBar;

// The window shown while a file is being scanned: a text over a progress bar.
class CDlgScanProgress : public QDialog {
    Q_OBJECT
public:
    explicit CDlgScanProgress(QWidget* parent = nullptr);
    QLabel* m_text = nullptr;            // control 1077
    QProgressBar* m_progress = nullptr;  // control 1076
};

class CDlgAbout : public QDialog {
    Q_OBJECT
public:
    explicit CDlgAbout(QWidget* parent = nullptr);
};
