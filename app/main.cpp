#include <QApplication>

#include "app/join_app.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kjoiner"));
    QApplication::setApplicationDisplayName(QStringLiteral("Kelvane Joiner"));
    QApplication::setOrganizationName(QStringLiteral("Kelvane"));
    CJoinApp app;
    return app.Run();
}
