// The list header, the progress bar, the icon buttons, the skinned dialog, and the artwork
// fitted to the main window's layout.
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest>

#include "skin/bk_dialog.h"
#include "skin/bk_header_ctrl.h"
#include "skin/bk_progress_ctrl.h"
#include "skin/icon_button.h"
#include "skin_test_support.h"

namespace {
constexpr QRgb kTileBlue = 0x0000FF;
constexpr QRgb kTileMagenta = 0xFF00FF;
constexpr int kBackground = 153;
constexpr int kHeaderTile = 159;
constexpr int kPlayIcon = 180;
constexpr int kMoveUpIcon = 134;

QImage Grab(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

void SendMove(QWidget* widget, QPoint pos) {
    QMouseEvent move(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}
}  // namespace

class TestSkinControls : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        m_module = skintest::LoadResourceModule();
        QVERIFY2(m_module != nullptr, "librvkhelper.so not found; is KJ_BIN_DIR set?");
    }

    void headerTilesEndOnePixelBeforeTheRightEdge_data() {
        QTest::addColumn<int>("width");
        QTest::newRow("many tiles") << 50;
        QTest::newRow("narrower than two tiles") << 12;
        QTest::newRow("narrower than one tile") << 6;
    }

    void headerTilesEndOnePixelBeforeTheRightEdge() {
        QFETCH(int, width);
        QStandardItemModel model(0, 2);
        model.setHorizontalHeaderLabels({QString(), QString()});
        CBkHeaderCtrl header;
        header.setModel(&model);
        QVERIFY(header.LoadBitmap(skintest::kTile8x4));
        header.setMinimumSectionSize(1);
        header.resizeSection(0, width);
        QCOMPARE(header.sectionSize(0), width);
        header.resizeSection(1, 30);
        header.resize(200, 20);
        header.show();
        const QImage image = Grab(header);
        const int right = header.sectionPosition(0) + width;  // one past the section
        // The last tile: magenta up to right - 2, its blue first column at right - 9.
        QCOMPARE(image.pixel(right - 2, 10) & 0xFFFFFF, kTileMagenta);
        QVERIFY((image.pixel(right - 1, 10) & 0xFFFFFF) != kTileMagenta);
        if (width >= 10) {
            QCOMPARE(image.pixel(right - 9, 10) & 0xFFFFFF, kTileBlue);
        }
        // Tiles start one pixel in from the left edge, unless the last one, placed from the
        // right, reaches further left.
        if (width >= 10) {
            QVERIFY((image.pixel(0, 10) & 0xFFFFFF) != kTileMagenta);
            QCOMPARE(image.pixel(1, 10) & 0xFFFFFF, kTileBlue);
        } else {
            QCOMPARE(image.pixel(0, 10) & 0xFFFFFF, kTileMagenta);
        }
        // Drawn over the whole height, even though the tile is shorter.
        QCOMPARE(image.pixel(right - 2, 19) & 0xFFFFFF, kTileMagenta);
    }

    void headerCaptionHasWhiteShadowUnderBlackText() {
        QStandardItemModel model(0, 1);
        model.setHorizontalHeaderLabels({QStringLiteral("\u2588\u2588\u2588")});  // solid blocks
        CBkHeaderCtrl header;
        header.setModel(&model);
        QVERIFY(header.LoadBitmap(skintest::kTile8x4));
        header.resizeSection(0, 120);
        header.resize(120, 24);
        header.show();
        const QImage image = Grab(header);
        int black = 0;
        int white = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y) & 0xFFFFFF;
                black += pixel == 0x000000 ? 1 : 0;
                white += pixel == 0xFFFFFF ? 1 : 0;
            }
        }
        QVERIFY(black > 20);
        QVERIFY(white > 0);  // the shadow shows below and right of the text
        QVERIFY(!header.LoadBitmap(99999));
        QVERIFY(header.LoadBitmap(kHeaderTile));
    }

    void progressBackgroundIsSteelBlue() {
        CBkProgressCtrl bar;
        QCOMPARE(QString::fromLatin1(bar.metaObject()->className()),
                 QStringLiteral("CBkProgressCtrl"));
        bar.setRange(0, 100);
        bar.setValue(40);
        bar.setTextVisible(false);
        bar.resize(200, 14);
        bar.show();
        const QImage image = Grab(bar);
        QCOMPARE(image.pixel(190, 7), QColor(95, 147, 199).rgb());
        QVERIFY(image.pixel(10, 7) != QColor(95, 147, 199).rgb());  // the filled part
        QCOMPARE(image.pixel(70, 7), image.pixel(10, 7));
        bar.setValue(0);
        QCOMPARE(Grab(bar).pixel(10, 7), QColor(95, 147, 199).rgb());
    }

    void iconButtonDrawsOverItsParentsBackground() {
        CBkDialog dialog;
        QVERIFY(dialog.SetBackgroundBitmap(kBackground));
        CIconButton button(&dialog);
        button.setGeometry(612, 56, 48, 40);
        button.SetIcon(kPlayIcon);
        button.SetTransparent(true);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        const QImage background =
            res::BitmapImage(kBackground).convertToFormat(QImage::Format_RGB32);
        QImage look = Grab(button);
        // A corner away from the icon shows the dialog's bitmap under the button.
        QCOMPARE(look.pixel(1, 1), background.pixel(613, 57));
        QCOMPARE(look.pixel(46, 38), background.pixel(658, 94));
        // The icon is centred: its middle differs from the background.
        QVERIFY(look.pixel(24, 20) != background.pixel(636, 76));

        // Opaque, the button shows its face colour instead.
        button.SetTransparent(false);
        look = Grab(button);
        QCOMPARE(look.pixel(1, 1), button.palette().color(QPalette::Button).rgb());
    }

    void iconButtonHoverBorderAndDisabledLook() {
        QWidget parent;
        parent.resize(100, 100);
        CIconButton button(&parent);
        button.setGeometry(10, 10, 48, 40);
        button.SetIcon(kMoveUpIcon);
        parent.show();
        parent.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&parent));

        const QImage plain = Grab(button);
        SendMove(&button, QPoint(20, 20));
        QVERIFY(button.IsHovered());
        const QImage hovered = Grab(button);
        const QPalette& pal = button.palette();
        // Raised: light along the top and left, dark along the bottom and right.
        QCOMPARE(hovered.pixel(20, 0), pal.color(QPalette::Light).rgb());
        QCOMPARE(hovered.pixel(0, 20), pal.color(QPalette::Light).rgb());
        QCOMPARE(hovered.pixel(20, 39), pal.color(QPalette::Dark).rgb());
        QCOMPARE(hovered.pixel(47, 20), pal.color(QPalette::Dark).rgb());
        QVERIFY(plain.pixel(20, 0) != hovered.pixel(20, 0));

        QTest::mousePress(&button, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
        const QImage pushed = Grab(button);
        QCOMPARE(pushed.pixel(20, 0), pal.color(QPalette::Dark).rgb());  // sunken
        QCOMPARE(pushed.pixel(20, 39), pal.color(QPalette::Light).rgb());
        QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));

        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&button, &leave);
        QVERIFY(!button.IsHovered());
        QCOMPARE(Grab(button), plain);
        button.setEnabled(false);
        QVERIFY(Grab(button) != plain);  // the icon greys out

        // Disabled text is embossed: a light copy one pixel down and right.
        button.SetIcon(0);
        button.setText(QStringLiteral("\u2588"));
        const QImage text = Grab(button);
        bool light = false;
        bool dark = false;
        for (int y = 0; y < text.height(); ++y) {
            for (int x = 0; x < text.width(); ++x) {
                light = light || text.pixel(x, y) == pal.color(QPalette::Light).rgb();
                dark = dark || text.pixel(x, y) == pal.color(QPalette::Dark).rgb();
            }
        }
        QVERIFY(light && dark);
    }

    void iconButtonCheckBoxToggles() {
        QWidget parent;
        CIconButton box(&parent);
        box.setCheckable(true);
        box.ensurePolished();
        QVERIFY(box.IsCheckBox());
        parent.show();
        QTest::mouseClick(&box, Qt::LeftButton);
        QVERIFY(box.GetCheck());
        QTest::mouseClick(&box, Qt::LeftButton);
        QVERIFY(!box.GetCheck());
    }

    void dialogBackgroundSources() {
        CBkDialog dialog;
        QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(!dialog.HasBackground());
        QVERIFY(dialog.SetBackgroundBitmap(kBackground));
        QVERIFY(dialog.HasBackground());
        QVERIFY(dialog.mask().isEmpty());  // loading by number keeps the window's shape

        // A number that does not load leaves no background.
        QVERIFY(!dialog.SetBackgroundBitmap(99999));
        QVERIFY(!dialog.HasBackground());
        QVERIFY(!dialog.SetBackgroundBitmap(QStringLiteral("no such name")));
        QVERIFY(!dialog.HasBackground());

        // By name ("#153") the window also takes the bitmap's shape: all of it, no white there.
        dialog.resize(680, 408);
        QVERIFY(dialog.SetBackgroundBitmap(QStringLiteral("#153")));
        QCOMPARE(dialog.mask().boundingRect(), QRect(0, 0, 680, 408));

        CBkDialog fromId(nullptr, QString(), kBackground);
        QVERIFY(fromId.HasBackground());
        QPixmap given(30, 20);
        given.fill(Qt::red);
        CBkDialog fromPixmap(nullptr, QString(), 0, given);
        QVERIFY(fromPixmap.HasBackground());
        QCOMPARE(fromPixmap.Background().size(), QSize(30, 20));
    }

    void dialogShapeFollowsTheKeyColour() {
        QImage art(40, 30, QImage::Format_RGB32);
        art.fill(Qt::white);
        art.fill(qRgb(255, 255, 255));
        for (int y = 5; y < 25; ++y) {
            for (int x = 10; x < 30; ++x) {
                art.setPixel(x, y, qRgb(0, 128, 0));
            }
        }
        CBkDialog dialog;
        dialog.resize(40, 30);
        dialog.SetBackgroundPixmap(QPixmap::fromImage(art));
        dialog.ApplyWindowShape();
        QVERIFY(dialog.mask().xored(QRegion(10, 5, 20, 20)).isEmpty());

        // Green as the key colour cuts the square out instead.
        dialog.SetKeyColor(qRgb(0, 128, 0));
        dialog.ApplyWindowShape();
        QVERIFY(dialog.mask()
                    .xored(QRegion(0, 0, 40, 30).subtracted(QRegion(10, 5, 20, 20)))
                    .isEmpty());

        dialog.SetShapeFromBitmap(false);
        dialog.ApplyWindowShape();
        QVERIFY(dialog.mask().xored(QRegion(dialog.rect())).isEmpty());

        // Without a background the window keeps the shape it has.
        dialog.SetShapeFromBitmap(true);
        dialog.SetBackgroundPixmap(QPixmap());
        dialog.ApplyWindowShape();
        QVERIFY(dialog.mask().xored(QRegion(dialog.rect())).isEmpty());
    }

    void dialogBackgroundFromPictureFile() {
        QTemporaryDir dir;
        QImage picture(50, 40, QImage::Format_ARGB32);
        picture.fill(Qt::transparent);  // shows the white the picture is drawn on
        picture.setPixel(3, 3, qRgb(10, 20, 30));
        picture.setDotsPerMeterX(3780);
        picture.setDotsPerMeterY(3780);
        const QString path = dir.filePath(QStringLiteral("back.png"));
        QVERIFY(picture.save(path));

        CBkDialog dialog;
        dialog.move(40, 50);
        QVERIFY(dialog.LoadBackgroundPicture(path));
        QCOMPARE(dialog.size(), QSize(50, 40));
        QCOMPARE(dialog.pos(), QPoint(40, 50));
        const QImage drawn = dialog.Background().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(drawn.pixel(20, 20), qRgb(255, 255, 255));
        QCOMPARE(drawn.pixel(3, 3), qRgb(10, 20, 30));

        // With no resource name the picture file is loaded, and its failure is reported.
        QVERIFY(!dialog.SetBackgroundBitmap(QString(), dir.filePath(QStringLiteral("none.png"))));
        QVERIFY(!dialog.HasBackground());
        QVERIFY(dialog.SetBackgroundBitmap(QString(), path));
        QVERIFY(dialog.HasBackground());
    }

    void darkDesktopThemeKeepsTextDarkOnTheArtwork() {
        const QPalette before = QApplication::palette();
        QPalette dark = before;
        dark.setColor(QPalette::ButtonText, Qt::white);
        dark.setColor(QPalette::Text, Qt::white);
        dark.setColor(QPalette::Base, Qt::black);
        QApplication::setPalette(dark);
        CBkDialog dialog;
        QPushButton button(&dialog);
        QWidget list(&dialog);
        QApplication::setPalette(before);
        QVERIFY(qGray(button.palette().color(QPalette::ButtonText).rgb()) < 80);
        QVERIFY(qGray(list.palette().color(QPalette::Text).rgb()) < 80);
        QVERIFY(qGray(list.palette().color(QPalette::Base).rgb()) > 240);
    }

    void staticsShowTheBackground() {
        CBkDialog dialog;
        QVERIFY(dialog.SetBackgroundBitmap(kBackground));
        dialog.resize(680, 408);
        auto* label = new QLabel(QString(), &dialog);
        label->setAutoFillBackground(true);
        label->setGeometry(300, 100, 40, 20);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(!label->autoFillBackground());
        const QImage window = Grab(dialog);
        const QImage background =
            res::BitmapImage(kBackground).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(window.pixel(310, 110), background.pixel(310, 110));
    }

    void dragAnywhereMovesTheWindow() {
        CBkDialog dialog;
        dialog.resize(200, 100);
        dialog.move(100, 100);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QPoint start = dialog.pos();
        // Offscreen windows cannot be moved by the window system: the dialog moves itself.
        const QPoint press(50, 50);
        QMouseEvent down(QEvent::MouseButtonPress, press, dialog.mapToGlobal(press), Qt::LeftButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &down);
        const QPoint to(80, 70);
        QMouseEvent move(QEvent::MouseMove, to, dialog.mapToGlobal(to), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &move);
        QCOMPARE(dialog.pos(), start + QPoint(30, 20));

        dialog.SetDragAnywhere(false);
        QMouseEvent up(QEvent::MouseButtonRelease, to, dialog.mapToGlobal(to), Qt::LeftButton,
                       Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &up);
        QApplication::sendEvent(&dialog, &down);
        QApplication::sendEvent(&dialog, &move);
        QCOMPARE(dialog.pos(), start + QPoint(30, 20));
    }

private:
    std::unique_ptr<Module> m_module;
};

QTEST_MAIN(TestSkinControls)
#include "tst_skin_controls.moc"
