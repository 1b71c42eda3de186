#include "app/small_dialogs.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>

#include "app/dialog_template.h"
#include "app/dlg_join_error.h"
#include "res/resource_ids.h"

CDlgScanProgress::CDlgScanProgress(QWidget* parent) : QDialog(parent) {
    LoadDialogTemplate(this, IDD_SCAN_PROGRESS);
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    m_text = findChild<QLabel*>(QString::number(IDC_SCAN_TEXT));
    m_progress = findChild<QProgressBar*>(QString::number(IDC_SCAN_PROGRESS));
}

CDlgAbout::CDlgAbout(QWidget* parent) : QDialog(parent) {
    LoadDialogTemplate(this, IDD_ABOUT);
    if (auto* version = findChild<QLabel*>(QString::number(IDC_ABOUT_VERSION))) {
        version->setText(version->text().arg(QString::fromLatin1(KJ_VERSION)));
    }
}

CDlgJoinError::CDlgJoinError(QWidget* parent) : QDialog(parent) {
    LoadDialogTemplate(this, IDD_JOIN_ERROR);
}

int CDlgJoinError::exec() {
    if (auto* text = findChild<QPlainTextEdit*>(QString::number(IDC_JOIN_ERROR_TEXT))) {
        text->setPlainText(m_strError);
    }
    return QDialog::exec();
}
