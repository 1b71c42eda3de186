// The rows as the window shows them and as the keyboard moves them: the amber mark and line of a
// file cut short, for each kind; each file's picture, the selected row's card and the line of
// totals; the keys that move, play and remove rows; tooltips that fit the window; a window that
// grows; and kjoiner started with files.
#include <QAbstractButton>
#include <QHelpEvent>
#include <QLabel>
#include <QToolTip>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

#include "app/dlg_main.h"
#include "app/join_app.h"
#include "app/join_list_item.h"
#include "app/row_marks.h"
#include "mcljoin/mcl_api.h"
#include "platform/module.h"
#include "res/resource_ids.h"
#include "tests/app/test_prompter.h"
#include "tests/support/media_fixtures.h"

namespace {

struct KindFixture {
    const char* ext;
    const char* codecs;
};

constexpr KindFixture kKinds[] = {
    {"wmv", "-c:v wmv2 -b:v 4M -c:a wmav2"},
    {"rm", "-c:v rv20 -b:v 4M -c:a ac3"},
    {"avi", "-c:v mpeg4 -b:v 4M -c:a libmp3lame"},
    {"mpg", "-c:v mpeg1video -b:v 4M -maxrate 4M -bufsize 1M -c:a mp2 -f mpeg"},
};

QStringList Names(const CDlgMain& dialog) {
    QStringList names;
    for (int row = 0; row < dialog.RowCount(); ++row) {
        names << QString::fromStdString(dialog.RowRecord(row)->m_strPath).section('/', -1);
    }
    return names;
}

QColor CentreColour(const QIcon& icon) {
    QImage image = icon.pixmap(QSize(10, 10)).toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

}  // namespace

class DlgMainRowsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        SetModuleFolder(kjtest::BinDir());
        m_resources = Module::Load("rvkhelper");
        QVERIFY(m_resources != nullptr);
        // AVI and MPEG rows are filled by the conversion module's scan, as in the program.
        m_conversion = Module::Load("zivuvore");
        QVERIFY(m_conversion != nullptr);
        LoadMclApi(m_conversion.get());
        for (const KindFixture& kind : kKinds) {
            std::string whole = m_dir.File(std::string("whole.") + kind.ext);
            QVERIFY2(kjtest::MakeWithFfmpeg(
                         std::string("-f lavfi -i testsrc=size=320x240:rate=25,noise=alls=40:"
                                     "allf=t -f lavfi -i sine=r=44100 -t 4 ") +
                             kind.codecs,
                         whole),
                     kind.ext);
            std::vector<uint8_t> bytes = kjtest::ReadFileBytes(whole);
            bytes.resize(bytes.size() * 3 / 10);
            QVERIFY(kjtest::WriteFileBytes(m_dir.File(std::string("cut.") + kind.ext), bytes));
        }
    }
    void cleanupTestCase() { LoadMclApi(nullptr); }

    void init() {
        m_prompter = std::make_unique<TestPrompter>();
        m_dialog = std::make_unique<CDlgMain>();
        QVERIFY(m_dialog->OnInitDialog());
    }
    void cleanup() {
        m_dialog.reset();
        m_prompter.reset();
    }

    void aCutFileOfEachKindGetsTheAmberMarkAndSaysHowMuchCanBeRead_data() {
        QTest::addColumn<QString>("ext");
        for (const KindFixture& kind : kKinds) {
            QTest::newRow(kind.ext) << QString::fromLatin1(kind.ext);
        }
    }
    void aCutFileOfEachKindGetsTheAmberMarkAndSaysHowMuchCanBeRead() {
        QFETCH(QString, ext);
        QVERIFY(m_dialog->AddFile(File("whole." + ext)));
        QVERIFY(m_dialog->AddFile(File("cut." + ext)));
        QTreeWidgetItem* whole = m_dialog->List()->topLevelItem(0);
        QTreeWidgetItem* cut = m_dialog->List()->topLevelItem(1);
        QVERIFY(whole->data(0, kRowCutShortRole).isNull());
        QVERIFY(static_cast<JoinListItem*>(whole)->Mark().isNull());
        const QString line = cut->data(0, kRowCutShortRole).toString();
        QVERIFY2(line.startsWith("cut short: about "), qPrintable(line));
        QVERIFY2(line.endsWith(" can be read"), qPrintable(line));
        QCOMPARE(CentreColour(static_cast<JoinListItem*>(cut)->Mark()), RowMarks::CutShortColour());
        // The name's tooltip is the whole path, then what is wrong with the file.
        QCOMPARE(cut->toolTip(0), File("cut." + ext) + "\n" + line);
        QCOMPARE(cut->toolTip(3), line);
    }

    void everyKindGetsItsPictureAndTheSelectedRowBecomesACard() {
        for (const KindFixture& kind : kKinds) {
            QVERIFY(m_dialog->AddFile(File(QStringLiteral("whole.") + kind.ext)));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!m_dialog->PicturesPending(), 20000);
        for (int row = 0; row < m_dialog->RowCount(); ++row) {
            auto* item = static_cast<JoinListItem*>(m_dialog->List()->topLevelItem(row));
            QVERIFY2(!item->Picture().isNull(), qPrintable(item->text(0)));
            // The test picture's frame is not one colour: it was decoded, not made up.
            QImage picture = item->Picture();
            QVERIFY(picture.pixelColor(2, 2) !=
                    picture.pixelColor(picture.width() / 2, picture.height() / 2));
            QCOMPARE(picture.width() * 3, picture.height() * 4);  // 320x240 keeps its shape
        }
        QCOMPARE(m_dialog->DetailRow(), -1);
        m_dialog->List()->topLevelItem(2)->setSelected(true);
        QCOMPARE(m_dialog->DetailRow(), 2);
        QVERIFY(m_dialog->List()->isFirstColumnSpanned(2, QModelIndex()));
        QTRY_VERIFY(m_dialog->List()->visualItemRect(m_dialog->List()->topLevelItem(2)).height() >
                    m_dialog->List()->visualItemRect(m_dialog->List()->topLevelItem(1)).height());
        m_dialog->List()->topLevelItem(1)->setSelected(true);  // two rows: no card
        QCOMPARE(m_dialog->DetailRow(), -1);
        QVERIFY(!m_dialog->List()->isFirstColumnSpanned(2, QModelIndex()));
    }

    void theLineUnderTheListAddsUpTheFiles() {
        QVERIFY(m_dialog->TotalsText().isEmpty());
        QVERIFY(m_dialog->AddFile(File("whole.wmv")));
        QVERIFY(m_dialog->AddFile(File("cut.wmv")));
        const MediaFileInfo& whole = *m_dialog->RowRecord(0);
        const MediaFileInfo& cut = *m_dialog->RowRecord(1);
        // What a join takes of the cut file is what can be read of it.
        double seconds = whole.m_fDuration + cut.m_cutShort.readableSeconds;
        double bytes = whole.m_fFileSize + cut.m_fFileSize;
        QString expected =
            QStringLiteral("Files: 2    Length: 0:%1    Size: %2 MB    Joined file: about %2 MB")
                .arg(seconds, 4, 'f', 1, QLatin1Char('0'))
                .arg(bytes / 1e6, 0, 'f', 2);
        QCOMPARE(m_dialog->TotalsText(), expected);
        auto* label = m_dialog->findChild<QLabel*>(QString::number(IDC_TOTALS));
        QVERIFY(label != nullptr);
        QCOMPARE(label->text(), expected);
        m_dialog->OnClear();
        QCOMPARE(label->text(), QString());
    }

    void keysMoveThePlayAndRemoveTheSelectedRows() {
        for (const char* name : {"a", "b", "c", "d"}) {
            QVERIFY(m_dialog->AddFile(File(QStringLiteral("whole.wmv"))));
            m_dialog->RowRecord(m_dialog->RowCount() - 1)->m_strPath = name;
            m_dialog->List()->topLevelItem(m_dialog->RowCount() - 1)->setText(0, name);
        }
        QTreeWidget* list = m_dialog->List();
        list->setFocus();
        list->topLevelItem(1)->setSelected(true);
        list->topLevelItem(2)->setSelected(true);
        QTest::keyClick(list, Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(Names(*m_dialog), (QStringList{"b", "c", "a", "d"}));
        QTest::keyClick(list, Qt::Key_Up, Qt::ControlModifier);  // at the top already
        QCOMPARE(Names(*m_dialog), (QStringList{"b", "c", "a", "d"}));
        QTest::keyClick(list, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(Names(*m_dialog), (QStringList{"a", "d", "b", "c"}));
        QTest::keyClick(list, Qt::Key_Down, Qt::ControlModifier);  // at the bottom already
        QCOMPARE(Names(*m_dialog), (QStringList{"a", "d", "b", "c"}));
        QTest::keyClick(list, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(Names(*m_dialog), (QStringList{"b", "c", "a", "d"}));
        QTest::keyClick(list, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(Names(*m_dialog), (QStringList{"a", "b", "c", "d"}));
        QCOMPARE(m_dialog->SelectedRow(), 1);  // the moved rows stay selected

        QTest::keyClick(list, Qt::Key_Return);  // plays the first selected file
        QCOMPARE(m_prompter->opened, QStringList{"b"});

        QTest::keyClick(list, Qt::Key_Delete);  // both selected rows go
        QCOMPARE(Names(*m_dialog), (QStringList{"a", "d"}));
        QCOMPARE(m_dialog->SelectedRow(), 1);   // the row after them
        QTest::keyClick(list, Qt::Key_Delete);  // so a second Delete goes on
        QCOMPARE(Names(*m_dialog), QStringList{"a"});

        // While a join reads the rows, the keys leave them alone.
        m_dialog->m_bJoining = 1;
        list->topLevelItem(0)->setSelected(true);
        QTest::keyClick(list, Qt::Key_Delete);
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(m_dialog->RowCount(), 1);
        QCOMPARE(m_prompter->opened.size(), 1);
        m_dialog->m_bJoining = 0;
    }

    void theRemoveButtonTakesEverySelectedRow() {
        for (int i = 0; i < 3; ++i) {
            QVERIFY(m_dialog->AddFile(File(QStringLiteral("whole.wmv"))));
        }
        m_dialog->List()->topLevelItem(0)->setSelected(true);
        m_dialog->List()->topLevelItem(2)->setSelected(true);
        m_dialog->findChild<QAbstractButton*>(QString::number(IDC_REMOVE))->click();
        QCOMPARE(m_dialog->RowCount(), 1);
        QCOMPARE(m_dialog->SelectedRow(), 0);
    }

    void tooltipsAreWrappedToTheWindowsWidth() {
        m_dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
        QVERIFY(m_dialog->AddFile(File("cut.rm")));
        QTreeWidget* list = m_dialog->List();
        QRect cell = list->visualItemRect(list->topLevelItem(0));
        QHelpEvent help(QEvent::ToolTip, cell.center(),
                        list->viewport()->mapToGlobal(cell.center()));
        QApplication::sendEvent(list->viewport(), &help);
        QTRY_VERIFY(QToolTip::isVisible());
        const QString shown = QToolTip::text();
        QVERIFY2(shown.contains(QStringLiteral("<table width=\"%1\">").arg(m_dialog->width() - 40)),
                 qPrintable(shown));
        QVERIFY(shown.contains(QStringLiteral("cut short: about")));
        QToolTip::hideText();
    }

    void theWindowGrowsWithItsListAndKeepsItsControlsInPlace() {
        m_dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
        const QSize designed = m_dialog->size();
        QWidget* list = m_dialog->List();
        QWidget* join = m_dialog->findChild<QWidget*>(QString::number(IDC_JOIN));
        QWidget* add = m_dialog->findChild<QWidget*>(QString::number(IDC_ADD));
        QWidget* close = m_dialog->findChild<QWidget*>(QString::number(IDC_CLOSE));
        const QRect listBefore = list->geometry();
        const QRect joinBefore = join->geometry();
        const QRect addBefore = add->geometry();
        const QRect closeBefore = close->geometry();
        m_dialog->resize(designed + QSize(200, 120));
        QTRY_COMPARE(m_dialog->size(), designed + QSize(200, 120));
        QCOMPARE(list->geometry(), listBefore.adjusted(0, 0, 200, 120));
        QCOMPARE(join->geometry(), joinBefore.translated(200, 120));
        QCOMPARE(add->geometry(), addBefore.translated(0, 120));
        QCOMPARE(close->geometry(), closeBefore.translated(200, 0));
        // Never smaller than the layout was drawn for.
        QCOMPARE(m_dialog->minimumSize(), designed);
        // The skin is drawn to fit: the bottom bar reaches the new right edge.
        QImage shot = m_dialog->grab().toImage();
        QImage own = m_dialog->Background().toImage();
        QCOMPARE(shot.pixelColor(shot.width() - 3, shot.height() - 30),
                 own.pixelColor(own.width() - 3, own.height() - 30));
    }

    void kjoinerStartedWithTwoFilesShowsThemInTheList() {
        QCOMPARE(CJoinApp::FilesFromArguments({"--", "-part2.wmv", "--"}),
                 (QStringList{QDir::current().absoluteFilePath("-part2.wmv"),
                              QDir::current().absoluteFilePath("--")}));
        QStringList seen;
        {
            CJoinApp app;
            app.m_filesToAdd = {File("whole.wmv"), File("cut.rm")};
            app.m_onDialogReady = [&seen](CDlgMain& dialog) {
                for (int row = 0; row < dialog.RowCount(); ++row) {
                    seen << QString::fromStdString(dialog.RowRecord(row)->m_strPath);
                }
                dialog.accept();
            };
            app.InitInstance();
            app.ExitInstance();
        }
        LoadMclApi(m_conversion.get());  // the application let go of the table as it ended
        QCOMPARE(seen, (QStringList{File("whole.wmv"), File("cut.rm")}));
    }

private:
    QString File(const QString& name) const {
        return QString::fromStdString(m_dir.File(name.toStdString()));
    }
    QString File(const char* name) const { return File(QString::fromLatin1(name)); }

    kjtest::TempDir m_dir;
    std::unique_ptr<Module> m_resources;
    std::unique_ptr<Module> m_conversion;
    std::unique_ptr<TestPrompter> m_prompter;
    std::unique_ptr<CDlgMain> m_dialog;
};

QTEST_MAIN(DlgMainRowsTest)
#include "dlg_main_rows_test.moc"
