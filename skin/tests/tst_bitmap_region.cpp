// Window regions made from bitmaps: which pixels qualify, and large run counts.
#include <QtTest>

#include "skin/bitmap_region.h"

namespace {
constexpr QRgb kWhite = 0xFFFFFFFF;

// Every pixel of `image` lies in `region` exactly when it qualifies.
bool MatchesPixels(const QRegion& region, const QImage& image, QRgb colour, bool exclude) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const bool keyed = (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
            if (region.contains(QPoint(x, y)) != (keyed != exclude)) {
                return false;
            }
        }
    }
    return true;
}
}  // namespace

class TestBitmapRegion : public QObject {
    Q_OBJECT

private slots:
    void nullBitmapGivesNoRegion() {
        QVERIFY(CreateRegionFromBitmap(QImage(), kWhite, true).isEmpty());
    }

    void keyColouredBitmapGivesEmptyRegion() {
        QImage image(30, 12, QImage::Format_RGB32);
        image.fill(kWhite);
        QVERIFY(CreateRegionFromBitmap(image, kWhite, true).isEmpty());
        // Including the key colour instead gives the whole bitmap.
        const QRegion all = CreateRegionFromBitmap(image, kWhite, false);
        QVERIFY(all.xored(QRegion(image.rect())).isEmpty());
    }

    void bitmapWithoutKeyGivesFullRectangle() {
        QImage image(30, 12, QImage::Format_RGB32);
        image.fill(qRgb(20, 40, 60));
        const QRegion region = CreateRegionFromBitmap(image, kWhite, true);
        QCOMPARE(region.boundingRect(), image.rect());
        QVERIFY(region.xored(QRegion(image.rect())).isEmpty());
    }

    void alphaIsIgnoredInBothImageAndColour() {
        QImage image(4, 1, QImage::Format_ARGB32);
        image.fill(qRgba(255, 255, 255, 0));  // transparent white is still white
        image.setPixel(2, 0, qRgba(0, 0, 0, 255));
        const QRegion region = CreateRegionFromBitmap(image, qRgba(255, 255, 255, 0), true);
        QVERIFY(region.xored(QRegion(2, 0, 1, 1)).isEmpty());
    }

    void opaqueColumnAtRightEdgeBelongsToRegion() {
        QImage mask(16, 3, QImage::Format_RGB32);
        mask.fill(kWhite);
        mask.setPixel(15, 0, qRgb(0, 0, 0));  // one pixel, last column, first row
        for (int x = 0; x < 16; ++x) {
            mask.setPixel(x, 2, qRgb(0, 0, 0));
        }
        const QRegion region = CreateRegionFromBitmap(mask, kWhite, true);
        QVERIFY(region.contains(QPoint(15, 0)));
        QVERIFY(!region.contains(QPoint(14, 0)));
        // The run ending at the edge must not spill into the next row.
        for (int x = 0; x < 16; ++x) {
            QVERIFY2(!region.contains(QPoint(x, 1)), qPrintable(QString::number(x)));
        }
        QVERIFY(region.contains(QRect(0, 2, 16, 1)));
        QVERIFY(MatchesPixels(region, mask, kWhite, true));
    }

    void runsSeparatedBySinglePixels() {
        // Every other pixel qualifies: each run is one pixel long.
        QImage image(9, 2, QImage::Format_RGB32);
        for (int x = 0; x < 9; ++x) {
            image.setPixel(x, 0, x % 2 == 0 ? qRgb(1, 2, 3) : kWhite);
            image.setPixel(x, 1, x % 2 == 0 ? kWhite : qRgb(1, 2, 3));
        }
        const QRegion region = CreateRegionFromBitmap(image, kWhite, true);
        QVERIFY(MatchesPixels(region, image, kWhite, true));
        QCOMPARE(region.rectCount(), 9);
    }

    void moreThan2000RunsAreUnitedIntoOneRegion() {
        // 60 runs per row over 120 rows: 7200 runs, several batches.
        QImage image(180, 120, QImage::Format_RGB32);
        image.fill(kWhite);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = (y % 3); x < image.width(); x += 3) {
                image.setPixel(x, y, qRgb(200, 0, 0));
            }
        }
        const QRegion region = CreateRegionFromBitmap(image, kWhite, true);
        QVERIFY(MatchesPixels(region, image, kWhite, true));
        QCOMPARE(region.boundingRect(), image.rect());
        QCOMPARE(region.rectCount(), 60 * 120);

        // A large shape with long runs: the batch boundaries leave no seams.
        QImage solid(700, 3000, QImage::Format_RGB32);
        solid.fill(qRgb(0, 0, 0));
        const QRegion whole = CreateRegionFromBitmap(solid, kWhite, true);
        QVERIFY(whole.xored(QRegion(solid.rect())).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBitmapRegion)
#include "tst_bitmap_region.moc"
