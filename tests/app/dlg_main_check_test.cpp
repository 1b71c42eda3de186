// The window's side of the list check: marks and tooltips on odd rows as rows are added and
// moved, files added together in natural order, Enter and Escape, the file filters, playing
// with no player, the end question's count and length, and the menu's input markers.
#include <QAbstractButton>
#include <QScreen>
#include <QToolTip>
#include <QTreeWidget>
#include <QtTest>
#include <atomic>
#include <memory>
#include <thread>

#include "app/app_settings.h"
#include "app/dlg_main.h"
#include "app/join_list_item.h"
#include "app/prompter.h"
#include "app/row_marks.h"
#include "job/job_state.h"
#include "kinds/join_engines.h"
#include "mcljoin/mcl_api.h"
#include "platform/module.h"
#include "res/resource_ids.h"
#include "res/resources.h"
#include "tests/app/test_prompter.h"
#include "tests/support/media_fixtures.h"

class DlgMainCheckTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        SetModuleFolder(kjtest::BinDir());
        m_resources = Module::Load("rvkhelper");
        QVERIFY(m_resources != nullptr);
        auto make = [this](const char* size, int audioRate, const char* name) {
            std::string args = std::string("-f lavfi -i testsrc=size=") + size +
                               ":rate=25 -f lavfi -i sine=r=" + std::to_string(audioRate) +
                               " -t 2 -ac 2 -c:v wmv2 -c:a wmav2";
            QVERIFY2(kjtest::MakeWithFfmpeg(args, m_dir.File(name)), name);
        };
        make("320x240", 44100, "part2.wmv");
        make("320x240", 44100, "part10.wmv");
        make("640x480", 44100, "big.wmv");
        make("320x240", 22050, "low.wmv");
    }

    void init() {
        m_prompter = std::make_unique<TestPrompter>();
        m_dialog = std::make_unique<CDlgMain>();
        QVERIFY(m_dialog->OnInitDialog());
    }
    void cleanup() {
        m_dialog.reset();
        m_prompter.reset();
    }

    void oddRowsAreMarkedAsTheyAreAddedAndWhenTheFirstRowChanges() {
        for (const char* name : {"part2.wmv", "big.wmv", "part10.wmv", "low.wmv"}) {
            QVERIFY(m_dialog->AddFile(File(name)));
        }
        QCOMPARE(Marks(), (QStringList{"", "refuses", "", "refuses"}));
        QCOMPARE(Tip(1), QStringLiteral("picture size 640x480, the first file has 320x240"));
        QCOMPARE(Tip(3), QStringLiteral("sample rate 22050 Hz, the first file has 44100 Hz"));
        QCOMPARE(m_dialog->List()->topLevelItem(1)->toolTip(4), Tip(1));  // every column
        QCOMPARE(m_dialog->List()->topLevelItem(1)->toolTip(0), File("big.wmv") + "\n" + Tip(1));
        QVERIFY(!static_cast<JoinListItem*>(m_dialog->List()->topLevelItem(1))->Mark().isNull());
        QVERIFY(static_cast<JoinListItem*>(m_dialog->List()->topLevelItem(0))->Mark().isNull());
        QVERIFY(Tip(0).isEmpty());

        // The big file moved to the top: now every other row differs from it.
        m_dialog->List()->topLevelItem(1)->setSelected(true);
        m_dialog->OnMoveTop();
        QCOMPARE(Marks(), (QStringList{"", "refuses", "refuses", "refuses"}));
        QCOMPARE(Tip(1), QStringLiteral("picture size 320x240, the first file has 640x480"));
        QCOMPARE(Tip(3), QStringLiteral("picture size 320x240, the first file has 640x480; sample "
                                        "rate 22050 Hz, the first file has 44100 Hz"));

        // Removing it leaves only the low one odd.
        m_dialog->List()->clearSelection();
        m_dialog->List()->topLevelItem(0)->setSelected(true);
        m_dialog->OnRemove();
        QCOMPARE(Marks(), (QStringList{"", "", "refuses"}));
    }

    void anOddAviRowIsMarkedAsConvertedToMatchTheFirstAndTheOthersAreNot() {
        auto make = [this](const char* size, const char* name) {
            std::string args = std::string("-f lavfi -i testsrc=size=") + size +
                               ":rate=25 -t 1 -c:v mpeg4 -vtag XVID -f avi";
            QVERIFY2(kjtest::MakeWithFfmpeg(args, m_dir.File(name)), name);
        };
        make("320x240", "one.avi");
        make("320x180", "wide.avi");
        make("320x240", "two.avi");
        // AVI rows are filled by the conversion module's scan, as in the program.
        std::unique_ptr<Module> conversion = Module::Load("zivuvore");
        QVERIFY(conversion != nullptr);
        LoadMclApi(conversion.get());
        for (const char* name : {"one.avi", "wide.avi", "two.avi"}) {
            QVERIFY(m_dialog->AddFile(File(name)));
        }
        LoadMclApi(nullptr);
        QCOMPARE(Tip(1), QStringLiteral("picture size 320x180, the first file has 320x240: will "
                                        "be converted to match the first file"));
        QCOMPARE(Marks(), (QStringList{"", "reencode", ""}));
        QVERIFY(Tip(2).isEmpty());
    }

    void aListThatWouldBeRefusedIsRefusedBeforeTheSaveQuestion() {
        for (const char* name : {"part2.wmv", "big.wmv", "low.wmv"}) {
            QVERIFY(m_dialog->AddFile(File(name)));
        }
        m_prompter->saveAs = File("refused.wmv");
        m_dialog->OnJoin();
        QVERIFY(m_prompter->proposedNames.isEmpty());  // no save question was asked
        QCOMPARE(m_dialog->m_bJoining, 0);
        QVERIFY(m_prompter->failures.isEmpty());
        QCOMPARE(m_prompter->messages.size(), 1);
        const QString reason = m_prompter->messages.first();
        int designed = reason.indexOf("File No.2's profile mismatch with the first one");
        int big = reason.indexOf("big.wmv: picture size 640x480, the first file has 320x240");
        int low = reason.indexOf("low.wmv: sample rate 22050 Hz, the first file has 44100 Hz");
        QVERIFY2(designed >= 0 && big > designed && low > big, qPrintable(reason));
        QVERIFY(!QFile::exists(File("refused.wmv")));
    }

    void aListThatDiffersOnlyInTheSecondFileNamesItsNumber() {
        for (const char* name : {"part2.wmv", "part10.wmv", "low.wmv"}) {
            QVERIFY(m_dialog->AddFile(File(name)));
        }
        m_dialog->OnJoin();
        QVERIFY(m_prompter->proposedNames.isEmpty());
        QCOMPARE(m_prompter->messages.size(), 1);
        QVERIFY2(m_prompter->messages.first().startsWith(
                     "File No.3's profile mismatch with the first one"),
                 qPrintable(m_prompter->messages.first()));
        QVERIFY(!m_prompter->messages.first().contains("part10.wmv"));
    }

    void filesPickedOrDroppedTogetherComeInNaturalOrder() {
        m_prompter->filesToOpen = {File("part10.wmv"), File("part2.wmv")};
        m_dialog->OnAddFiles();
        QCOMPARE(m_dialog->RowCount(), 2);
        QCOMPARE(QString::fromStdString(m_dialog->RowRecord(0)->m_strPath), File("part2.wmv"));
        QCOMPARE(QString::fromStdString(m_dialog->RowRecord(1)->m_strPath), File("part10.wmv"));
        // One at a time, they stay in the order they came.
        m_dialog->AddFile(File("part2.wmv"));
        QCOMPARE(QString::fromStdString(m_dialog->RowRecord(2)->m_strPath), File("part2.wmv"));
    }

    void enterPressesTheFocusedButtonAndNeverClosesTheWindow() {
        m_dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
        m_dialog->AddFile(File("part2.wmv"));
        m_dialog->AddFile(File("big.wmv"));
        auto* clear = m_dialog->findChild<QAbstractButton*>(QString::number(IDC_CLEAR));
        QVERIFY(clear != nullptr);
        clear->setFocus();
        QTest::keyClick(m_dialog.get(), Qt::Key_Return);
        QVERIFY(m_dialog->isVisible());
        QCOMPARE(m_dialog->RowCount(), 0);  // the clear button was pressed
        QTest::keyClick(m_dialog.get(), Qt::Key_Escape);
        QVERIFY(m_dialog->isVisible());
        QCOMPARE(m_dialog->result(), 0);
    }

    void filtersNameEveryExtensionTheProbeTakes() {
        const QString open = ConvertFileFilter(QString::fromLatin1(kOpenFilter));
        const QString all = open.section(QStringLiteral(";;"), 0, 0);
        for (const char* ext : {"avi", "mpg", "mpeg", "mpe", "m1v", "m2v", "dat", "vob", "rm",
                                "rmvb", "rv", "ra", "wmv", "asf", "wma"}) {
            QVERIFY2(all.contains(QStringLiteral(" *.%1").arg(ext)) ||
                         all.contains(QStringLiteral("(*.%1").arg(ext)),
                     ext);
        }
        QCOMPARE(ConvertFileFilter(QString::fromLatin1(kSaveFilter)), open);
        m_dialog->OnAddFiles();
        QCOMPARE(m_prompter->openFilters, QStringList{QString::fromLatin1(kOpenFilter)});
    }

    void playingWithNoPlayerSaysSo() {
        m_dialog->AddFile(File("part2.wmv"));
        m_dialog->List()->topLevelItem(0)->setSelected(true);
        m_prompter->hasPlayer = false;
        m_dialog->OnPlay();
        QCOMPARE(m_prompter->messages.size(), 1);
        QVERIFY(m_prompter->messages.first().startsWith(
            QStringLiteral("No program is set to play %1").arg(File("part2.wmv"))));
        QVERIFY(m_prompter->opened.isEmpty());

        // The window's own prompter asks the desktop: with no opener at all there is no player.
        QByteArray path = qgetenv("PATH");
        qputenv("PATH", m_dir.path().c_str());
        bool has = HasPlayerFor(File("part2.wmv"));
        qputenv("PATH", path);
        QVERIFY(!has);
    }

    void theEndQuestionTellsHowManyFilesAndHowLongAndTheMenuMarksInputs() {
        const auto menu = res::Menu(IDR_MAIN_MENU);  // kept: the loop reads into it
        QVERIFY(!menu.empty() && !menu.front().items.empty());
        bool listed = false;
        for (const res::MenuItem& item : menu.front().items) {
            listed = listed || item.command == ID_MARK_INPUTS;
        }
        QVERIFY(listed);
        QVERIFY(!m_dialog->m_bMarkInputs);
        m_dialog->OnCommand(ID_MARK_INPUTS);
        QVERIFY(m_dialog->m_bMarkInputs);

        m_dialog->AddFile(File("part2.wmv"));
        m_dialog->AddFile(File("part10.wmv"));
        std::string output = m_dir.File("joined.wmv");
        m_prompter->saveAs = QString::fromStdString(output);
        m_dialog->OnJoin();
        QTRY_COMPARE_WITH_TIMEOUT(m_prompter->questions.size(), 1, 20000);
        const QString question = m_prompter->questions.first();
        QVERIFY2(
            question.startsWith(QStringLiteral("2 files were joined; the joined file lasts 0:0")),
            qPrintable(question));
        QVERIFY(question.endsWith(
            QStringLiteral("Video file %1 has been created, do u want to play it?")
                .arg(QString::fromStdString(output))));
        kjtest::CommandResult chapters =
            kjtest::RunCommand("ffprobe -v error -show_entries chapter_tags=title -of csv=p=0 " +
                               kjtest::ShellQuote(output));
        QVERIFY2(chapters.output == "part2.wmv\npart10.wmv\n", chapters.output.c_str());
    }

    void closingTheWindowDuringAJoinAsksFirst() {
        std::atomic<bool> running{false};
        SetEngineForKind(kKindWmv, [&running](JoinHost&, const std::string&) {
            running = true;
            while (g_stopRequested == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            return 0;
        });
        m_dialog->show();
        m_dialog->AddFile(File("part2.wmv"));
        m_dialog->AddFile(File("part10.wmv"));
        m_prompter->saveAs = File("held.wmv");
        m_dialog->OnJoin();
        QTRY_VERIFY(running.load());
        m_prompter->answerYes = false;
        QVERIFY(!m_dialog->close());  // the window's own close, as the title bar's
        QCOMPARE(m_prompter->questions, QStringList{res::String(IDS_STOP_QUESTION)});
        QVERIFY(m_dialog->isVisible());
        QCOMPARE(m_dialog->m_bJoining, 1);
        m_prompter->answerYes = true;
        m_dialog->close();
        QCOMPARE(m_prompter->questions.size(), 2);
        QTRY_VERIFY(!m_dialog->isVisible());
        QTRY_VERIFY(!m_dialog->EngineRunning());
        SetEngineForKind(kKindWmv, nullptr);
    }

    // A picture of marked rows for the documentation of the check.
    void screenshotOfMarkedRows() {
        QByteArray target = qgetenv("KJ_CHECK_SCREENSHOT");
        if (target.isEmpty()) {
            QSKIP("KJ_CHECK_SCREENSHOT names no file to write");
        }
        for (const char* name : {"part2.wmv", "big.wmv", "part10.wmv", "low.wmv"}) {
            m_dialog->AddFile(File(name));
        }
        m_dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
        // The tooltip of the last odd row, as a hovering mouse would bring it up.
        QTreeWidget* list = m_dialog->List();
        QRect row = list->visualItemRect(list->topLevelItem(3));
        QToolTip::showText(list->viewport()->mapToGlobal(row.center()), Tip(3), list->viewport());
        QTest::qWait(500);
        QRect frame = m_dialog->frameGeometry().united(
            QRect(list->viewport()->mapToGlobal(row.center()), QSize(420, 60)));
        QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, frame.x(), frame.y(),
                                                                    frame.width(), frame.height());
        if (shot.isNull()) {
            shot = m_dialog->grab();  // a platform without a screen to grab
        }
        QVERIFY(shot.save(QString::fromLocal8Bit(target)));
    }

private:
    QString File(const char* name) const { return QString::fromStdString(m_dir.File(name)); }
    QStringList Marks() const {
        QStringList marks;
        for (int row = 0; row < m_dialog->RowCount(); ++row) {
            marks << m_dialog->List()->topLevelItem(row)->data(0, kRowMarkRole).toString();
        }
        return marks;
    }
    // What a row's columns other than the name (whose tooltip begins with the path) say.
    QString Tip(int row) const { return m_dialog->List()->topLevelItem(row)->toolTip(1); }

    kjtest::TempDir m_dir;
    std::unique_ptr<Module> m_resources;
    std::unique_ptr<TestPrompter> m_prompter;
    std::unique_ptr<CDlgMain> m_dialog;
};

QTEST_MAIN(DlgMainCheckTest)
#include "dlg_main_check_test.moc"
