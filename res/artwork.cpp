#include "res/artwork.h"

#include <QGuiApplication>
#include <QString>

namespace res {

namespace {
QString ArtPath(const char* folder, int id) {
    return QStringLiteral(":/%1/%2.png").arg(QLatin1String(folder)).arg(id);
}

// A pixmap at the screen's density when the module has a @2x drawing of it.
QPixmap DensePixmap(const QString& path) {
    qreal ratio = qApp != nullptr ? qApp->devicePixelRatio() : 1.0;
    if (ratio > 1.0) {
        QString dense = path;
        dense.insert(dense.lastIndexOf(QLatin1Char('.')), QStringLiteral("@2x"));
        QPixmap pixmap(dense);
        if (!pixmap.isNull()) {
            pixmap.setDevicePixelRatio(2.0);
            return pixmap;
        }
    }
    return QPixmap(path);
}
}  // namespace

QPixmap Bitmap(int id) {
    return DensePixmap(ArtPath("bitmap", id));
}

QImage BitmapImage(int id) {
    return QImage(ArtPath("bitmap", id));
}

QPixmap Icon(int id) {
    return DensePixmap(ArtPath("icon", id));
}

}  // namespace res
