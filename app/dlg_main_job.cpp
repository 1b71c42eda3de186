// The join job of the main window: checks, output name, the worker, progress and the end.
#include <QCoreApplication>
#include <QDir>
#include <QThread>
#include <QTreeWidget>
#include <algorithm>

#include "app/app_settings.h"
#include "app/dlg_main.h"
#include "app/join_event.h"
#include "app/prompter.h"
#include "app/row_marks.h"
#include "job/job_state.h"
#include "job/join_job.h"
#include "job/join_options.h"
#include "job/join_report.h"
#include "job/kind_table.h"
#include "kinds/check_facts.h"
#include "kinds/join_engines.h"
#include "kinds/list_check.h"
#include "res/resource_ids.h"
#include "res/resources.h"
#include "skin/bk_button.h"
#include "skin/icon_button.h"

namespace {

struct JoinLook {
    int normal, selected, hover, disabled, focus, mask;
    const char* text;
};
constexpr JoinLook kJoinIdleLook = {169, 169, 168, 169, 0, 145, "&Join"};
constexpr JoinLook kJoinRunningLook = {151, 151, 152, 151, 0, 145, "&Stop"};
constexpr char kStoppingText[] = "Stopping...";
constexpr char kStoppedText[] =
    "The join was stopped by the user. The unfinished output was removed.";
constexpr char kEndedText[] =
    "The join was stopped because Kelvane Joiner was asked to end. The unfinished output was "
    "removed.";

// The thread routine of a job: runs it, then tells the window it has ended.
int JoinThreadProc(void* /*unused*/) {
    CDlgMain* dialog = g_mainDialog;
    g_joinResult = 0;
    g_joinResult = dialog->RunJoin();
    QCoreApplication::postEvent(dialog, new JoinEvent(WM_JOIN_FINISHED, 0));
    return 0;
}

// How long the joined file lasts, from the engines' report of the inputs; -1 when not told.
double JoinedLength() {
    double end = -1;
    for (const InputReport& report : InputReports()) {
        if (report.startSeconds >= 0 && report.durationSeconds >= 0) {
            end = std::max(end, report.startSeconds + report.durationSeconds);
        }
    }
    return end;
}

// "2 files were joined; the joined file lasts 0:05.0." from the engines' report of the inputs.
QString JoinedSummary(size_t files) {
    double end = JoinedLength();
    QString text = QString::asprintf("%zu files were joined", files);
    std::string how = CopiedAndEncodedText();
    if (!how.empty()) {
        text += QStringLiteral(" (") + QString::fromStdString(how) + QLatin1Char(')');
    }
    if (end >= 0) {
        int minutes = static_cast<int>(end / 60);
        text +=
            QString::asprintf("; the joined file lasts %d:%04.1f", minutes, end - 60.0 * minutes);
    }
    return text + QLatin1Char('.');
}

bool OnUiThreadNow() {
    return QCoreApplication::instance() == nullptr ||
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

}  // namespace

void CDlgMain::OnUiThread(std::function<void()> fn) {
    if (OnUiThreadNow()) {
        fn();
    } else {
        QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
    }
}

void CDlgMain::OnJoin() {
    if (m_bJoining != 0) {
        FinishJoin();
        return;
    }
    // No second job while a probe scans or a stopped engine is still ending.
    if (m_bProbing || m_bEngineRunning) {
        return;
    }
    std::vector<JoinInput> inputs;
    inputs.reserve(static_cast<size_t>(RowCount()));
    for (int row = 0; row < RowCount(); ++row) {
        inputs.push_back({RowRecord(row)->m_strPath, *RowRecord(row)});
    }
    // The whole list is checked as a join would check it before anything is asked: the designed
    // text of a refusal, then every odd row.
    ListCheckHost check(inputs, [](int id) { return res::String(id).toStdString(); });
    ListRefusal refusal = CheckListBeforeJoin(check, [](int id, const std::string& file) {
        QString text = res::String(id);
        if (id == IDS_AUDIO_ONLY_WITH_VIDEO) {
            text = text.arg(QString::fromStdString(file));
        }
        return text.toStdString();
    });
    if (refusal.refused) {
        CurrentPrompter().Message(this, QString::fromStdString(refusal.text));
        return;
    }
    const JoinInput& first = inputs.front();
    MediaKind kind = first.info.m_nKind;
    QString output = CurrentPrompter().SaveFileName(
        this, QString::fromStdString(ProposedJoinName(first.path)),
        QString::fromLatin1(kSaveFilter), QString::fromStdString(ProposedExtension(first.path)));
    if (output.isEmpty()) {
        return;
    }
    std::string overwrite = OutputOverwritesInput(inputs, output.toStdString());
    if (!overwrite.empty()) {
        CurrentPrompter().Message(this, QString::fromStdString(overwrite));
        return;
    }
    if (m_worker.joinable()) {
        m_worker.join();
    }
    g_outputPath = output.toStdString();
    g_errorText.clear();
    g_stopRequested = 0;
    g_markInputs = m_bMarkInputs;
    ResetInputReports(inputs.size());
    m_jobInputs = std::move(inputs);
    // Set before the worker starts, so that a second press can only ever ask to stop, and no
    // edit of the list slips in before the worker's own request to disable the controls.
    m_bJoining = 1;
    m_bEngineRunning = true;
    SetJoinLook(true);
    EnableEditControls(false);
    SetProgress(0);
    // An AVI join runs here, on the window's thread, as the conversion library's AVI path was
    // made to: its progress callback keeps the window alive by pumping this thread's events.
    // Every other kind runs on a worker, so the window never waits for an engine.
    const KindRow* row = FindKind(kind);
    if (row != nullptr && row->joinsOnWindowThread) {
        JoinThreadProc(nullptr);
    } else {
        m_worker = std::thread(JoinThreadProc, nullptr);
    }
}

int CDlgMain::RunJoin() {
    MediaKind kind = m_jobInputs.front().info.m_nKind;
    std::string output = g_outputPath;
    m_bJoining = 1;
    OnUiThread([this] {
        SetJoinLook(true);
        EnableEditControls(false);
    });
    g_firstRowKind = kind;
    JoinEngine engine = EngineForKind(kind);
    return JoinOntoOutput(
        output, [this, &engine](const std::string& target) { return engine(*this, target); });
}

bool CDlgMain::AskStop() {
    m_bStopQuestionOpen = true;
    m_bEndedDuringQuestion = false;
    bool yes = CurrentPrompter().Question(this, res::String(IDS_STOP_QUESTION));
    m_bStopQuestionOpen = false;
    return yes && !m_bEndedDuringQuestion;
}

void CDlgMain::ConfirmStop() {
    // The engines watch this flag and end at their next sample, packet or frame.
    g_stopRequested = 1;
    m_bJoining = 0;
    g_errorText = kStoppedText;
}

int CDlgMain::FinishJoin() {
    if (m_bJoining != 0) {
        bool stop = AskStop();
        if (m_bEndedDuringQuestion) {
            // The job ended while the question was open: its end is shown here, once.
            m_bEndedDuringQuestion = false;
        } else if (!stop) {
            return 1;  // the job goes on
        } else {
            ConfirmStop();
        }
    }
    SetJoinLook(false);
    EnableEditControls(true);
    if (m_worker.joinable() && !m_bEngineRunning) {
        m_worker.join();
    }
    if (m_nStopSignal != 0) {
        return 1;  // the program ends: nobody to ask
    }
    if (g_joinResult != 0) {
        SetProgress(100);
        QString question = QString::asprintf(
            "Video file %s has been created, do u want to play it?", g_outputPath.c_str());
        // The status line names the joined file and its length; what was left out of the inputs
        // follows there and goes before the question.
        double length = JoinedLength();
        QString status = length >= 0
                             ? JoinedStatusText(QString::fromStdString(g_outputPath), length)
                             : QString::fromStdString(g_outputPath);
        std::vector<std::string> warnings = InputWarnings();
        if (!warnings.empty()) {
            std::string lines;
            for (const std::string& warning : warnings) {
                lines += (lines.empty() ? "" : "\n") + warning;
            }
            status += QLatin1Char(' ') + QString::fromStdString(lines).replace('\n', ' ');
            question = QString::fromStdString(lines) + "\n\n" + question;
        }
        SetStatusText(status);
        question = JoinedSummary(m_jobInputs.size()) + "\n\n" + question;
        if (CurrentPrompter().Question(this, question)) {
            PlayFile(QString::fromStdString(g_outputPath));
        }
    } else {
        // A failed or stopped join leaves an empty bar; a stop says so in the status line.
        SetProgress(0);
        if (g_stopRequested != 0) {
            SetStatusText(res::String(IDS_STOPPED));
        }
        std::string reason = g_errorText;
        MediaKind kind = m_jobInputs.empty() ? kKindAvi : m_jobInputs.front().info.m_nKind;
        if (g_stopRequested == 0 && CopiesPackets(kind)) {
            // A packet copy refuses files that differ: name every one of them.
            reason = RefusalWithFindings(reason, Marks().Result(), Marks().Facts());
        }
        CurrentPrompter().JoinFailed(this, QString::fromStdString(reason));
    }
    // The keyboard goes on from the list, whatever had the focus when the join started.
    if (m_list != nullptr) {
        m_list->setFocus(Qt::OtherFocusReason);
    }
    return 1;
}

void CDlgMain::OnJoinFinished() {
    m_bEngineRunning = false;
    if (m_worker.joinable()) {
        m_worker.join();  // it has posted its last message and is ending
    }
    if (m_bJoining != 0) {
        m_bJoining = 0;
        if (m_bStopQuestionOpen) {
            // The question is moot: close it as No; its asker shows the end of the job.
            m_bEndedDuringQuestion = true;
            CurrentPrompter().CloseQuestion();
            return;
        }
        FinishJoin();
    } else {
        // A stopped engine has ended: a new job may start.
        SetJoinLook(false);
        if (g_joinResult == 0) {
            SetProgress(0);
        }
    }
    CloseIfAsked();
}

void CDlgMain::CloseIfAsked() {
    if (m_bCloseAfterJob && !m_bEngineRunning) {
        m_bCloseAfterJob = false;
        QDialog::accept();
    }
}

void CDlgMain::OnStopSignal(int signal) {
    m_nStopSignal = signal;
    if (m_bJoining != 0) {
        ConfirmStop();
        g_errorText = kEndedText;
    }
    m_bCloseAfterJob = true;
    SetJoinLook(false);
    EnableEditControls(false);
    // Every question and dialog still open is answered No or cancelled; the window closes
    // once their loops have returned.
    CurrentPrompter().CloseAll(this);
    QMetaObject::invokeMethod(
        this, [this] { CloseIfAsked(); }, Qt::QueuedConnection);
}

void CDlgMain::customEvent(QEvent* event) {
    auto* job = dynamic_cast<JoinEvent*>(event);
    if (job == nullptr) {
        CBkDialog::customEvent(event);
        return;
    }
    switch (static_cast<int>(event->type())) {
        // After a confirmed stop, what the ending engine still reports is not shown.
        case WM_JOIN_PERCENT:
            if (m_bJoining != 0) {
                SetProgress(std::clamp(job->wParam(), 0, 100));
            }
            break;
        case WM_JOIN_PROGRESS:
            if (m_bJoining != 0) {
                SetProgress(std::clamp(job->wParam(), 0, 100));
                SetStatusText(QString::fromStdString(JobStatusText()));
            }
            break;
        case WM_JOIN_FINISHED:
            OnJoinFinished();
            break;
        default:
            break;
    }
}

void CDlgMain::SetJoinLook(bool running) {
    if (m_join == nullptr) {
        return;
    }
    const JoinLook& look = running ? kJoinRunningLook : kJoinIdleLook;
    m_join->SetBitmaps(look.normal, look.selected, look.hover, look.disabled, look.focus, look.mask,
                       0, 0, 0);
    // After a confirmed stop the engine may still be ending: no new job until it has.
    bool stopping = !running && m_bEngineRunning && m_bJoining == 0;
    m_join->setText(stopping ? QString::fromLatin1(kStoppingText) : QString::fromLatin1(look.text));
    m_join->setEnabled(!stopping);
}

void CDlgMain::EnableEditControls(bool enable) {
    // The order is the designed one; the list, menu, minimise and close stay usable throughout.
    QAbstractButton* disableOrder[] = {m_add,    m_remove,   m_clear,   m_play,
                                       m_moveUp, m_moveDown, m_moveTop, m_moveBottom};
    QAbstractButton* enableOrder[] = {m_add,     m_remove,   m_clear,      m_moveUp,
                                      m_moveTop, m_moveDown, m_moveBottom, m_play};
    for (QAbstractButton* button : enable ? enableOrder : disableOrder) {
        if (button != nullptr) {
            button->setEnabled(enable);
        }
    }
}

bool CDlgMain::MayCloseNow() {
    if (m_bJoining != 0) {
        bool stop = AskStop();
        if (m_bEndedDuringQuestion) {
            // The job ended meanwhile: show its end once, then close as asked.
            m_bEndedDuringQuestion = false;
            FinishJoin();
        } else if (!stop) {
            return false;
        } else {
            ConfirmStop();
        }
    }
    if (m_bEngineRunning) {
        // Close once the engine has ended and its output is cleaned up.
        m_bCloseAfterJob = true;
        SetJoinLook(false);
        EnableEditControls(false);
        return false;
    }
    return true;
}

// ---- JoinHost ----

void CDlgMain::PostJoinPercent(int percent) {
    QCoreApplication::postEvent(this, new JoinEvent(WM_JOIN_PERCENT, percent));
}

void CDlgMain::PostJoinProgress(int percent) {
    QCoreApplication::postEvent(this, new JoinEvent(WM_JOIN_PROGRESS, percent));
}

void CDlgMain::SetStatusText(const std::string& text) {
    SetStatusText(QString::fromStdString(text));
}

void CDlgMain::PumpMessages() {
    QCoreApplication::processEvents();
}

void CDlgMain::MessageBox(const std::string& text) {
    CurrentPrompter().Message(this, QString::fromStdString(text));
}

std::string CDlgMain::ResourceString(int id) const {
    return res::String(id).toStdString();
}
