// The artwork of the resource module against the main window's layout: every numbered bitmap
// and icon is there at both densities, and each skinned control has the size of its mask.
#include <QFile>
#include <QXmlStreamReader>
#include <QtTest>
#include <map>

#include "skin_test_support.h"

namespace {
constexpr int kMainDialog = 129;
constexpr int kBackground = 153;
constexpr QSize kWindowSize(680, 408);

struct ButtonArt {
    int control;
    int normal, selected, hover, disabled, mask;
};
// The bitmap buttons of the main window (the join button also has its running set).
constexpr ButtonArt kButtons[] = {
    {1042, 150, 150, 148, 150, 149}, {1008, 164, 164, 162, 163, 145},
    {1009, 167, 167, 165, 166, 145}, {1010, 174, 174, 176, 175, 145},
    {1011, 169, 169, 168, 169, 145}, {1011, 151, 151, 152, 151, 145},
    {1046, 177, 177, 177, 177, 179}, {1043, 156, 156, 154, 156, 158},
    {1044, 157, 157, 155, 157, 158}, {1045, 161, 161, 160, 161, 158},
};
struct IconArt {
    int control;
    int icon;
};
constexpr IconArt kIcons[] = {{1005, 134}, {1006, 133}, {1004, 135}, {1007, 136}, {1047, 180}};
constexpr QSize kIconSize(32, 32);
constexpr int kHeaderTile = 159;

// Control geometry by id (object name) from a Qt Designer layout.
std::map<int, QRect> ControlGeometry(const QByteArray& layout) {
    std::map<int, QRect> geometry;
    QXmlStreamReader xml(layout);
    std::vector<int> open;  // ids of the widgets being read, innermost last
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("widget")) {
            open.push_back(xml.attributes().value(QLatin1String("name")).toInt());
        } else if (xml.isEndElement() && xml.name() == QLatin1String("widget")) {
            open.pop_back();
        } else if (xml.isStartElement() && xml.name() == QLatin1String("rect") && !open.empty()) {
            QRect rect;
            while (xml.readNextStartElement()) {
                const int value = xml.readElementText().toInt();
                if (xml.name() == QLatin1String("x"))
                    rect.moveLeft(value);
                if (xml.name() == QLatin1String("y"))
                    rect.moveTop(value);
                if (xml.name() == QLatin1String("width"))
                    rect.setWidth(value);
                if (xml.name() == QLatin1String("height"))
                    rect.setHeight(value);
            }
            geometry[open.back()] = rect;
        }
    }
    return geometry;
}

QString Name(const char* folder, int id, bool dense) {
    return QStringLiteral(":/%1/%2%3.png")
        .arg(QLatin1String(folder))
        .arg(id)
        .arg(dense ? "@2x" : "");
}

void VerifyBothDensities(const char* folder, int id) {
    const QImage plain(Name(folder, id, false));
    const QImage dense(Name(folder, id, true));
    QVERIFY2(!plain.isNull(), qPrintable(Name(folder, id, false)));
    QVERIFY2(!dense.isNull(), qPrintable(Name(folder, id, true)));
    QCOMPARE(dense.size(), plain.size() * 2);
}
}  // namespace

class TestSkinArtwork : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        m_module = skintest::LoadResourceModule();
        QVERIFY(m_module != nullptr);
        m_geometry = ControlGeometry(res::DialogTemplate(kMainDialog));
        QVERIFY(!m_geometry.empty());
    }

    void everyBitmapAndIconAtBothDensities() {
        VerifyBothDensities("bitmap", kBackground);
        VerifyBothDensities("bitmap", kHeaderTile);
        for (const ButtonArt& art : kButtons) {
            for (int id : {art.normal, art.selected, art.hover, art.disabled, art.mask}) {
                VerifyBothDensities("bitmap", id);
            }
        }
        for (const IconArt& art : kIcons) {
            VerifyBothDensities("icon", art.icon);
            QCOMPARE(res::Icon(art.icon).deviceIndependentSize().toSize(), kIconSize);
        }
        QCOMPARE(res::BitmapImage(kBackground).size(), kWindowSize);
    }

    void controlsHaveTheSizeOfTheirArtwork() {
        QCOMPARE(m_geometry.at(kMainDialog).size(), kWindowSize);
        for (const ButtonArt& art : kButtons) {
            const QRect rect = m_geometry.at(art.control);
            const QSize mask = res::BitmapImage(art.mask).size();
            QVERIFY2(rect.size() == mask,
                     qPrintable(QStringLiteral("control %1").arg(art.control)));
            for (int id : {art.normal, art.selected, art.hover, art.disabled}) {
                QCOMPARE(res::BitmapImage(id).size(), mask);
            }
        }
        for (const IconArt& art : kIcons) {
            const QRect rect = m_geometry.at(art.control);
            QVERIFY(rect.width() >= kIconSize.width() + 2 &&
                    rect.height() >= kIconSize.height() + 2);
        }
        for (const auto& [control, rect] : m_geometry) {
            QVERIFY2(QRect(QPoint(0, 0), kWindowSize).contains(rect),
                     qPrintable(QStringLiteral("control %1 outside the window").arg(control)));
        }
    }

    void masksCoverEveryDrawnPixel() {
        // A pixel drawn outside the mask would be cut off by the window region.
        for (const ButtonArt& art : kButtons) {
            const QImage mask = res::BitmapImage(art.mask).convertToFormat(QImage::Format_RGB32);
            for (int id : {art.normal, art.hover, art.disabled}) {
                const QImage image = res::BitmapImage(id).convertToFormat(QImage::Format_ARGB32);
                for (int y = 0; y < image.height(); ++y) {
                    for (int x = 0; x < image.width(); ++x) {
                        if (qAlpha(image.pixel(x, y)) > 0 &&
                            skintest::Rgb(mask, x, y) == 0xFFFFFF) {
                            QFAIL(qPrintable(
                                QStringLiteral("bitmap %1 at %2,%3").arg(id).arg(x).arg(y)));
                        }
                    }
                }
            }
        }
    }

private:
    std::unique_ptr<Module> m_module;
    std::map<int, QRect> m_geometry;
};

QTEST_MAIN(TestSkinArtwork)
#include "tst_skin_artwork.moc"
