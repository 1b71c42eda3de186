// Takes the README's screenshots of the main window: idle with the given files in its list, and
// during a join (stop look, progress part way). Run it on a real display or under Xvfb:
//   kj-screenshots OUT_FOLDER FILE...
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
#include "job/join_engines.h"
#include "job/join_job.h"
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
    if (argc < 3) {
        std::fprintf(stderr, "usage: kj-screenshots OUT_FOLDER FILE...\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
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
    for (int i = 2; i < argc; ++i) {
        dialog.AddFile(QString::fromLocal8Bit(argv[i]));
    }
    dialog.List()->topLevelItem(1)->setSelected(true);
    dialog.show();

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
        if (!shot.save(folder + QLatin1Char('/') + QLatin1String(name))) {
            std::fprintf(stderr, "kj-screenshots: cannot write %s\n", name);
            status = 1;
        }
    };
    QTimer::singleShot(500, &dialog, [&] {
        grab("main-window.png");
        QMetaObject::invokeMethod(
            &dialog, [&] { dialog.OnJoin(); }, Qt::QueuedConnection);
    });
    QTimer::singleShot(1500, &dialog, [&] {
        grab("main-window-joining.png");
        release = true;
        g_stopRequested = 1;
        QTimer::singleShot(300, &application, [&] {
            SetPrompter(nullptr);
            application.exit(status);
        });
    });
    return application.exec();
}
