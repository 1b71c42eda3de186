// Drives the main window offscreen: adding, removing, clearing and moving rows, their texts,
// and the commands that are refused while a join runs.
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>
#include <QtTest>
#include <memory>

#include "app/dlg_main.h"
#include "app/join_list_item.h"
#include "app/small_dialogs.h"
#include "platform/bytes.h"
#include "platform/module.h"
#include "probe/media_file_info.h"
#include "res/resource_ids.h"
#include "tests/app/test_prompter.h"
#include "tests/support/media_fixtures.h"

namespace {

QStringList Paths(const CDlgMain& dialog) {
    QStringList paths;
    for (int row = 0; row < dialog.RowCount(); ++row) {
        paths << QString::fromStdString(dialog.RowRecord(row)->m_strPath);
    }
    return paths;
}

}  // namespace

class DlgMainTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        SetModuleFolder(kjtest::BinDir());
        m_resources = Module::Load("rvkhelper");
        QVERIFY2(m_resources != nullptr, "the resource module must be built");
        for (const char* name : {"a.rm", "b.rm", "c.rm", "d.rm"}) {
            m_files << QString::fromStdString(
                kjtest::WriteRealMediaSignature(m_dir.File(name), m_files.size()));
        }
    }

    void init() {
        m_dialog = std::make_unique<CDlgMain>();
        QVERIFY(m_dialog->OnInitDialog());
    }

    void cleanup() { m_dialog.reset(); }

    void startsWithTitleEmptyListAndHiddenScanWindow() {
        QCOMPARE(m_dialog->windowTitle(), QStringLiteral("Kelvane AVI/MPEG/RM/WMV Joiner"));
        QCOMPARE(m_dialog->RowCount(), 0);
        QVERIFY(m_dialog->ScanProgressWindow() != nullptr);
        QVERIFY(!m_dialog->ScanProgressWindow()->isVisible());
        QTreeWidget* list = m_dialog->List();
        QCOMPARE(list->columnCount(), 5);
        const int widths[] = {204, 101, 83, 73, 100};
        const char* headings[] = {"File Name", "Width/Height", "Type", "Freq.", "File Size(KB)"};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(list->columnWidth(i), widths[i]);
            QCOMPARE(list->headerItem()->text(i), QString::fromLatin1(headings[i]));
        }
    }

    void addThroughTheDialogPutsFilesInNaturalOrderAndShowsTheInfoLine() {
        TestPrompter prompter;
        prompter.filesToOpen = {m_files[2], m_files[0]};
        m_dialog->OnAddFiles();
        QCOMPARE(Paths(*m_dialog), (QStringList{m_files[0], m_files[2]}));
        QVERIFY(prompter.openFilters.first().startsWith(
            QStringLiteral("All Supported Media Files|*.avi;*.divx;*.mpg;*.mpeg;*.mpe;*.m1v;*.m2v;"
                           "*.m1p;*.m2p;*.mpv;*.mod;*.dat;*.vob;*.rm;*.rmvb;*.rv;*.ra;*.wmv;*.asf;"
                           "*.wma|")));
        QCOMPARE(m_dialog->StatusText(),
                 QString::fromStdString(m_dialog->RowRecord(1)->FormatInfoLine()));
        QVERIFY(prompter.messages.isEmpty());
    }

    void columnTexts() {
        auto record = std::make_unique<MediaFileInfo>();
        record->m_strPath = "/v/clip.wmv";
        record->m_nWidth = 320;
        record->m_nHeight = 240;
        record->m_nKind = kKindWmv;
        record->m_fFileSize = 40'000'000;
        record->m_fDuration = 90.5f;
        m_dialog->InsertRow(std::move(record), 5);
        QTreeWidgetItem* item = m_dialog->List()->topLevelItem(0);
        QCOMPARE(item->text(0), QStringLiteral("/v/clip.wmv"));
        QCOMPARE(item->text(1), QStringLiteral("320/240"));
        QCOMPARE(item->text(2), QStringLiteral("WMV/ASF"));
        QCOMPARE(item->text(3), QStringLiteral("   90.50 S"));
        QCOMPARE(item->text(4), QStringLiteral("40000.00 KB"));
        QCOMPARE(m_dialog->StatusText(), QStringLiteral("Video: Frame:0 Freq:0.00FPS"));
    }

    void sameFileTwiceGivesTwoRecords() {
        m_dialog->AddFile(m_files[0]);
        m_dialog->AddFile(m_files[0]);
        QCOMPARE(m_dialog->RowCount(), 2);
        QVERIFY(m_dialog->RowRecord(0) != m_dialog->RowRecord(1));
    }

    void droppedFilesAreAddedInNaturalOrder() {
        TestPrompter prompter;
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(m_files[3]), QUrl::fromLocalFile(m_files[1])});
        QVERIFY(m_dialog->OnDropFiles(mime));
        QCOMPARE(Paths(*m_dialog), (QStringList{m_files[1], m_files[3]}));
        m_dialog->m_bJoining = 1;  // the list cannot change while a join reads it
        QVERIFY(!m_dialog->OnDropFiles(mime));
        QCOMPARE(m_dialog->RowCount(), 2);
        m_dialog->m_bJoining = 0;
    }

    void unreadableAndOggFilesAreReportedOncePerAdd() {
        TestPrompter prompter;
        ByteWriter ogg;
        ogg.Text("OggS").Zeros(30);
        std::string oggPath = m_dir.File("song.ogg");
        kjtest::WriteFileBytes(oggPath, ogg.bytes());
        prompter.filesToOpen = {m_files[0], QString::fromStdString(m_dir.File("gone.wmv")),
                                QString::fromStdString(oggPath),
                                QString::fromStdString(m_dir.File("gone2.avi"))};
        m_dialog->OnAddFiles();
        QCOMPARE(m_dialog->RowCount(), 1);
        QCOMPARE(prompter.messages.size(), 1);
        const QString& message = prompter.messages.first();
        QVERIFY(message.contains(QStringLiteral("Ogg files cannot be joined")));
        QVERIFY(message.contains(QStringLiteral("gone.wmv")));
        QVERIFY(message.contains(QStringLiteral("gone2.avi")));
        QVERIFY(message.contains(QStringLiteral("No such file")));
    }

    void removeTakesEverySelectedRowAndSelectsTheRowAfterThem() {
        AddAll();
        m_dialog->List()->topLevelItem(1)->setSelected(true);
        m_dialog->List()->topLevelItem(2)->setSelected(true);
        m_dialog->OnRemove();
        QCOMPARE(Paths(*m_dialog), (QStringList{m_files[0], m_files[3]}));
        QCOMPARE(m_dialog->SelectedRow(), 1);  // the row after them
        QCOMPARE(m_dialog->StatusText(),
                 QString::fromStdString(m_dialog->RowRecord(1)->FormatInfoLine()));
        m_dialog->OnRemove();  // the last row goes: the one before it is selected
        QCOMPARE(Paths(*m_dialog), QStringList{m_files[0]});
        QCOMPARE(m_dialog->SelectedRow(), 0);
        m_dialog->OnRemove();
        QCOMPARE(m_dialog->RowCount(), 0);
        m_dialog->OnRemove();  // nothing selected: nothing happens
        QCOMPARE(m_dialog->RowCount(), 0);
    }

    void deleteKeyRemovesTheSelectedRow() {
        AddAll();
        m_dialog->List()->topLevelItem(0)->setSelected(true);
        QTest::keyClick(m_dialog->List(), Qt::Key_Delete);
        QCOMPARE(Paths(*m_dialog), (QStringList{m_files[1], m_files[2], m_files[3]}));
    }

    void clearRemovesEveryRow() {
        AddAll();
        m_dialog->OnClear();
        QCOMPARE(m_dialog->RowCount(), 0);
    }

    void movesAndTheirEdgeCases_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QList<int>>("order");
        QTest::addColumn<int>("selectedAfter");
        QTest::newRow("up") << IDC_MOVE_UP << 2 << QList<int>{0, 2, 1, 3} << 1;
        QTest::newRow("up at top") << IDC_MOVE_UP << 0 << QList<int>{0, 1, 2, 3} << 0;
        QTest::newRow("down") << IDC_MOVE_DOWN << 1 << QList<int>{0, 2, 1, 3} << 2;
        QTest::newRow("down at bottom") << IDC_MOVE_DOWN << 3 << QList<int>{0, 1, 2, 3} << 3;
        QTest::newRow("top") << IDC_MOVE_TOP << 2 << QList<int>{2, 0, 1, 3} << 0;
        QTest::newRow("top at top") << IDC_MOVE_TOP << 0 << QList<int>{0, 1, 2, 3} << 0;
        QTest::newRow("bottom") << IDC_MOVE_BOTTOM << 1 << QList<int>{0, 2, 3, 1} << 3;
        QTest::newRow("bottom at bottom") << IDC_MOVE_BOTTOM << 3 << QList<int>{0, 1, 2, 3} << 3;
    }

    void movesAndTheirEdgeCases() {
        QFETCH(int, command);
        QFETCH(int, selected);
        QFETCH(QList<int>, order);
        QFETCH(int, selectedAfter);
        AddAll();
        MediaFileInfo* moved = m_dialog->RowRecord(selected);
        m_dialog->List()->topLevelItem(selected)->setSelected(true);
        auto* button = m_dialog->findChild<QAbstractButton*>(QString::number(command));
        QVERIFY(button != nullptr);
        button->click();
        QStringList expected;
        for (int i : order) {
            expected << m_files[i];
        }
        QCOMPARE(Paths(*m_dialog), expected);
        QCOMPARE(m_dialog->SelectedRow(), selectedAfter);
        QCOMPARE(m_dialog->RowRecord(selectedAfter), moved);  // the same record moves
    }

    void movingTheBottomRowToTheBottomReselectsItAndShowsItsLine() {
        AddAll();
        m_dialog->List()->topLevelItem(3)->setSelected(true);
        m_dialog->SetStatusText(QString());
        m_dialog->OnMoveBottom();
        QCOMPARE(m_dialog->SelectedRow(), 3);
        QCOMPARE(m_dialog->StatusText(),
                 QString::fromStdString(m_dialog->RowRecord(3)->FormatInfoLine()));
    }

    void clickingARowShowsItsInfoLine() {
        AddAll();
        m_dialog->RowRecord(2)->m_strVideoCodec = "RV20";
        m_dialog->List()->topLevelItem(2)->setSelected(true);
        QVERIFY(m_dialog->StatusText().startsWith(QStringLiteral("Video:RealVideo 2")));
    }

    void playOpensTheSelectedFileButNotDuringAJoin() {
        TestPrompter prompter;
        AddAll();
        m_dialog->List()->topLevelItem(1)->setSelected(true);
        m_dialog->OnPlay();
        QCOMPARE(prompter.opened, QStringList{m_files[1]});
        m_dialog->m_bJoining = 1;
        emit m_dialog->List()->itemDoubleClicked(m_dialog->List()->topLevelItem(1), 0);
        QCOMPARE(prompter.opened.size(), 1);
        m_dialog->m_bJoining = 0;
        emit m_dialog->List()->itemDoubleClicked(m_dialog->List()->topLevelItem(1), 0);
        QCOMPARE(prompter.opened.size(), 2);
    }

    void escapeAndEnterNeverCloseTheWindow() {
        m_dialog->show();
        for (int joining : {1, 0}) {
            m_dialog->m_bJoining = joining;
            for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
                QTest::keyClick(m_dialog.get(), key);
                QVERIFY(m_dialog->isVisible());
                QCOMPARE(m_dialog->result(), 0);
            }
        }
    }

    void menuCommandsOpenHelpHomePageAndSupport() {
        TestPrompter prompter;
        m_dialog->OnCommand(ID_HELP);
        m_dialog->OnCommand(ID_HOMEPAGE);
        m_dialog->OnCommand(ID_SUPPORT);
        QCOMPARE(prompter.opened.size(), 3);
        QVERIFY(prompter.opened[0].endsWith(QStringLiteral("/rvkhlp.html")));
        QVERIFY(prompter.opened[1].startsWith(QStringLiteral("https://")));
        QVERIFY(prompter.opened[2].startsWith(QStringLiteral("mailto:")));
    }

    void scanWindowIsCentredOnTheMainWindow() {
        m_dialog->setGeometry(100, 100, 680, 408);
        m_dialog->show();
        m_dialog->ShowScanProgress(QStringLiteral("Scanning..."));
        CDlgScanProgress* scan = m_dialog->ScanProgressWindow();
        QVERIFY(scan->isVisible());
        QRect window = m_dialog->frameGeometry();
        QCOMPARE(scan->geometry().size(), QSize(320, 60));
        QCOMPARE(scan->geometry().left(), window.left() + window.width() / 2 - 160);
        QCOMPARE(scan->geometry().top(), window.top() + window.height() / 2 - 30);
        m_dialog->SetScanProgress(42, QStringLiteral("42% Scanned"));
        QCOMPARE(scan->m_progress->value(), 42);
        QCOMPARE(scan->m_text->text(), QStringLiteral("42% Scanned"));
        m_dialog->HideScanProgress();
        QVERIFY(!scan->isVisible());
    }

private:
    void AddAll() {
        for (const QString& file : m_files) {
            QVERIFY(m_dialog->AddFile(file));
        }
        m_dialog->List()->clearSelection();
    }

    kjtest::TempDir m_dir;
    QStringList m_files;
    std::unique_ptr<Module> m_resources;
    std::unique_ptr<CDlgMain> m_dialog;
};

QTEST_MAIN(DlgMainTest)
#include "dlg_main_test.moc"
