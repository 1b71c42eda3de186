// Draws every bitmap and icon of the resource module, at 1x and 2x, and writes the resource
// list that the build compiles into the module. Usage: kjartgen OUTPUT_FOLDER
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextStream>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Art {
    const char* folder;  // "bitmap" or "icon"
    int id;
    int width;
    int height;
    std::function<void(QPainter&, QSizeF)> draw;
};

void FlatButton(QPainter& p, QSizeF size, QColor fill) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(QPointF(0, 0), size), 6, 6);
}

void Mask(QPainter& p, QSizeF size) {
    p.fillRect(QRectF(QPointF(0, 0), size), Qt::white);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRoundedRect(QRectF(QPointF(0, 0), size), 6, 6);
}

void Arrow(QPainter& p, QSizeF size, bool up, bool bar) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 70, 110), size.width() / 10, Qt::SolidLine, Qt::RoundCap));
    qreal w = size.width(), h = size.height();
    qreal tip = up ? h * 0.3 : h * 0.7, base = up ? h * 0.6 : h * 0.4;
    p.drawLine(QPointF(w * 0.25, base), QPointF(w * 0.5, tip));
    p.drawLine(QPointF(w * 0.75, base), QPointF(w * 0.5, tip));
    if (bar) {
        qreal y = up ? h * 0.18 : h * 0.82;
        p.drawLine(QPointF(w * 0.25, y), QPointF(w * 0.75, y));
    }
}

std::vector<Art> Catalogue() {
    const QColor blue(62, 120, 190), blueHover(90, 150, 220), grey(170, 178, 188);
    const QColor red(196, 70, 60), redHover(222, 96, 84);
    auto button = [](QColor c) { return [c](QPainter& p, QSizeF s) { FlatButton(p, s, c); }; };
    std::vector<Art> arts = {
        {"bitmap", 153, 680, 408,
         [](QPainter& p, QSizeF s) {
             p.fillRect(QRectF(QPointF(0, 0), s), QColor(236, 240, 245));
             p.fillRect(QRectF(0, 0, s.width(), 40), QColor(44, 62, 86));
         }},
        {"bitmap", 159, 8, 24, button(QColor(214, 222, 232))},
        {"bitmap", 145, 100, 36, Mask},
        {"bitmap", 149, 150, 28, Mask},
        {"bitmap", 158, 24, 20, Mask},
        {"bitmap", 179, 580, 24, Mask},
        {"bitmap", 150, 150, 28, button(QColor(44, 62, 86))},
        {"bitmap", 148, 150, 28, button(QColor(64, 86, 116))},
        {"bitmap", 177, 580, 24, button(QColor(250, 251, 253))},
    };
    // Push buttons: normal, hover, disabled.
    const int pushButtons[][3] = {{164, 162, 163}, {167, 165, 166}, {174, 176, 175}};
    for (const auto& ids : pushButtons) {
        arts.push_back({"bitmap", ids[0], 100, 36, button(blue)});
        arts.push_back({"bitmap", ids[1], 100, 36, button(blueHover)});
        arts.push_back({"bitmap", ids[2], 100, 36, button(grey)});
    }
    arts.push_back({"bitmap", 169, 100, 36, button(QColor(46, 150, 90))});
    arts.push_back({"bitmap", 168, 100, 36, button(QColor(70, 176, 112))});
    arts.push_back({"bitmap", 151, 100, 36, button(red)});
    arts.push_back({"bitmap", 152, 100, 36, button(redHover)});
    // Title-bar buttons: menu, minimise, close (normal and hover).
    for (int id : {161, 156, 157}) {
        arts.push_back({"bitmap", id, 24, 20, button(QColor(44, 62, 86))});
    }
    for (int id : {160, 154, 155}) {
        arts.push_back({"bitmap", id, 24, 20, button(QColor(84, 106, 136))});
    }
    arts.push_back({"icon", 134, 32, 32, [](QPainter& p, QSizeF s) { Arrow(p, s, true, false); }});
    arts.push_back({"icon", 133, 32, 32, [](QPainter& p, QSizeF s) { Arrow(p, s, false, false); }});
    arts.push_back({"icon", 135, 32, 32, [](QPainter& p, QSizeF s) { Arrow(p, s, true, true); }});
    arts.push_back({"icon", 136, 32, 32, [](QPainter& p, QSizeF s) { Arrow(p, s, false, true); }});
    arts.push_back({"icon", 180, 32, 32, [](QPainter& p, QSizeF s) {
                        p.setRenderHint(QPainter::Antialiasing);
                        p.setPen(Qt::NoPen);
                        p.setBrush(QColor(46, 150, 90));
                        QPolygonF triangle;
                        triangle << QPointF(s.width() * 0.3, s.height() * 0.2)
                                 << QPointF(s.width() * 0.8, s.height() * 0.5)
                                 << QPointF(s.width() * 0.3, s.height() * 0.8);
                        p.drawPolygon(triangle);
                    }});
    return arts;
}

bool Render(const Art& art, int scale, const QString& path) {
    QImage image(art.width * scale, art.height * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(art.folder == QLatin1String("icon") ? Qt::transparent : Qt::white);
    QPainter painter(&image);
    painter.scale(scale, scale);
    art.draw(painter, QSizeF(art.width, art.height));
    painter.end();
    return image.save(path, "PNG");
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kjartgen OUTPUT_FOLDER\n");
        return 2;
    }
    QDir out(QString::fromLocal8Bit(argv[1]));
    out.mkpath(QStringLiteral("bitmap"));
    out.mkpath(QStringLiteral("icon"));
    QString qrc;
    QTextStream list(&qrc);
    list << "<RCC>\n  <qresource prefix=\"/\">\n";
    for (const Art& art : Catalogue()) {
        for (int scale : {1, 2}) {
            QString name = QStringLiteral("%1/%2%3.png")
                               .arg(QLatin1String(art.folder))
                               .arg(art.id)
                               .arg(scale == 2 ? QStringLiteral("@2x") : QString());
            if (!Render(art, scale, out.filePath(name))) {
                std::fprintf(stderr, "kjartgen: cannot write %s\n", qPrintable(out.filePath(name)));
                return 1;
            }
            list << "    <file>" << name << "</file>\n";
        }
    }
    list << "  </qresource>\n</RCC>\n";
    QFile file(out.filePath(QStringLiteral("art.qrc")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(qrc.toUtf8()) < 0) {
        std::fprintf(stderr, "kjartgen: cannot write the resource list\n");
        return 1;
    }
    return 0;
}
