// Pictures loaded from files: formats, sizes from HIMETRIC, drawing, failures.
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include "skin/picture_file.h"

namespace {
constexpr int kDotsPerMetreAt96Dpi = 3780;   // what a 96 dpi image stores
constexpr int kDotsPerMetreAt100Dpi = 3937;  // 100 pixels here are 2540 HIMETRIC

QString WriteImage(const QTemporaryDir& dir, const QString& name, QSize size, int dotsPerMetre,
                   QColor fill) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(fill);
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    const QString path = dir.filePath(name);
    return image.save(path) ? path : QString();
}

// A paint device at a chosen logical resolution.
QImage Device(int dotsPerMetre) {
    QImage device(4, 4, QImage::Format_RGB32);
    device.setDotsPerMeterX(dotsPerMetre);
    device.setDotsPerMeterY(dotsPerMetre);
    return device;
}
}  // namespace

class TestPictureFile : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void unreadableFileLeavesPictureEmpty() {
        CPictureFile picture;
        QVERIFY(!picture.Load(m_dir.filePath(QStringLiteral("missing.png"))));
        QFile junk(m_dir.filePath(QStringLiteral("junk.png")));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("not an image at all");
        junk.close();
        QVERIFY(!picture.Load(junk.fileName()));
        QVERIFY(!picture.IsLoaded());
        QCOMPARE(picture.GetSizeInPixels(nullptr), QSize(0, 0));

        QImage target(8, 8, QImage::Format_RGB32);
        target.fill(Qt::green);
        QPainter painter(&target);
        QVERIFY(!picture.Render(painter, QRect(0, 0, 8, 8)));
        painter.end();
        QCOMPARE(target.pixel(4, 4), QColor(Qt::green).rgb());
    }

    void failedLoadDropsThePreviousPicture() {
        CPictureFile picture;
        QVERIFY(
            picture.Load(WriteImage(m_dir, "a.png", QSize(10, 10), kDotsPerMetreAt96Dpi, Qt::red)));
        QVERIFY(!picture.Load(m_dir.filePath(QStringLiteral("missing.bmp"))));
        QVERIFY(!picture.IsLoaded());
        QCOMPARE(picture.HimetricSize(), QSize(0, 0));
    }

    void himetric2540MeasuresOneInch() {
        CPictureFile picture;
        QVERIFY(picture.Load(
            WriteImage(m_dir, "inch.png", QSize(100, 100), kDotsPerMetreAt100Dpi, Qt::blue)));
        QCOMPARE(picture.HimetricSize(), QSize(2540, 2540));
        const QImage screen = Device(kDotsPerMetreAt96Dpi);
        QCOMPARE(screen.logicalDpiX(), 96);
        QCOMPARE(picture.GetSizeInPixels(&screen), QSize(96, 96));
        // Twice the resolution, twice the pixels; no device counts as 96 dpi.
        const QImage dense = Device(2 * kDotsPerMetreAt96Dpi);
        QCOMPARE(picture.GetSizeInPixels(&dense), QSize(192, 192));
        QCOMPARE(picture.GetSizeInPixels(nullptr), QSize(96, 96));
    }

    void pictureWithoutResolutionCountsAs96Dpi() {
        CPictureFile picture;
        // Formats without a stored resolution (here PPM) are taken as 96 dpi.
        QImage image(48, 24, QImage::Format_RGB32);
        image.fill(Qt::yellow);
        const QString path = m_dir.filePath(QStringLiteral("plain.ppm"));
        QVERIFY(image.save(path, "PPM"));
        QVERIFY(picture.Load(path));
        QCOMPARE(picture.HimetricSize(), QSize(1270, 635));
        const QImage screen = Device(kDotsPerMetreAt96Dpi);
        QCOMPARE(picture.GetSizeInPixels(&screen), QSize(48, 24));
    }

    void renderScalesTheWholePicture() {
        CPictureFile picture;
        QImage source(2, 1, QImage::Format_RGB32);
        source.setPixel(0, 0, qRgb(255, 0, 0));
        source.setPixel(1, 0, qRgb(0, 0, 255));
        const QString path = m_dir.filePath(QStringLiteral("two.bmp"));
        QVERIFY(source.save(path, "BMP"));
        QVERIFY(picture.Load(path));

        QImage target(40, 20, QImage::Format_RGB32);
        target.fill(Qt::white);
        QPainter painter(&target);
        QVERIFY(picture.Render(painter, QRect(0, 0, 40, 20)));
        painter.end();
        QCOMPARE(qRed(target.pixel(2, 10)), 255);
        QCOMPARE(qBlue(target.pixel(37, 10)), 255);
        QCOMPARE(qRed(target.pixel(37, 10)), 0);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestPictureFile)
#include "tst_picture_file.moc"
