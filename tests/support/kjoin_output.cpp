#include "tests/support/kjoin_output.h"

#include <QByteArray>
#include <QJsonDocument>

namespace kjtest {

QJsonObject JsonOf(const std::string& output) {
    QJsonObject found;
    size_t begin = 0;
    while (begin < output.size()) {
        size_t end = output.find('\n', begin);
        end = end == std::string::npos ? output.size() : end;
        QJsonDocument doc =
            QJsonDocument::fromJson(QByteArray::fromStdString(output.substr(begin, end - begin)));
        if (doc.isObject()) {
            found = doc.object();
        }
        begin = end + 1;
    }
    return found;
}

}  // namespace kjtest
