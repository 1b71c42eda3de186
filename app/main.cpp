#include <QApplication>

#include "app/join_app.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kjoiner"));
    QApplication::setApplicationDisplayName(QStringLiteral("Kelvane Joiner"));
    QApplication::setOrganizationName(QStringLiteral("Kelvane"));
    CJoinApp app;
    // kjoiner FILE...: the files a file manager (or a person) hands over start in the list.
    app.m_filesToAdd = CJoinApp::FilesFromArguments(QApplication::arguments().mid(1));
    return app.Run();
}
