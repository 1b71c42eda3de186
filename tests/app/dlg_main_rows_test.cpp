// The rows as the window shows them: the amber mark and line of a file cut short, for each kind.
#include <QTreeWidget>
#include <QtTest>
#include <memory>

#include "app/dlg_main.h"
#include "app/row_marks.h"
#include "mcljoin/mcl_api.h"
#include "platform/module.h"
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
        QVERIFY(whole->icon(0).isNull());
        const QString line = cut->data(0, kRowCutShortRole).toString();
        QVERIFY2(line.startsWith("cut short: about "), qPrintable(line));
        QVERIFY2(line.endsWith(" can be read"), qPrintable(line));
        QCOMPARE(CentreColour(cut->icon(0)), RowMarks::CutShortColour());
        // The name's tooltip is the whole path, then what is wrong with the file.
        QCOMPARE(cut->toolTip(0), File("cut." + ext) + "\n" + line);
        QCOMPARE(cut->toolTip(3), line);
    }

private:
    QString File(const QString& name) const {
        return QString::fromStdString(m_dir.File(name.toStdString()));
    }

    kjtest::TempDir m_dir;
    std::unique_ptr<Module> m_resources;
    std::unique_ptr<Module> m_conversion;
    std::unique_ptr<TestPrompter> m_prompter;
    std::unique_ptr<CDlgMain> m_dialog;
};

QTEST_MAIN(DlgMainRowsTest)
#include "dlg_main_rows_test.moc"
