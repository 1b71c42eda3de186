#include "app/prompter.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <functional>

#include "app/dialog_template.h"
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
    QStringList names;
    QList<QStringList> patternLists;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) {
            break;  // the "||" that ends the list
        }
        QString name = parts[i].trimmed();
        // "AVI Files (*.avi)" and "Real Media(*.rm;*.rmvb)": the patterns follow once, below.
        if (name.endsWith(QLatin1Char(')'))) {
            qsizetype open = name.lastIndexOf(QLatin1Char('('));
            if (open > 0 && name.mid(open).contains(QLatin1Char('*'))) {
                name = name.left(open).trimmed();
            }
        }
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            if (!patterns.contains(pattern.trimmed())) {
                patterns << pattern.trimmed();
            }
        }
        names << name;
        patternLists << patterns;
    }
    if (names.isEmpty()) {
        return {};
    }
    // "All files" ("*") is a choice of its own: the supported files' filter does not take it.
    auto catchAll = [](const QString& pattern) {
        return pattern == QLatin1String("*") || pattern == QLatin1String("*.*");
    };
    QStringList every;
    for (const QStringList& patterns : patternLists) {
        for (const QString& pattern : patterns) {
            if (!catchAll(pattern) && !every.contains(pattern)) {
                every << pattern;
            }
        }
    }
    // The first filter is the one that shows every supported file: complete it, or add one.
    if (patternLists.size() > 1 && patternLists.first().size() < every.size()) {
        bool coversOthers = true;
        for (qsizetype i = 1; i < patternLists.size(); ++i) {
            for (const QString& pattern : patternLists[i]) {
                coversOthers =
                    coversOthers && (catchAll(pattern) || patternLists.first().contains(pattern));
            }
        }
        if (!coversOthers) {
            if (names.first().startsWith(QLatin1String("All"), Qt::CaseInsensitive)) {
                patternLists.first() = every;
            } else {
                names.prepend(QStringLiteral("All Supported Media Files"));
                patternLists.prepend(every);
            }
        }
    }
    QStringList filters;
    for (qsizetype i = 0; i < names.size(); ++i) {
        filters << QStringLiteral("%1 (%2)").arg(names[i], patternLists[i].join(QLatin1Char(' ')));
    }
    return filters.join(QStringLiteral(";;"));
}

namespace {
QPointer<QMessageBox> g_openQuestion;
}  // namespace

void WidgetPrompter::Message(QWidget* parent, const QString& text) {
    RunOnUiThread(
        [&] { QMessageBox::information(parent, QApplication::applicationDisplayName(), text); });
}

bool WidgetPrompter::Question(QWidget* parent, const QString& text) {
    bool yes = false;
    RunOnUiThread([&] {
        QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), text,
                        QMessageBox::Yes | QMessageBox::No, parent);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        QPointer<QMessageBox> outer = g_openQuestion;
        g_openQuestion = &box;
        box.exec();
        g_openQuestion = outer;
        yes = box.clickedButton() == box.button(QMessageBox::Yes);
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
        CentreOnWindow(&dialog, parent);
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

bool WidgetPrompter::OpenToPlay(const QString& path) {
    if (!HasPlayerFor(path)) {
        return false;
    }
    bool opened = false;
    QUrl url = QUrl::fromLocalFile(path);
    RunOnUiThread([&] { opened = QDesktopServices::openUrl(url); });
    return opened;
}

bool HasPlayerFor(const QString& path) {
    constexpr int kQueryMilliseconds = 5000;
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-mime")).isEmpty()) {
        return !QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty();
    }
    QString type = QMimeDatabase().mimeTypeForFile(path).name();
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), type});
    if (!query.waitForFinished(kQueryMilliseconds) || query.exitCode() != 0) {
        return false;
    }
    return !query.readAllStandardOutput().trimmed().isEmpty();
}

QString NoPlayerText(const QString& path) {
    QString type = QMimeDatabase().mimeTypeForFile(path).comment();
    return QStringLiteral(
               "No program is set to play %1 (%2 files). Choose a player for this "
               "type of file in your desktop's settings, or open the file from your "
               "player.")
        .arg(QDir::toNativeSeparators(path), type);
}

void WidgetPrompter::CloseQuestion() {
    if (g_openQuestion != nullptr) {
        g_openQuestion->reject();
    }
}

void WidgetPrompter::CloseAll(QWidget* keep) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog != nullptr && dialog != keep && dialog->isVisible()) {
            dialog->reject();
        }
    }
}
