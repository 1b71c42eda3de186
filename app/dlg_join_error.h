// The dialog that tells why a join failed.
#pragma once

#include <QDialog>
#include <QString>

class CDlgJoinError : public QDialog {
    Q_OBJECT
public:
    explicit CDlgJoinError(QWidget* parent = nullptr);
    int exec() override;

    QString m_strError;  // shown in control 1086
};
