// Takes the README's screenshots of the main window: idle with the given files in its list (their
// pictures decoded, the last row selected as a card), and during a join (stop look, progress
// part way). Run it on a real display or under Xvfb (scripts/screenshots.sh does):
//   kj-screenshots OUT_FOLDER SUFFIX FILE...
// writes OUT_FOLDER/main-window<SUFFIX>.png and main-window-joining<SUFFIX>.png.
#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <cstdio>
#include <thread>

#include "app/dlg_main.h"
#include "app/prompter.h"
#include "job/job_state.h"
#include "job/join_job.h"
#include "kinds/join_engines.h"
#include "mcljoin/mcl_api.h"
#include "platform/module.h"

namespace {
// Answers the join's dialogs without a person: a scratch output, no to every question.
class ScriptedPrompter : public Prompter {
public:
    void Message(QWidget*, const QString&) override {}
    bool Question(QWidget*, const QString&) override { return false; }
    QStringList OpenFileNames(QWidget*, const QString&) override { return {}; }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return QStringLiteral("/tmp/kj-screenshot-join.out");
    }
    void JoinFailed(QWidget*, const QString&) override {}
    void OpenWithShell(const QString&) override {}
};
}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: kj-screenshots OUT_FOLDER SUFFIX FILE...\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString suffix = QString::fromLocal8Bit(argv[2]);
    auto resources = Module::Load("rvkhelper");
    if (resources == nullptr) {
        std::fprintf(stderr, "kj-screenshots: no resource module next to the program\n");
        return 1;
    }
    // AVI and MPEG rows are filled by the conversion module's scan, as in the program.
    auto conversion = Module::Load("zivuvore");
    LoadMclApi(conversion.get());
    ScriptedPrompter prompter;
    SetPrompter(&prompter);
    CDlgMain dialog;
    if (!dialog.OnInitDialog()) {
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        dialog.AddFile(QString::fromLocal8Bit(argv[i]));
    }
    // The last row (in the script, a file cut short) is the selected one, shown as a card; the
    // window is a little larger than its layout, so every row shows.
    dialog.List()->topLevelItem(dialog.RowCount() - 1)->setSelected(true);
    dialog.resize(dialog.size() + QSize(60, 110));
    dialog.show();
    // Every row's picture is in before the first picture is taken.
    while (dialog.PicturesPending()) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    // The join is held half way by a stand-in engine, so the running look can be taken.
    std::atomic<bool> release{false};
    JoinEngine held = [&release](JoinHost& host, const std::string&) {
        host.PostJoinPercent(45);
        SetJobStatusText("Joining: 45% of the video has been written");
        host.PostJoinProgress(45);
        while (!release && g_stopRequested == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return 0;
    };
    MediaKind kind = dialog.RowRecord(0)->m_nKind;
    SetEngineForKind(kind, held);

    int status = 0;
    auto grab = [&](const char* name) {
        QPixmap shot = dialog.grab();
        QString file = folder + QLatin1Char('/') + QLatin1String(name) + suffix + ".png";
        if (!shot.save(file)) {
            std::fprintf(stderr, "kj-screenshots: cannot write %s\n", qPrintable(file));
            status = 1;
        }
    };
    QTimer::singleShot(500, &dialog, [&] {
        grab("main-window");
        QMetaObject::invokeMethod(
            &dialog, [&] { dialog.OnJoin(); }, Qt::QueuedConnection);
    });
    QTimer::singleShot(1500, &dialog, [&] {
        grab("main-window-joining");
        release = true;
        g_stopRequested = 1;
        QTimer::singleShot(300, &application, [&] {
            SetPrompter(nullptr);
            application.exit(status);
        });
    });
    return application.exec();
}
