// The window as a new user meets it: the end of a join while its stop question is open, the
// status line and progress bar that follow the list and the job, the message about files that
// are not added, the file dialogs' filters, dialogs centred on the window, the keyboard, and a
// termination request in the middle of a join.
#include <signal.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/app_settings.h"
#include "app/dlg_main.h"
#include "app/prompter.h"
#include "app/small_dialogs.h"
#include "app/stop_signals.h"
#include "job/job_state.h"
#include "kinds/join_engines.h"
#include "platform/module.h"
#include "probe/media_file_info.h"
#include "res/resource_ids.h"
#include "res/resources.h"
#include "skin/bk_button.h"
#include "skin/bk_progress_ctrl.h"
#include "tests/app/test_prompter.h"
#include "tests/support/media_fixtures.h"

namespace fs = std::filesystem;

namespace {

// An engine that writes a little, may report a percentage, and runs until it is released or
// stopped.
struct HeldEngine {
    int result = 1;
    int percent = -1;
    std::atomic<bool> release{false};
    std::atomic<bool> running{false};
    std::atomic<bool> sawStop{false};

    JoinEngine Engine() {
        return [this](JoinHost& host, const std::string& output) {
            running = true;
            kjtest::WriteFileBytes(output, {'n', 'e', 'w'});
            if (percent >= 0) {
                host.PostJoinPercent(percent);
            }
            while (!release && g_stopRequested == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            sawStop = g_stopRequested != 0;
            running = false;
            return sawStop ? 0 : result;
        };
    }
};

std::unique_ptr<MediaFileInfo> Record(const std::string& path, MediaKind kind) {
    auto record = std::make_unique<MediaFileInfo>();
    record->m_strPath = path;
    record->m_nKind = kind;
    record->m_nWidth = 320;
    record->m_nHeight = 240;
    record->m_fDuration = 3.0;
    return record;
}

QString PlayQuestion(const std::string& output) {
    // The stand-in engines say nothing of the inputs' lengths: only the count is told.
    return QStringLiteral(
               "2 files were joined.\n\nVideo file %1 has been created, do u want to play it?")
        .arg(QString::fromStdString(output));
}

}  // namespace

class DlgMainEndTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        SetModuleFolder(kjtest::BinDir());
        m_resources = Module::Load("rvkhelper");
        QVERIFY(m_resources != nullptr);
    }

    void init() {
        m_dir = std::make_unique<kjtest::TempDir>();
        m_dialog = std::make_unique<CDlgMain>();
        QVERIFY(m_dialog->OnInitDialog());
        m_prompter = std::make_unique<TestPrompter>();
        m_engine = std::make_unique<HeldEngine>();
        SetEngineForEveryKind(m_engine->Engine());
    }

    void cleanup() {
        g_stopRequested = 1;
        QTRY_VERIFY(!m_dialog->EngineRunning());
        m_dialog.reset();
        SetEngineForEveryKind(nullptr);
        m_prompter.reset();
        m_dir.reset();
    }

    // ---- the stop question and the end of the job ----

    void aJobEndingWhileTheStopQuestionIsOpenClosesItAndShowsTheEndOnce_data() {
        QTest::addColumn<int>("result");
        QTest::newRow("success") << 1;
        QTest::newRow("failure") << 0;
    }
    void aJobEndingWhileTheStopQuestionIsOpenClosesItAndShowsTheEndOnce() {
        QFETCH(int, result);
        std::string output = StartHeldJob(kKindWmv);
        m_engine->result = result;
        m_prompter->answerYes = true;  // would stop, had the question still meant anything
        m_prompter->whileAsking = [this] {
            m_engine->release = true;
            // The job's end arrives while the question is on screen.
            QTRY_COMPARE(m_prompter->closedQuestions, 1);
        };
        JoinButton()->click();
        QTest::qWait(30);  // nothing more is on its way
        QCOMPARE(m_prompter->closedQuestions, 1);
        QCOMPARE(m_dialog->m_bJoining, 0);
        QVERIFY(!m_engine->sawStop);
        if (result == 1) {
            QCOMPARE(m_prompter->questions,
                     (QStringList{res::String(IDS_STOP_QUESTION), PlayQuestion(output)}));
            QVERIFY(m_prompter->failures.isEmpty());
            QCOMPARE(kjtest::ReadFileBytes(output), (std::vector<uint8_t>{'n', 'e', 'w'}));
        } else {
            QCOMPARE(m_prompter->questions, QStringList{res::String(IDS_STOP_QUESTION)});
            QCOMPARE(m_prompter->failures.size(), 1);
            QVERIFY(!fs::exists(output));
        }
        QVERIFY(JoinButton()->isEnabled());
        QCOMPARE(JoinButton()->text(), QStringLiteral("&Join"));
        QVERIFY(Control(IDC_ADD)->isEnabled());
    }

    void aJobEndingWhileTheCloseQuestionIsOpenShowsItsEndOnceThenCloses() {
        std::string output = StartHeldJob(kKindWmv);
        m_dialog->show();
        m_prompter->whileAsking = [this] {
            m_engine->release = true;
            QTRY_COMPARE(m_prompter->closedQuestions, 1);
        };
        m_dialog->accept();  // the close button
        QCOMPARE(m_prompter->questions,
                 (QStringList{res::String(IDS_STOP_QUESTION), PlayQuestion(output)}));
        QTRY_VERIFY(!m_dialog->isVisible());
        QVERIFY(fs::exists(output));
    }

    void theRealQuestionBoxIsClosedAsNo() {
        WidgetPrompter widgets;
        bool answered = true;
        QTimer::singleShot(20, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            widgets.CloseQuestion();
        });
        answered = widgets.Question(m_dialog.get(), QStringLiteral("Stop?"));
        QVERIFY(!answered);

        // Closing every prompt (the program is asked to end) answers No too, and keeps the
        // main window.
        m_dialog->show();
        answered = true;
        QTimer::singleShot(20, this, [&] { widgets.CloseAll(m_dialog.get()); });
        answered = widgets.Question(m_dialog.get(), QStringLiteral("Play it?"));
        QVERIFY(!answered);
        QVERIFY(m_dialog->isVisible());
    }

    // ---- status line and progress bar ----

    void theStatusLineIsClearedWithTheRowItSpeaksOf() {
        AddRows(3);
        QCOMPARE(m_dialog->StatusText(),
                 QString::fromStdString(m_dialog->RowRecord(2)->FormatInfoLine()));
        m_dialog->List()->topLevelItem(1)->setSelected(true);
        const QString selected = QString::fromStdString(m_dialog->RowRecord(1)->FormatInfoLine());
        QCOMPARE(m_dialog->StatusText(), selected);

        // Another row goes: the row after it is selected, and the line is that row's.
        SelectOnly(0);
        m_dialog->OnRemove();
        QCOMPARE(m_dialog->RowCount(), 2);
        QCOMPARE(m_dialog->SelectedRow(), 0);
        QCOMPARE(m_dialog->StatusText(), selected);

        // The last row goes, and its line with it: the row before it is selected and shown.
        SelectOnly(1);
        m_dialog->OnRemove();
        QCOMPARE(m_dialog->RowCount(), 1);
        QCOMPARE(m_dialog->StatusText(),
                 QString::fromStdString(m_dialog->RowRecord(0)->FormatInfoLine()));

        // A text that belongs to no row stays when a row goes; clearing the list clears it.
        m_dialog->SetStatusText(QStringLiteral("job text"));
        SelectOnly(0);
        m_dialog->OnRemove();
        QCOMPARE(m_dialog->StatusText(), QStringLiteral("job text"));
        AddRows(2);
        QVERIFY(!m_dialog->StatusText().isEmpty());
        m_dialog->OnClear();
        QCOMPARE(m_dialog->StatusText(), QString());
    }

    void theProgressBarStartsEachJobAtZeroAndReturnsThereAfterAFailure() {
        Bar()->setValue(70);  // what an earlier job left
        m_engine->percent = 40;
        AddRows(2, kKindWmv);
        m_prompter->saveAs = QString::fromStdString(m_dir->File("out.wmv"));
        m_dialog->OnJoin();
        QCOMPARE(Bar()->value(), 0);  // at once, before the engine reports
        QTRY_COMPARE(Bar()->value(), 40);
        m_engine->result = 0;
        m_engine->release = true;
        QTRY_COMPARE(m_prompter->failures.size(), 1);
        QCOMPARE(Bar()->value(), 0);

        // A success fills the bar, wherever the engine's last report left it, and the status
        // line names the joined file.
        m_engine->release = false;
        m_engine->result = 1;
        m_engine->percent = 57;
        m_dialog->OnJoin();
        QCOMPARE(Bar()->value(), 0);
        QTRY_COMPARE(Bar()->value(), 57);
        m_engine->release = true;
        QTRY_COMPARE(m_prompter->questions.size(), 1);
        QCOMPARE(Bar()->value(), 100);
        QVERIFY2(m_dialog->StatusText().contains(QString::fromStdString(m_dir->File("out.wmv"))),
                 qPrintable(m_dialog->StatusText()));
        // The keyboard goes on from the list.
        QCOMPARE(m_dialog->focusWidget(), static_cast<QWidget*>(m_dialog->List()));
    }

    void afterAConfirmedStopTheBarIsBackAtZeroAndLateProgressIsNotShown() {
        m_engine->percent = 30;
        StartHeldJob(kKindRealMedia);
        QTRY_COMPARE(Bar()->value(), 30);
        m_prompter->answerYes = true;
        JoinButton()->click();
        QCOMPARE(m_prompter->failures.size(), 1);
        QCOMPARE(Bar()->value(), 0);
        QCOMPARE(m_dialog->StatusText(), res::String(IDS_STOPPED));
        m_dialog->PostJoinPercent(55);  // an ending engine's last report
        QTRY_VERIFY(!m_dialog->EngineRunning());
        QTest::qWait(20);
        QCOMPARE(Bar()->value(), 0);
        QCOMPARE(m_dialog->StatusText(), QStringLiteral("Stopped"));
    }

    // ---- adding files ----

    void filesThatAreNotRecognisedAreNamedInOneMessage() {
        std::string text = m_dir->File("notes.txt");
        kjtest::WriteFileBytes(text, {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'});
        std::string picture = m_dir->File("picture.wmv");  // named like a video, but is not one
        kjtest::WriteFileBytes(picture, std::vector<uint8_t>(200, 0x89));
        std::string good = kjtest::WriteRealMediaSignature(m_dir->File("good.rm"));
        m_prompter->filesToOpen = {QString::fromStdString(text), QString::fromStdString(good),
                                   QString::fromStdString(picture)};
        m_dialog->OnAddFiles();
        QCOMPARE(m_dialog->RowCount(), 1);
        QCOMPARE(m_prompter->messages.size(), 1);
        const QString& message = m_prompter->messages.first();
        QVERIFY2(message.contains(QStringLiteral("not AVI, MPEG, Real Media or WMV/ASF")),
                 qPrintable(message));
        QVERIFY(message.contains(QString::fromStdString(text)));
        QVERIFY(message.contains(QString::fromStdString(picture)));
        QVERIFY(!message.contains(QString::fromStdString(good)));

        // Nothing to say when every file was added.
        m_prompter->messages.clear();
        m_prompter->filesToOpen = {QString::fromStdString(good)};
        m_dialog->OnAddFiles();
        QVERIFY(m_prompter->messages.isEmpty());
    }

    void fileDialogFiltersShowEachPatternOnceAfterAFirstFilterWithAll() {
        const QString open = ConvertFileFilter(QString::fromLatin1(kOpenFilter));
        QCOMPARE(open,
                 QStringLiteral("All Supported Media Files (*.avi *.divx *.mpg *.mpeg *.mpe *.m1v "
                                "*.m2v *.m1p *.m2p *.mpv *.mod *.dat *.vob *.rm *.rmvb *.rv *.ra "
                                "*.wmv *.asf *.wma);;AVI Files (*.avi *.divx);;Mpeg Files (*.mpg "
                                "*.mpeg *.mpe *.m1v *.m2v *.m1p *.m2p *.mpv *.mod *.dat *.vob);;"
                                "Real Media (*.rm *.rmvb *.rv *.ra);;Windows Media (*.wmv *.asf "
                                "*.wma);;All Files (*)"));
        const QString save = ConvertFileFilter(QString::fromLatin1(kSaveFilter));
        QCOMPARE(save, open);  // a Real Media join may be saved as .rmvb
        // A list without an all-files filter gets one in front; one that misses a pattern is
        // completed.
        QCOMPARE(ConvertFileFilter(QStringLiteral("A (*.a)|*.a|B|*.b;*.c||")),
                 QStringLiteral("All Supported Media Files (*.a *.b *.c);;A (*.a);;B (*.b *.c)"));
        QCOMPARE(ConvertFileFilter(QStringLiteral("All|*.a|A|*.a|B|*.b||")),
                 QStringLiteral("All (*.a *.b);;A (*.a);;B (*.b)"));
    }

    // ---- dialogs over the window ----

    void theFailureDialogAndTheAboutBoxOpenCentredOnTheWindow() {
        m_dialog->show();
        m_dialog->move(300, 200);
        QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
        const QPoint centre = m_dialog->frameGeometry().center();
        auto expectCentred = [&](QWidget* shown) {
            QVERIFY(shown != nullptr);
            QPoint at = shown->frameGeometry().center();
            QVERIFY2((at - centre).manhattanLength() <= 24,
                     qPrintable(QStringLiteral("at %1,%2; the window's centre %3,%4")
                                    .arg(at.x())
                                    .arg(at.y())
                                    .arg(centre.x())
                                    .arg(centre.y())));
        };
        QString version;
        QTimer::singleShot(50, this, [&] {
            QWidget* about = QApplication::activeModalWidget();
            expectCentred(about);
            if (auto* label = about->findChild<QLabel*>(QString::number(IDC_ABOUT_VERSION))) {
                version = label->text();
            }
            about->close();
        });
        m_dialog->OnCommand(ID_ABOUT);
        QCOMPARE(version, QStringLiteral("Version %1").arg(QString::fromLatin1(KJ_VERSION)));

        WidgetPrompter widgets;
        QTimer::singleShot(50, this, [&] {
            QWidget* failure = QApplication::activeModalWidget();
            expectCentred(failure);
            failure->close();
        });
        widgets.JoinFailed(m_dialog.get(), QStringLiteral("why"));
    }

    // ---- the keyboard ----

    void tabGoesAlongTheWindowAndMnemonicsPressTheButtons() {
        QStringList order;
        QWidget* first = m_dialog->findChild<QWidget*>(QString::number(IDC_LIST));
        QWidget* widget = first;
        do {
            if (widget->focusPolicy() & Qt::TabFocus && widget->window() == m_dialog.get() &&
                !widget->objectName().isEmpty() && widget->objectName()[0].isDigit()) {
                order << widget->objectName();
            }
            widget = widget->nextInFocusChain();
        } while (widget != first && order.size() < 40);
        // The list, then its buttons: after the join button, Tab comes back to the list. The
        // title bar's buttons take no focus (F10 opens the menu).
        QCOMPARE(order, (QStringList{"1001", "1004", "1005", "1006", "1007", "1047", "1008", "1009",
                                     "1010", "1011"}));
        QCOMPARE(Control(IDC_HOMEPAGE)->focusPolicy(), Qt::NoFocus);
        QCOMPARE(Control(IDC_STATUS)->focusPolicy(), Qt::NoFocus);

        m_dialog->show();
        QApplication::setActiveWindow(m_dialog.get());
        QVERIFY(QTest::qWaitForWindowActive(m_dialog.get()));
        // A mnemonic presses its button as a click does, a moment later.
        QTest::keyClick(m_dialog.get(), Qt::Key_A, Qt::AltModifier);
        QTRY_COMPARE(m_prompter->openFilters.size(), 1);  // Add
        QTest::keyClick(m_dialog.get(), Qt::Key_J, Qt::AltModifier);
        QTRY_COMPARE(m_prompter->messages, QStringList{res::String(IDS_TOO_FEW_FILES)});  // Join
        AddRows(2);
        m_dialog->List()->topLevelItem(0)->setSelected(true);
        QTest::keyClick(m_dialog.get(), Qt::Key_R, Qt::AltModifier);
        QTRY_COMPARE(m_dialog->RowCount(), 1);  // Remove
        QTest::keyClick(m_dialog.get(), Qt::Key_C, Qt::AltModifier);
        QTRY_COMPARE(m_dialog->RowCount(), 0);  // Clear
    }

    void aButtonReachedByTabShowsItsFocus() {
        m_dialog->show();
        QApplication::setActiveWindow(m_dialog.get());
        QVERIFY(QTest::qWaitForWindowActive(m_dialog.get()));
        for (int id : {IDC_ADD, IDC_MOVE_UP}) {
            auto* button = Control(id);
            m_dialog->List()->setFocus(Qt::OtherFocusReason);
            QTRY_VERIFY(m_dialog->List()->hasFocus());
            QImage without = button->grab().toImage();
            button->setFocus(Qt::TabFocusReason);
            QTRY_VERIFY(button->hasFocus());
            QImage with = button->grab().toImage();
            QVERIFY2(with != without, qPrintable(QString::number(id)));
            // A click gives the focus without the frame, as on the desktop it is modelled on.
            m_dialog->List()->setFocus(Qt::OtherFocusReason);
            button->setFocus(Qt::MouseFocusReason);
            QTRY_VERIFY(button->hasFocus());
            QCOMPARE(button->grab().toImage(), without);
        }
        // The list shows its focus too.
        Control(IDC_ADD)->setFocus(Qt::TabFocusReason);
        QImage listWithout = m_dialog->List()->grab().toImage();
        m_dialog->List()->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(m_dialog->List()->hasFocus());
        QVERIFY(m_dialog->List()->grab().toImage() != listWithout);
    }

    // ---- asked to end ----

    void aTerminationRequestDuringAJoinStopsItRemovesItsOutputAndCloses() {
        StopSignals stops;
        connect(&stops, &StopSignals::Received, m_dialog.get(), &CDlgMain::OnStopSignal);
        std::string output = m_dir->File("old.wmv");
        kjtest::WriteFileBytes(output, {'o', 'l', 'd'});
        m_prompter->saveAs = QString::fromStdString(output);
        AddRows(2, kKindWmv);
        m_dialog->show();
        m_dialog->OnJoin();
        QTRY_VERIFY(m_engine->running);
        ::raise(SIGTERM);
        QTRY_VERIFY(!m_dialog->isVisible());
        QCOMPARE(m_dialog->StopSignal(), SIGTERM);
        QVERIFY(m_engine->sawStop);
        QVERIFY(!m_dialog->EngineRunning());
        QCOMPARE(m_prompter->closeAllCalls, 1);
        QVERIFY(m_prompter->failures.isEmpty());  // nobody is left to read it
        QVERIFY(m_prompter->questions.isEmpty());
        QCOMPARE(kjtest::ReadFileBytes(output), (std::vector<uint8_t>{'o', 'l', 'd'}));
        std::vector<std::string> expected = {"in0.wmv", "in1.wmv", "old.wmv"};
        QCOMPARE(kjtest::Listing(m_dir->path()), expected);
    }

    void aTerminationRequestClosesAnOpenQuestionAndAnIdleWindow() {
        StopSignals stops;
        connect(&stops, &StopSignals::Received, m_dialog.get(), &CDlgMain::OnStopSignal);
        StartHeldJob(kKindWmv);
        m_dialog->show();
        m_prompter->answerYes = false;
        m_prompter->whileAsking = [this] {
            ::raise(SIGHUP);
            QTRY_COMPARE(m_prompter->closedQuestions, 1);
        };
        JoinButton()->click();
        QTRY_VERIFY(!m_dialog->isVisible());
        QCOMPARE(m_dialog->StopSignal(), SIGHUP);
        QVERIFY(m_engine->sawStop);

        // With no job the window simply closes.
        CDlgMain idle;
        QVERIFY(idle.OnInitDialog());
        StopSignals again;
        connect(&again, &StopSignals::Received, &idle, &CDlgMain::OnStopSignal);
        idle.show();
        ::raise(SIGTERM);
        QTRY_VERIFY(!idle.isVisible());
        QCOMPARE(idle.StopSignal(), SIGTERM);
    }

    void kjoinerAskedToEndExitsNonZero() {
        kjtest::CommandResult r = kjtest::RunCommand(
            "(QT_QPA_PLATFORM=offscreen " + kjtest::ShellQuote(kjtest::BinDir() + "/kjoiner") +
            " & pid=$!; sleep 1; kill -TERM $pid; wait $pid)");
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(QString::fromStdString(r.output).contains(QStringLiteral("ended by signal 15")),
                 r.output.c_str());
    }

private:
    // Selects one row without the selection's own effect on the status line.
    void SelectOnly(int row) {
        QSignalBlocker block(m_dialog->List());
        m_dialog->List()->clearSelection();
        m_dialog->List()->topLevelItem(row)->setSelected(true);
    }
    void AddRows(int count, MediaKind kind = kKindRealMedia) {
        const char* ext = kind == kKindWmv ? ".wmv" : ".rm";
        int start = m_dialog->RowCount();
        for (int i = start; i < start + count; ++i) {
            std::string path = m_dir->File("in" + std::to_string(i) + ext);
            kjtest::WriteFileBytes(path, {'i', 'n'});
            m_dialog->InsertRow(Record(path, kind), i);
        }
    }
    // Two rows, and a join of them that runs until released; returns the output path.
    std::string StartHeldJob(MediaKind kind) {
        AddRows(2, kind);
        std::string output = m_dir->File("out.wmv");
        m_prompter->saveAs = QString::fromStdString(output);
        m_dialog->OnJoin();
        [&] { QTRY_VERIFY(m_engine->running); }();
        return output;
    }
    QAbstractButton* Control(int id) {
        return m_dialog->findChild<QAbstractButton*>(QString::number(id));
    }
    CBkButton* JoinButton() { return m_dialog->findChild<CBkButton*>(QString::number(IDC_JOIN)); }
    CBkProgressCtrl* Bar() {
        return m_dialog->findChild<CBkProgressCtrl*>(QString::number(IDC_PROGRESS));
    }

    std::unique_ptr<Module> m_resources;
    std::unique_ptr<kjtest::TempDir> m_dir;
    std::unique_ptr<CDlgMain> m_dialog;
    std::unique_ptr<TestPrompter> m_prompter;
    std::unique_ptr<HeldEngine> m_engine;
};

QTEST_MAIN(DlgMainEndTest)
#include "dlg_main_end_test.moc"
