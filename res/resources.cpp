#include "res/resources.h"

#include <QFile>
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
}  // namespace

bool Available() {
    return QFile::exists(QStringLiteral(":/string/180"));
}

QString String(int id) {
    return QString::fromUtf8(ReadAll(Path("string", id))).trimmed();
}

QByteArray DialogTemplate(int id) {
    return ReadAll(Path("dialog", id, ".ui"));
}

std::vector<MenuPopup> Menu(int id) {
    std::vector<MenuPopup> popups;
    QJsonDocument doc = QJsonDocument::fromJson(ReadAll(Path("menu", id)));
    const QJsonArray list = doc.object().value(QStringLiteral("popups")).toArray();
    for (const auto& popupValue : list) {
        QJsonObject popupObject = popupValue.toObject();
        MenuPopup popup;
        popup.title = popupObject.value(QStringLiteral("title")).toString();
        const QJsonArray items = popupObject.value(QStringLiteral("items")).toArray();
        for (const auto& itemValue : items) {
            QJsonObject itemObject = itemValue.toObject();
            popup.items.push_back({itemObject.value(QStringLiteral("id")).toInt(),
                                   itemObject.value(QStringLiteral("text")).toString()});
        }
        popups.push_back(std::move(popup));
    }
    return popups;
}

}  // namespace res
