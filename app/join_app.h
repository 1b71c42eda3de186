// The application: loads the resource module and the conversion engine, runs the main dialog,
// and releases everything in a fixed order when the dialog has ended.
#pragma once

#include <QStringList>
#include <functional>
#include <memory>

class CDlgMain;
class Module;

class CJoinApp {
public:
    CJoinApp();
    ~CJoinApp();

    // Runs the whole application; always returns false (there is no loop of the app's own).
    bool InitInstance();
    // Releases the modules; returns the process exit code.
    int ExitInstance();
    // InitInstance, then ExitInstance.
    int Run();

    // Called once the main dialog is up, before its modal run (tests drive it from here).
    std::function<void(CDlgMain&)> m_onDialogReady;

    // The files named on the command line, added to the list (with the same checks and messages
    // as files chosen in the window) as soon as the window is up.
    QStringList m_filesToAdd;
    // The files among the program's arguments (its name left out): every argument is a file,
    // "--" once excepted; relative paths are made absolute.
    static QStringList FilesFromArguments(const QStringList& arguments);

    std::unique_ptr<Module> m_hConversion;  // zivuvore
    std::unique_ptr<Module> m_hResources;   // rvkhelper

private:
    int m_exitCode = 0;
};
