// Runs the join job of the main window with stand-in engines behind the engine seam: the
// checks, the output name, the worker thread, progress, the end of a job, stopping it, and the
// promise that nothing at the output path is lost.
#include <QAbstractButton>
#include <QProgressBar>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "app/dlg_main.h"
#include "job/job_state.h"
#include "job/join_job.h"
#include "kinds/join_engines.h"
#include "platform/module.h"
#include "res/resource_ids.h"
#include "res/resources.h"
#include "rmjoin/rm_join.h"
#include "skin/bk_button.h"
#include "skin/bk_progress_ctrl.h"
#include "tests/app/test_prompter.h"
#include "tests/support/media_fixtures.h"

namespace fs = std::filesystem;

namespace {

// An engine that writes `payload`, reports progress, and can be held until released or stopped.
struct StandInEngine {
    std::string payload = "joined";
    int result = 1;
    std::string errorText;
    int percentToPost = -1;
    int progressToPost = -1;
    bool holdUntilStopped = false;
    bool pumpWhileHeld = false;  // as the AVI engine does on the user-interface thread
    std::atomic<int> calls{0};
    std::atomic<bool> running{false};
    std::atomic<bool> sawStop{false};
    std::thread::id thread;
    std::string lastOutput;

    JoinEngine Engine() {
        return [this](JoinHost& host, const std::string& output) {
            ++calls;
            running = true;
            thread = std::this_thread::get_id();
            lastOutput = output;
            kjtest::WriteFileBytes(output, std::vector<uint8_t>(payload.begin(), payload.end()));
            if (percentToPost >= 0) {
                host.PostJoinPercent(percentToPost);
            }
            if (progressToPost >= 0) {
                std::lock_guard<std::mutex> lock(g_jobLock);
                g_statusText = "Video Frame: 10/40";
                host.PostJoinProgress(progressToPost);
            }
            while (holdUntilStopped && g_stopRequested == 0) {
                if (pumpWhileHeld) {
                    host.PumpMessages();
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            sawStop = g_stopRequested != 0;
            if (!errorText.empty()) {
                g_errorText = errorText;
            }
            running = false;
            return sawStop ? 0 : result;
        };
    }
};

std::unique_ptr<MediaFileInfo> Record(const std::string& path, MediaKind kind, int width = 320,
                                      int height = 240) {
    auto record = std::make_unique<MediaFileInfo>();
    record->m_strPath = path;
    record->m_nKind = kind;
    record->m_nWidth = width;
    record->m_nHeight = height;
    return record;
}

bool TempFilesLeft(const std::string& folder) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().find(".kjpart-") != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

class JoinJobTest : public QObject {
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
        m_engine = std::make_unique<StandInEngine>();
        SetEngineForEveryKind(m_engine->Engine());
    }

    void cleanup() {
        g_stopRequested = 1;  // never leave a held engine behind
        QTRY_VERIFY(!m_dialog->EngineRunning());
        m_dialog.reset();
        SetEngineForEveryKind(nullptr);
        m_prompter.reset();
        m_dir.reset();
    }

    void proposedNames() {
        QCOMPARE(ProposedJoinName("C:\\v\\a.b.avi"), std::string("C:\\v\\a.b_join.avi"));
        QCOMPARE(ProposedJoinName("/v/clip.wmv"), std::string("/v/clip_join.wmv"));
        QCOMPARE(ProposedJoinName("/v/clip"), std::string("/v/clip_join"));
        QCOMPARE(ProposedJoinName("/v.d/clip"), std::string("/v.d/clip_join"));
        QCOMPARE(ProposedExtension("/v/clip.wmv"), std::string("wmv"));
        QCOMPARE(ProposedExtension("/v.d/clip"), std::string());
    }

    void listsThatCannotBeJoinedAreRefusedBeforeAnyDialog_data() {
        QTest::addColumn<QList<int>>("kinds");
        QTest::addColumn<int>("zeroHeightRow");
        QTest::addColumn<int>("message");
        // After the designed text, every odd row is named.
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("one row") << QList<int>{kKindWmv} << -1 << IDS_TOO_FEW_FILES
                                 << QStringList{};
        QTest::newRow("no rows") << QList<int>{} << -1 << IDS_TOO_FEW_FILES << QStringList{};
        QTest::newRow("zero height")
            << QList<int>{kKindWmv, kKindWmv} << 1 << IDS_ZERO_GEOMETRY
            << QStringList{"in1.x: picture size 320x0, the first file has 320x240"};
        QTest::newRow("mixed kinds")
            << QList<int>{kKindAvi, kKindAvi, kKindMpeg} << -1 << IDS_MIXED_KINDS
            << QStringList{"in2.x: kind MPEG, the first file has AVI"};
        QTest::newRow("first failing row decides")
            << QList<int>{kKindAvi, kKindMpeg, kKindAvi} << 2 << IDS_MIXED_KINDS
            << QStringList{"in1.x: kind MPEG, the first file has AVI",
                           "in2.x: picture size 320x0, the first file has 320x240"};
    }

    void listsThatCannotBeJoinedAreRefusedBeforeAnyDialog() {
        QFETCH(QList<int>, kinds);
        QFETCH(int, zeroHeightRow);
        QFETCH(int, message);
        for (int i = 0; i < kinds.size(); ++i) {
            m_dialog->InsertRow(Record(m_dir->File("in" + std::to_string(i) + ".x"), kinds[i], 320,
                                       i == zeroHeightRow ? 0 : 240),
                                i);
        }
        QFETCH(QStringList, lines);
        m_dialog->OnJoin();
        QString expected = res::String(message);
        for (const QString& line : lines) {
            expected += (expected.endsWith(QLatin1Char('\n')) ? "" : "\n") + line;
        }
        QCOMPARE(m_prompter->messages, QStringList{expected});
        QVERIFY(!res::String(message).isEmpty());
        QVERIFY(m_prompter->proposedNames.isEmpty());
        QCOMPARE(m_engine->calls.load(), 0);
    }

    void successOnAWorkerThreadMovesTheBarAndOffersToPlay() {
        AddInputs(kKindWmv);
        m_engine->percentToPost = 150;
        m_engine->holdUntilStopped = false;
        std::string output = m_dir->File("out.wmv");
        m_prompter->saveAs = QString::fromStdString(output);
        m_prompter->answerYes = true;
        m_dialog->OnJoin();
        QCOMPARE(m_prompter->proposedNames,
                 QStringList{QString::fromStdString(m_dir->File("in0_join.wmv"))});
        QCOMPARE(m_prompter->suffixes, QStringList{QStringLiteral("wmv")});
        QTRY_VERIFY(!m_dialog->EngineRunning());
        QTRY_COMPARE(m_prompter->questions.size(), 1);
        QVERIFY(m_engine->thread != std::this_thread::get_id());
        QCOMPARE(m_prompter->questions.first(),
                 QStringLiteral("2 files were joined.\n\nVideo file %1 has been created, do u "
                                "want to play it?")
                     .arg(QString::fromStdString(output)));
        QCOMPARE(m_prompter->opened, QStringList{QString::fromStdString(output)});
        QCOMPARE(Bar()->value(), 100);  // 150 clamped
        QCOMPARE(kjtest::ReadFileBytes(output).size(), m_engine->payload.size());
        QVERIFY(m_engine->lastOutput != output);  // the engine wrote a temporary file
        QVERIFY(!TempFilesLeft(m_dir->path()));
        QVERIFY(JoinButton()->isEnabled());
        QCOMPARE(JoinButton()->text(), QStringLiteral("&Join"));
        QVERIFY(Control(IDC_ADD)->isEnabled());
    }

    void progressMessageShowsTheStatusText() {
        AddInputs(kKindMpeg);
        m_engine->progressToPost = 25;
        m_engine->holdUntilStopped = true;
        m_prompter->saveAs = QString::fromStdString(m_dir->File("out.mpg"));
        m_dialog->OnJoin();
        QTRY_COMPARE(Bar()->value(), 25);
        QTRY_COMPARE(m_dialog->StatusText(), QStringLiteral("Video Frame: 10/40"));
        QCOMPARE(JoinButton()->text(), QStringLiteral("&Stop"));
        for (int id : {IDC_ADD, IDC_REMOVE, IDC_CLEAR, IDC_PLAY, IDC_MOVE_UP, IDC_MOVE_DOWN,
                       IDC_MOVE_TOP, IDC_MOVE_BOTTOM}) {
            QVERIFY2(!Control(id)->isEnabled(), qPrintable(QString::number(id)));
        }
        QVERIFY(JoinButton()->isEnabled());
    }

    void failureShowsTheReasonAndKeepsTheFileThatWasThere() {
        AddInputs(kKindRealMedia);
        std::string output = m_dir->File("existing.rm");
        kjtest::WriteFileBytes(output, {'o', 'l', 'd'});
        m_engine->result = 0;
        m_engine->errorText = "The video stream of the source files are mismatch";
        m_prompter->saveAs = QString::fromStdString(output);
        m_dialog->OnJoin();
        QTRY_COMPARE(m_prompter->failures.size(), 1);
        QCOMPARE(m_prompter->failures.first(),
                 QStringLiteral("The video stream of the source files are mismatch"));
        QVERIFY(m_prompter->questions.isEmpty());
        QCOMPARE(kjtest::ReadFileBytes(output), (std::vector<uint8_t>{'o', 'l', 'd'}));
        QVERIFY(!TempFilesLeft(m_dir->path()));
    }

    void stopAnsweredNoLetsTheJobGoOn() {
        AddInputs(kKindWmv);
        m_engine->holdUntilStopped = true;
        m_prompter->saveAs = QString::fromStdString(m_dir->File("out.wmv"));
        m_dialog->OnJoin();
        QTRY_VERIFY(m_engine->running);
        m_prompter->answerYes = false;
        JoinButton()->click();
        QCOMPARE(m_prompter->questions, QStringList{res::String(IDS_STOP_QUESTION)});
        QCOMPARE(m_dialog->m_bJoining, 1);
        QVERIFY(m_engine->running);
        QVERIFY(!Control(IDC_ADD)->isEnabled());
    }

    void stopAnsweredYesEndsAtOnceLosesNothingAndTheNextJobRuns() {
        AddInputs(kKindWmv);
        std::string output = m_dir->File("keep.wmv");
        kjtest::WriteFileBytes(output, {'k', 'e', 'e', 'p'});
        m_engine->holdUntilStopped = true;
        m_prompter->saveAs = QString::fromStdString(output);
        m_dialog->OnJoin();
        QTRY_VERIFY(m_engine->running);
        m_prompter->answerYes = true;
        JoinButton()->click();
        // Controls are back at once and the failure dialog says why.
        QCOMPARE(m_dialog->m_bJoining, 0);
        QVERIFY(Control(IDC_ADD)->isEnabled());
        QCOMPARE(m_prompter->failures.size(), 1);
        QVERIFY(m_prompter->failures.first().contains(QStringLiteral("stopped by the user")));
        // The late end of the stopped engine shows nothing more.
        QTRY_VERIFY(!m_dialog->EngineRunning());
        QTest::qWait(20);
        QCOMPARE(m_prompter->failures.size(), 1);
        QCOMPARE(m_prompter->questions.size(), 1);
        QVERIFY(m_engine->sawStop);
        QCOMPARE(kjtest::ReadFileBytes(output), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
        QVERIFY(!TempFilesLeft(m_dir->path()));
        QVERIFY(JoinButton()->isEnabled());

        // The next job runs normally: the stop request is cleared when a job starts.
        m_engine->holdUntilStopped = false;
        m_prompter->answerYes = false;
        m_dialog->OnJoin();
        QTRY_COMPARE(m_prompter->questions.size(), 2);
        QCOMPARE(m_engine->calls.load(), 2);
        QCOMPARE(kjtest::ReadFileBytes(output).size(), m_engine->payload.size());
    }

    void aviJobRunsOnTheUserInterfaceThreadAndStillAnswersTheJoinButton() {
        AddInputs(kKindAvi);
        m_engine->holdUntilStopped = true;
        m_engine->pumpWhileHeld = true;
        m_prompter->saveAs = QString::fromStdString(m_dir->File("out.avi"));
        m_prompter->answerYes = true;
        bool pressedDuringJob = false;
        QTimer::singleShot(50, this, [&] {
            pressedDuringJob = m_engine->running;
            JoinButton()->click();
        });
        m_dialog->OnJoin();  // returns when the engine has ended
        QVERIFY(pressedDuringJob);
        QCOMPARE(m_engine->thread, std::this_thread::get_id());
        QVERIFY(m_engine->sawStop);
        QCOMPARE(m_prompter->questions, QStringList{res::String(IDS_STOP_QUESTION)});
        QCOMPARE(m_prompter->failures.size(), 1);
        QTRY_VERIFY(!m_dialog->EngineRunning());
        QVERIFY(!fs::exists(m_dir->File("out.avi")));
    }

    void theWindowClosedDuringAJobStopsItFirst() {
        AddInputs(kKindWmv);
        m_engine->holdUntilStopped = true;
        m_prompter->saveAs = QString::fromStdString(m_dir->File("out.wmv"));
        m_dialog->show();
        m_dialog->OnJoin();
        QTRY_VERIFY(m_engine->running);
        m_prompter->answerYes = true;
        m_dialog->accept();  // the close button
        QCOMPARE(m_prompter->questions, QStringList{res::String(IDS_STOP_QUESTION)});
        QTRY_VERIFY(!m_dialog->isVisible());
        QCOMPARE(m_dialog->result(), int(QDialog::Accepted));
        QVERIFY(!m_dialog->EngineRunning());
        QVERIFY(!TempFilesLeft(m_dir->path()));
    }

    void closingAnsweredNoKeepsTheWindowAndTheJob() {
        AddInputs(kKindWmv);
        m_engine->holdUntilStopped = true;
        m_prompter->saveAs = QString::fromStdString(m_dir->File("out.wmv"));
        m_dialog->show();
        m_dialog->OnJoin();
        QTRY_VERIFY(m_engine->running);
        m_prompter->answerYes = false;
        m_dialog->accept();
        QVERIFY(m_dialog->isVisible());
        QVERIFY(m_engine->running);
        QTest::keyClick(m_dialog.get(), Qt::Key_Escape);  // ignored while joining
        QVERIFY(m_dialog->isVisible());
        QCOMPARE(m_prompter->questions.size(), 1);
    }

    void anOutputThatIsAnInputIsRefused() {
        AddInputs(kKindWmv);
        std::string input = m_dialog->RowRecord(1)->m_strPath;
        // The same file spelled another way.
        std::string spelled = m_dir->path() + "/./" + fs::path(input).filename().string();
        m_prompter->saveAs = QString::fromStdString(spelled);
        m_dialog->OnJoin();
        QCOMPARE(m_prompter->messages.size(), 1);
        QVERIFY(m_prompter->messages.first().contains(QStringLiteral("input file No.2")));
        QCOMPARE(m_engine->calls.load(), 0);
        QCOMPARE(m_dialog->m_bJoining, 0);
        QCOMPARE(kjtest::ReadFileBytes(input), (std::vector<uint8_t>{'i', 'n'}));
    }

    void anOutputFolderThatCannotBeWrittenFailsClearly() {
        AddInputs(kKindWmv);
        m_prompter->saveAs = QString::fromStdString(m_dir->File("missing-folder/out.wmv"));
        m_dialog->OnJoin();
        QTRY_COMPARE(m_prompter->failures.size(), 1);
        QVERIFY(
            m_prompter->failures.first().startsWith(QStringLiteral("Cannot write in the folder")));
        QCOMPARE(m_engine->calls.load(), 0);
    }

    void realMediaNotificationsMoveTheBarOnMultiplesOfThree() {
        RmNotifyStart(*m_dialog);
        QCOMPARE(Bar()->value(), 0);
        QCOMPARE(m_dialog->StatusText(), QStringLiteral("Starting..."));
        RmNotifyProgress(*m_dialog, 1);
        RmNotifyProgress(*m_dialog, 2);
        QCOMPARE(Bar()->value(), 0);
        QCOMPARE(m_dialog->StatusText(), QStringLiteral("Starting..."));
        RmNotifyProgress(*m_dialog, 3);
        QCOMPARE(Bar()->value(), 3);
        QCOMPARE(m_dialog->StatusText(), QStringLiteral("3 of the video has been joined..."));
        RmNotifyComplete(*m_dialog);
        QCOMPARE(Bar()->value(), 100);
        QCOMPARE(m_dialog->StatusText(), QStringLiteral("Mission Completed..."));
    }

private:
    void AddInputs(MediaKind kind) {
        for (int i = 0; i < 2; ++i) {
            std::string path = m_dir->File("in" + std::to_string(i) + ".x");
            kjtest::WriteFileBytes(path, {'i', 'n'});
            if (i == 0) {
                // Name the first input with its kind's extension, for the proposed name.
                const char* ext[] = {".avi", ".mpg", ".mpg", ".rm", ".wmv"};
                std::string named = m_dir->File(std::string("in0") + ext[kind]);
                fs::rename(path, named);
                path = named;
            }
            m_dialog->InsertRow(Record(path, kind), i);
        }
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
    std::unique_ptr<StandInEngine> m_engine;
};

QTEST_MAIN(JoinJobTest)
#include "join_job_test.moc"
