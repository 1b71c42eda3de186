// Rows of files that hold sound alone: what the list and the status line show for them, and
// which lists of them the join takes or refuses, with real WMA and WMV files probed as the
// window probes them and a stand-in engine behind the engine seam.
#include <QTreeWidget>
#include <QtTest>
#include <memory>

#include "app/dlg_main.h"
#include "job/join_job.h"
#include "kinds/join_engines.h"
#include "platform/module.h"
#include "res/resource_ids.h"
#include "res/resources.h"
#include "tests/app/test_prompter.h"
#include "tests/support/media_fixtures.h"

namespace {
constexpr int kColumnGeometry = 1;
}

class AudioRowsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (!kjtest::HaveProgram("ffmpeg")) {
            QSKIP("ffmpeg is needed to make the fixtures");
        }
        SetModuleFolder(kjtest::BinDir());
        m_resources = Module::Load("rvkhelper");
        QVERIFY(m_resources != nullptr);
        std::string error;
        // Lengths that are not whole seconds, two codecs, and a file with a picture.
        QVERIFY2(kjtest::MakeWithFfmpeg("-f lavfi -i sine=frequency=440:duration=1.3 -c:a wmav2 "
                                        "-b:a 64k",
                                        m_dir.File("talk.wma"), &error),
                 error.c_str());
        QVERIFY2(kjtest::MakeWithFfmpeg("-f lavfi -i sine=frequency=660:duration=0.7 -c:a wmav2 "
                                        "-b:a 64k",
                                        m_dir.File("talk2.wma"), &error),
                 error.c_str());
        QVERIFY2(kjtest::MakeWithFfmpeg("-f lavfi -i testsrc=size=160x120:duration=1 -f lavfi "
                                        "-i sine=duration=1 -c:v wmv2 -c:a wmav2",
                                        m_dir.File("film.wmv"), &error),
                 error.c_str());
    }

    void init() {
        m_dialog = std::make_unique<CDlgMain>();
        QVERIFY(m_dialog->OnInitDialog());
        m_prompter = std::make_unique<TestPrompter>();
        m_calls = 0;
        SetEngineForEveryKind([this](JoinHost&, const std::string&) {
            ++m_calls;
            return 0;
        });
    }

    void cleanup() {
        m_dialog.reset();
        SetEngineForEveryKind(nullptr);
        m_prompter.reset();
    }

    void anAudioOnlyRowShowsAudioAndAnInformationLineWithoutVideo() {
        QVERIFY(m_dialog->AddFile(Path("talk.wma")));
        QTreeWidgetItem* row = m_dialog->List()->topLevelItem(0);
        QVERIFY(row != nullptr);
        QCOMPARE(row->text(kColumnGeometry), QStringLiteral("Audio"));
        const MediaFileInfo* record = m_dialog->RowRecord(0);
        QVERIFY(record->IsAudioOnly());
        QString line = m_dialog->StatusText();
        QVERIFY2(line.startsWith(QStringLiteral("Audio:")), qPrintable(line));
        QVERIFY2(!line.contains(QStringLiteral("Video:")), qPrintable(line));
        QVERIFY2(!line.contains(QStringLiteral("FPS")), qPrintable(line));
        QVERIFY2(line.contains(QStringLiteral(" Bitrate:")), qPrintable(line));

        // A file with a picture keeps its size and its video part.
        QVERIFY(m_dialog->AddFile(Path("film.wmv")));
        QCOMPARE(m_dialog->List()->topLevelItem(1)->text(kColumnGeometry),
                 QStringLiteral("160/120"));
        QVERIFY(m_dialog->StatusText().startsWith(QStringLiteral("Video:")));
        QVERIFY(m_dialog->StatusText().contains(QStringLiteral(" Audio:")));
    }

    void aListOfAudioOnlyFilesGoesToTheSaveDialogWithTheFirstExtension() {
        QVERIFY(m_dialog->AddFile(Path("talk.wma")));
        QVERIFY(m_dialog->AddFile(Path("talk2.wma")));
        QVERIFY(m_dialog->AddFile(Path("talk.wma")));
        m_dialog->OnJoin();  // nothing chosen in the save dialog: no job
        QCOMPARE(m_prompter->messages, QStringList{});
        QCOMPARE(m_prompter->proposedNames, QStringList{Path("talk_join.wma")});
        QCOMPARE(m_prompter->suffixes, QStringList{QStringLiteral("wma")});
        QCOMPARE(m_calls, 0);
    }

    void audioOnlyFilesAmongVideoFilesAreRefusedByName_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("named");
        QTest::newRow("audio first") << QStringList{"talk.wma", "film.wmv"} << "talk.wma";
        QTest::newRow("video first")
            << QStringList{"film.wmv", "talk2.wma", "talk.wma"} << "talk2.wma";
    }

    void audioOnlyFilesAmongVideoFilesAreRefusedByName() {
        QFETCH(QStringList, files);
        QFETCH(QString, named);
        for (const QString& file : files) {
            QVERIFY(m_dialog->AddFile(Path(file)));
        }
        m_dialog->OnJoin();
        QString want = res::String(IDS_AUDIO_ONLY_WITH_VIDEO).arg(Path(named));
        // The designed text first; the odd files' fields follow it.
        QCOMPARE(m_prompter->messages.size(), 1);
        QVERIFY2(m_prompter->messages.front().startsWith(want + "\n"),
                 qPrintable(m_prompter->messages.front()));
        QVERIFY(want.startsWith(Path(named) + QStringLiteral(" has no video")));
        QVERIFY(m_prompter->proposedNames.isEmpty());
        QCOMPARE(m_calls, 0);
    }

    void checksOfListsWithAudioOnlyRecords() {
        auto record = [](MediaKind kind, bool audio, int width, int height, const char* video) {
            MediaFileInfo info;
            info.m_nKind = kind;
            info.m_bHasAudio = audio ? 1 : 0;
            info.m_nWidth = width;
            info.m_nHeight = height;
            info.m_strVideoCodec = video;
            return info;
        };
        MediaFileInfo ra = record(kKindRealMedia, true, 0, 0, "");
        MediaFileInfo rv = record(kKindRealMedia, true, 176, 144, "RV10");
        MediaFileInfo failed = record(kKindRealMedia, false, 0, 0, "");
        MediaFileInfo sizeless = record(kKindRealMedia, true, 0, 0, "RV40");
        MediaFileInfo wma = record(kKindWmv, true, 0, 0, "");
        MediaFileInfo mp2 = record(kKindMpeg, true, 0, 0, "");
        size_t named = 99;
        QCOMPARE(CheckJoinList({&ra, &ra, &ra}, &named), 0);
        QCOMPARE(CheckJoinList({&rv, &ra}, &named), IDS_AUDIO_ONLY_WITH_VIDEO);
        QCOMPARE(named, size_t{1});
        // A row whose probe failed is no video file: the picture size is what is missing.
        QCOMPARE(CheckJoinList({&ra, &failed}), IDS_ZERO_GEOMETRY);
        // A video stream without a size still has video.
        QCOMPARE(CheckJoinList({&ra, &sizeless}, &named), IDS_AUDIO_ONLY_WITH_VIDEO);
        QCOMPARE(named, size_t{0});
        QCOMPARE(CheckJoinList({&ra, &wma}), IDS_MIXED_KINDS);
        // The conversion library's joins need pictures.
        QCOMPARE(CheckJoinList({&mp2, &mp2}), IDS_ZERO_GEOMETRY);
    }

private:
    QString Path(const QString& name) const {
        return QString::fromStdString(m_dir.File(name.toStdString()));
    }

    kjtest::TempDir m_dir;
    std::unique_ptr<Module> m_resources;
    std::unique_ptr<CDlgMain> m_dialog;
    std::unique_ptr<TestPrompter> m_prompter;
    int m_calls = 0;
};

QTEST_MAIN(AudioRowsTest)
#include "audio_rows_test.moc"
