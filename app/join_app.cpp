#include "app/join_app.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>

#include "app/dlg_main.h"
#include "app/stop_signals.h"
#include "job/job_state.h"
#include "mcljoin/mcl_api.h"
#include "platform/module.h"
#include "platform/vfw.h"

CJoinApp::CJoinApp() = default;

CJoinApp::~CJoinApp() = default;

bool CJoinApp::InitInstance() {
    m_hResources = Module::Load("rvkhelper");
    if (m_hResources == nullptr) {
        // Without its resources the program has no window to show: say so instead of ending
        // without a word.
        std::fprintf(stderr,
                     "kjoiner: cannot load the resource module %s (looked in %s and the system's "
                     "library folders). Reinstall Kelvane Joiner.\n",
                     ModuleFileName("rvkhelper").c_str(), ModuleFolder().c_str());
        m_exitCode = 1;
        return false;
    }
    AVIFileInit();
    m_hConversion = Module::Load("zivuvore");
    LoadMclApi(m_hConversion.get());

    {
        CDlgMain dialog;
        if (!dialog.OnInitDialog()) {
            std::fprintf(stderr, "kjoiner: the resource module %s has no main window layout.\n",
                         m_hResources->path().c_str());
            m_exitCode = 1;
            return false;
        }
        // A termination request ends a running join cleanly and closes the window.
        StopSignals stopSignals;
        QObject::connect(&stopSignals, &StopSignals::Received, &dialog, &CDlgMain::OnStopSignal);
        if (!m_filesToAdd.isEmpty()) {
            QTimer::singleShot(0, &dialog, [this, &dialog] { dialog.AddFiles(m_filesToAdd); });
        }
        if (m_onDialogReady) {
            QTimer::singleShot(0, &dialog, [this, &dialog] { m_onDialogReady(dialog); });
        }
        dialog.exec();
        if (dialog.StopSignal() != 0) {
            std::fprintf(stderr, "kjoiner: ended by signal %d%s.\n", dialog.StopSignal(),
                         dialog.m_bJoining == 0 && g_stopRequested != 0
                             ? "; the unfinished join was stopped and its output removed"
                             : "");
            m_exitCode = 1;
        }
    }
    return false;
}

QStringList CJoinApp::FilesFromArguments(const QStringList& arguments) {
    QStringList files;
    bool endSeen = false;
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--") && !endSeen) {
            endSeen = true;
            continue;
        }
        files << QFileInfo(argument).absoluteFilePath();
    }
    return files;
}

int CJoinApp::ExitInstance() {
    AVIFileExit();
    m_hResources.reset();
    LoadMclApi(nullptr);
    m_hConversion.reset();
    return m_exitCode;
}

int CJoinApp::Run() {
    InitInstance();
    return ExitInstance();
}
