// The scan-progress window while an added AVI or MPEG file is scanned: what it shows for the
// library's percentages, that it goes away after the scan, and the status line without the
// library. A stand-in for the library's scan looks at the window from inside its callback.
#include <QLabel>
#include <QProgressBar>
#include <QtTest>
#include <cstring>
#include <memory>

#include "app/dlg_main.h"
#include "app/small_dialogs.h"
#include "engines/conversion/mcl.h"
#include "mcljoin/mcl_api.h"
#include "platform/bytes.h"
#include "platform/module.h"
#include "probe/library_scan.h"
#include "probe/media_file_info.h"
#include "tests/support/media_fixtures.h"

namespace {

struct Seen {
    bool visible = false;
    QString text;
    int bar = -1;
};

std::vector<double> g_reports;
std::vector<Seen> g_seen;
Seen g_atStart;

Seen LookAtWindow() {
    Seen seen;
    CDlgScanProgress* scan = g_mainDialog->ScanProgressWindow();
    seen.visible = scan->isVisible();
    seen.text = scan->m_text->text();
    seen.bar = scan->m_progress->value();
    return seen;
}

int32_t FakeGetFileInfo(const char*, int32_t, void* record, MclScanCallback callback, void*) {
    g_atStart = LookAtWindow();
    auto* info = static_cast<MclFileInfo*>(record);
    std::strcpy(info->formatName, "MPEG-1 (VCD)");
    std::strcpy(info->videoCodec, "mpeg1video");
    info->width = 352;
    info->height = 288;
    info->frameRate = 25;
    info->frameCount = 100;
    for (double percent : g_reports) {
        MclScanProgressRecord progress{};
        progress.percent = percent;
        callback(&progress);
        g_seen.push_back(LookAtWindow());
    }
    return 0;
}

}  // namespace

class ScanProgressTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        SetModuleFolder(kjtest::BinDir());
        m_resources = Module::Load("rvkhelper");
        QVERIFY2(m_resources != nullptr, "the resource module must be built");
        ByteWriter w;
        w.BE32(0x000001BA).Zeros(500);
        m_mpeg = QString::fromStdString(m_dir.File("clip.mpg"));
        QVERIFY(kjtest::WriteFileBytes(m_mpeg.toStdString(), w.bytes()));
        m_saved = MclApi;
        m_savedScan = LibraryFileScan();
    }

    void init() {
        MclApi = MclApiTable{};
        SetLibraryFileScan(FakeGetFileInfo);
        g_reports.clear();
        g_seen.clear();
        g_atStart = Seen{};
        m_dialog = std::make_unique<CDlgMain>();
        QVERIFY(m_dialog->OnInitDialog());
        m_dialog->setGeometry(100, 100, 680, 408);
        m_dialog->show();
    }

    void cleanup() {
        m_dialog.reset();
        MclApi = m_saved;
        SetLibraryFileScan(m_savedScan);
        QVERIFY(g_scanProgressView == nullptr);  // the window took itself out when it went
    }

    void showsScanningCentredBeforeTheFirstReport() {
        QVERIFY(m_dialog->AddFile(m_mpeg));
        QVERIFY(g_atStart.visible);
        QCOMPARE(g_atStart.text, QStringLiteral("Scanning..."));
        QCOMPARE(g_atStart.bar, 0);
        CDlgScanProgress* scan = m_dialog->ScanProgressWindow();
        QRect window = m_dialog->frameGeometry();
        QCOMPARE(scan->geometry().size(), QSize(320, 60));
        QCOMPARE(scan->geometry().left(), window.left() + window.width() / 2 - 160);
        QCOMPARE(scan->geometry().top(), window.top() + window.height() / 2 - 30);
    }

    void percentagesAreShownTruncated() {
        g_reports = {12.5, 99.9, 100.0};
        QVERIFY(m_dialog->AddFile(m_mpeg));
        QCOMPARE(g_seen.size(), size_t{3});
        QCOMPARE(g_seen[0].text, QStringLiteral("12% Scanned"));
        QCOMPARE(g_seen[0].bar, 12);
        QCOMPARE(g_seen[1].text, QStringLiteral("99% Scanned"));
        QCOMPARE(g_seen[1].bar, 99);
        QCOMPARE(g_seen[2].text, QStringLiteral("100% Scanned"));
        QCOMPARE(g_seen[2].bar, 100);
        QVERIFY(g_seen[1].visible);
    }

    void anUnknownTotalShowsItsTextWithAFullBar() {
        g_reports = {-1.0};
        QVERIFY(m_dialog->AddFile(m_mpeg));
        QCOMPARE(g_seen.size(), size_t{1});
        QCOMPARE(g_seen[0].text,
                 QStringLiteral("Can't retrieve total frame count, unknow percentage"));
        QCOMPARE(g_seen[0].bar, 100);
    }

    void theWindowIsHiddenAfterTheScanEvenWithoutReports() {
        QVERIFY(m_dialog->AddFile(m_mpeg));
        QVERIFY(!m_dialog->ScanProgressWindow()->isVisible());
        g_reports = {50.0};
        QVERIFY(m_dialog->AddFile(m_mpeg));
        QVERIFY(!m_dialog->ScanProgressWindow()->isVisible());
        QCOMPARE(m_dialog->RowCount(), 2);
        QCOMPARE(m_dialog->RowRecord(1)->m_nKind, kKindMpeg);
        QCOMPARE(m_dialog->RowRecord(1)->m_nWidth, 352);
        QCOMPARE(m_dialog->StatusText(),
                 QStringLiteral("Video:MPEG-1 video Frame:100 Freq:25.00FPS"));
    }

    void withoutTheLibraryTheRowIsAddedAndTheStatusLineSaysWhy() {
        SetLibraryFileScan(nullptr);
        QVERIFY(m_dialog->AddFile(m_mpeg));
        QCOMPARE(m_dialog->RowCount(), 1);
        QCOMPARE(m_dialog->RowRecord(0)->m_nKind, kKindMpeg);
        QCOMPARE(m_dialog->RowRecord(0)->m_nWidth, 0);
        QVERIFY(!m_dialog->ScanProgressWindow()->isVisible());
        QCOMPARE(m_dialog->StatusText(), QString::fromLatin1(kConversionLibraryMissingText));
    }

private:
    kjtest::TempDir m_dir;
    QString m_mpeg;
    MclApiTable m_saved;
    MclGetFileInfoFn m_savedScan = nullptr;
    std::unique_ptr<Module> m_resources;
    std::unique_ptr<CDlgMain> m_dialog;
};

QTEST_MAIN(ScanProgressTest)
#include "scan_progress_test.moc"
