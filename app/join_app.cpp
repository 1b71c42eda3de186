#include "app/join_app.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "app/dlg_main.h"
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
        if (m_onDialogReady) {
            QTimer::singleShot(0, &dialog, [this, &dialog] { m_onDialogReady(dialog); });
        }
        dialog.exec();
    }
    return false;
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
