#include "app/prompter.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>
#include <QUrl>
#include <functional>

#include "app/dlg_join_error.h"

namespace {
WidgetPrompter g_widgetPrompter;
Prompter* g_prompter = nullptr;
}  // namespace

Prompter& CurrentPrompter() {
    return g_prompter != nullptr ? *g_prompter : g_widgetPrompter;
}

void SetPrompter(Prompter* prompter) {
    g_prompter = prompter;
}

void RunOnUiThread(const std::function<void()>& fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(app, fn, Qt::BlockingQueuedConnection);
}

QString ConvertFileFilter(const QString& pipeFilter) {
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) {
            break;  // the "||" that ends the list
        }
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns.trimmed());
    }
    return filters.join(QStringLiteral(";;"));
}

void WidgetPrompter::Message(QWidget* parent, const QString& text) {
    RunOnUiThread(
        [&] { QMessageBox::information(parent, QApplication::applicationDisplayName(), text); });
}

bool WidgetPrompter::Question(QWidget* parent, const QString& text) {
    bool yes = false;
    RunOnUiThread([&] {
        yes = QMessageBox::question(parent, QApplication::applicationDisplayName(), text,
                                    QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    });
    return yes;
}

QStringList WidgetPrompter::OpenFileNames(QWidget* parent, const QString& filter) {
    QStringList files;
    RunOnUiThread([&] {
        files = QFileDialog::getOpenFileNames(parent, QObject::tr("Add video files"), QString(),
                                              ConvertFileFilter(filter));
    });
    return files;
}

QString WidgetPrompter::SaveFileName(QWidget* parent, const QString& proposed,
                                     const QString& filter, const QString& defaultSuffix) {
    QString chosen;
    RunOnUiThread([&] {
        QFileDialog dialog(parent, QObject::tr("Save the joined file as"), QString(),
                           ConvertFileFilter(filter));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        dialog.setDefaultSuffix(defaultSuffix);
        dialog.selectFile(proposed);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            chosen = dialog.selectedFiles().first();
        }
    });
    return chosen;
}

void WidgetPrompter::JoinFailed(QWidget* parent, const QString& reason) {
    RunOnUiThread([&] {
        CDlgJoinError dialog(parent);
        dialog.m_strError = reason;
        dialog.exec();
    });
}

void WidgetPrompter::OpenWithShell(const QString& target) {
    QUrl url =
        target.contains(QStringLiteral("://")) || target.startsWith(QStringLiteral("mailto:"))
            ? QUrl(target)
            : QUrl::fromLocalFile(target);
    RunOnUiThread([&] { QDesktopServices::openUrl(url); });
}
