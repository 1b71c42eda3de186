#include "res/resources.h"

#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace res {

namespace {
QString Path(const char* folder, int id, const char* suffix = "") {
    return QStringLiteral(":/%1/%2%3")
        .arg(QLatin1String(folder))
        .arg(id)
        .arg(QLatin1String(suffix));
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
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

bool Available() {
    return QFile::exists(QStringLiteral(":/string/180"));
}

QString String(int id) {
    return QString::fromUtf8(ReadAll(Path("string", id))).trimmed();
}

QPixmap Bitmap(int id) {
    return DensePixmap(Path("bitmap", id, ".png"));
}

QImage BitmapImage(int id) {
    return QImage(Path("bitmap", id, ".png"));
}

QPixmap Icon(int id) {
    return DensePixmap(Path("icon", id, ".png"));
}

QByteArray DialogTemplate(int id) {
    return ReadAll(Path("dialog", id, ".ui"));
}

std::vector<MenuPopup> Menu(int id) {
    std::vector<MenuPopup> popups;
    QJsonDocument doc = QJsonDocument::fromJson(ReadAll(Path("menu", id)));
    const QJsonArray list = doc.object().value(QStringLiteral("popups")).toArray();
    for (const QJsonValue& popupValue : list) {
        QJsonObject popupObject = popupValue.toObject();
        MenuPopup popup;
        popup.title = popupObject.value(QStringLiteral("title")).toString();
        const QJsonArray items = popupObject.value(QStringLiteral("items")).toArray();
        for (const QJsonValue& itemValue : items) {
            QJsonObject itemObject = itemValue.toObject();
            popup.items.push_back({itemObject.value(QStringLiteral("id")).toInt(),
                                   itemObject.value(QStringLiteral("text")).toString()});
        }
        popups.push_back(std::move(popup));
    }
    return popups;
}

}  // namespace res
