// Bitmap buttons: set-up, shape and size, check and radio behaviour, hover and held tracking,
// and the looks drawn for each state.
#include <QApplication>
#include <QMouseEvent>
#include <QtTest>

#include "skin/bk_button.h"
#include "skin_test_support.h"

namespace {
// The add button of the main window: normal, hover and disabled bitmaps, push-button mask.
constexpr int kAddNormal = 164;
constexpr int kAddHover = 162;
constexpr int kAddDisabled = 163;
constexpr int kPushMask = 145;
constexpr QSize kPushSize(100, 36);

void SendMove(QWidget* widget, QPoint pos, Qt::MouseButtons buttons = Qt::NoButton) {
    QMouseEvent move(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, buttons,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

// What the button draws, at one pixel per logical pixel.
QImage Look(CBkButton& button) {
    return button.grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

// Whether two looks differ at a pixel; both are drawn at the same size.
bool Differs(const QImage& a, const QImage& b, QPoint at) {
    return a.pixel(at) != b.pixel(at);
}
}  // namespace

class TestBkButton : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        m_module = skintest::LoadResourceModule();
        QVERIFY2(m_module != nullptr, "librvkhelper.so not found; is KJ_BIN_DIR set?");
        QVERIFY(res::Available());
    }

    void maskSizesButtonInPlainMode() {
        QWidget parent;
        CBkButton button(&parent);
        button.setGeometry(5, 6, 77, 11);
        button.SetBitmaps(kAddNormal, 0, 0, 0, 0, skintest::kMask40x20, CBkButton::kDrawPlain, 0,
                          0);
        QCOMPARE(button.size(), QSize(40, 20));
        QCOMPARE(button.pos(), QPoint(5, 6));  // resized, not moved
        // The white notch is outside the shape.
        QVERIFY(!button.mask().contains(QPoint(1, 1)));
        QVERIFY(button.mask().contains(QPoint(4, 1)));
        QVERIFY(button.mask().contains(QPoint(39, 19)));

        // Stretched mode keeps the size the layout gave.
        CBkButton stretched(&parent);
        stretched.resize(77, 11);
        stretched.SetBitmaps(kAddNormal, 0, 0, 0, 0, skintest::kMask40x20,
                             CBkButton::kDrawStretched, 0, 0);
        QCOMPARE(stretched.size(), QSize(77, 11));

        // The artwork's push-button mask fixes the size of Add, Remove, Clear and Join.
        CBkButton push(&parent);
        push.SetBitmaps(kAddNormal, kAddNormal, kAddHover, kAddDisabled, 0, kPushMask, 0, 0, 0);
        QCOMPARE(push.size(), kPushSize);
    }

    void clickOutsideTheMaskDoesNothing() {
        QWidget parent;
        CBkButton button(&parent);
        button.SetBitmaps(kAddNormal, 0, 0, 0, 0, skintest::kMask40x20, 0, 0, 0);
        parent.show();
        QSignalSpy clicks(&button, &QAbstractButton::clicked);
        QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, QPoint(1, 1));
        QCOMPARE(clicks.count(), 0);
        QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, QPoint(20, 10));
        QCOMPARE(clicks.count(), 1);
    }

    void settingsAreNormalised() {
        CBkButton button;
        button.SetBitmaps(kAddNormal, 0, 0, 0, 0, 0, 7, 0, -3);
        QCOMPARE(button.GetDrawMode(), int(CBkButton::kDrawTiled));
        QCOMPARE(button.GetFocusInset(), 0);
        button.SetBitmaps(kAddNormal, 0, 0, 0, 0, 0, -1, 0, 4);
        QCOMPARE(button.GetDrawMode(), int(CBkButton::kDrawPlain));
        QCOMPARE(button.GetFocusInset(), 4);
        // A new set-up without a mask gives up the old shape.
        button.SetBitmaps(kAddNormal, 0, 0, 0, 0, kPushMask, 0, 0, 0);
        QVERIFY(!button.mask().isEmpty());
        button.SetBitmaps(kAddNormal, 0, 0, 0, 0, 0, 0, 0, 0);
        QVERIFY(button.mask().isEmpty());
    }

    void pushButtonStaysUnchecked() {
        CBkButton button;
        button.ensurePolished();
        QCOMPARE(button.GetCheckType(), CBkButton::kPushButton);
        button.SetCheck(1);
        QCOMPARE(button.GetCheck(), 0);
        button.click();
        QCOMPARE(button.GetCheck(), 0);
    }

    void checkBoxTogglesOnClickAndSpace() {
        QWidget parent;
        CBkButton box(&parent);
        box.setCheckable(true);
        box.ensurePolished();
        QCOMPARE(box.GetCheckType(), CBkButton::kCheckBox);
        // The owner's click handler already sees the new state.
        int seen = -1;
        connect(&box, &QAbstractButton::clicked, &box, [&] { seen = box.GetCheck(); });
        parent.show();
        QTest::mouseClick(&box, Qt::LeftButton);
        QCOMPARE(box.GetCheck(), 1);
        QCOMPARE(seen, 1);
        box.setFocus();
        QTest::keyClick(&box, Qt::Key_Space);
        QCOMPARE(box.GetCheck(), 0);
    }

    void radioButtonsOfAGroupUncheckEachOther() {
        QWidget parent;
        CBkButton first(&parent);
        CBkButton second(&parent);
        CBkButton third(&parent);
        CBkButton box(&parent);  // a check box beside the group keeps its state
        for (CBkButton* radio : {&first, &second, &third}) {
            radio->setCheckable(true);
            radio->setAutoExclusive(true);
            radio->ensurePolished();
            QCOMPARE(radio->GetCheckType(), CBkButton::kRadioButton);
        }
        box.setCheckable(true);
        box.ensurePolished();
        box.SetCheck(1);

        first.SetCheck(1);
        second.SetCheck(1);
        QCoreApplication::sendPostedEvents();
        // Checked one after the other before any message was handled: the later one stays.
        QCOMPARE(first.GetCheck(), 0);
        QCOMPARE(second.GetCheck(), 1);
        QCOMPARE(box.GetCheck(), 1);
        // The message itself, from anywhere, clears a button.
        QEvent uncheck(CBkButton::kUncheckEvent);
        QApplication::sendEvent(&second, &uncheck);
        QCOMPARE(second.GetCheck(), 0);
        second.SetCheck(1);

        // A click checks a radio; clicking it again keeps it checked.
        parent.show();
        QTest::mouseClick(&third, Qt::LeftButton);
        QTest::mouseClick(&third, Qt::LeftButton);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(third.GetCheck(), 1);
        QCOMPARE(second.GetCheck(), 0);
        QCOMPARE(first.GetCheck(), 0);
    }

    void hoverAndHeldTracking() {
        QWidget parent;
        parent.resize(200, 100);
        CBkButton button(&parent);
        button.SetBitmaps(kAddNormal, kAddNormal, kAddHover, kAddDisabled, 0, kPushMask, 0, 0, 0);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));

        SendMove(&button, QPoint(50, 18));
        QVERIFY(button.IsHovered());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&button, &leave);
        QVERIFY(!button.IsHovered());

        SendMove(&button, QPoint(50, 18));
        QTest::mousePress(&button, Qt::LeftButton, Qt::NoModifier, QPoint(50, 18));
        QVERIFY(button.IsHeld());
        QVERIFY(!button.IsHovered());  // pressing ends the hover look
        QVERIFY(button.isDown());
        // Dragging out of the shape and back follows the cursor.
        SendMove(&button, QPoint(150, 18), Qt::LeftButton);
        QVERIFY(!button.isDown());
        SendMove(&button, QPoint(50, 18), Qt::LeftButton);
        QVERIFY(button.isDown());
        QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, QPoint(50, 18));
        QVERIFY(!button.IsHeld());
        QVERIFY(!button.isDown());
    }

    void looksDifferWhereTheBitmapsDiffer() {
        QWidget parent;
        parent.resize(200, 100);
        CBkButton button(&parent);
        button.SetBitmaps(kAddNormal, kAddNormal, kAddHover, kAddDisabled, 0, kPushMask, 0, 0, 0);
        button.setText(QStringLiteral("Add"));
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));

        const QImage normal = Look(button);
        SendMove(&button, QPoint(50, 30));
        const QImage hover = Look(button);
        QTest::mousePress(&button, Qt::LeftButton, Qt::NoModifier, QPoint(50, 30));
        const QImage pushed = Look(button);
        QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, QPoint(50, 30));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&button, &leave);
        button.setEnabled(false);
        const QImage disabled = Look(button);
        button.setEnabled(true);
        QCOMPARE(Look(button), normal);  // the normal look comes back

        // Away from the caption each look is its own bitmap, pixel for pixel.
        const QImage normalArt =
            res::BitmapImage(kAddNormal).convertToFormat(QImage::Format_ARGB32);
        const QImage hoverArt = res::BitmapImage(kAddHover).convertToFormat(QImage::Format_ARGB32);
        const QImage disabledArt =
            res::BitmapImage(kAddDisabled).convertToFormat(QImage::Format_ARGB32);
        for (QPoint at : {QPoint(10, 6), QPoint(50, 3), QPoint(90, 30), QPoint(6, 18)}) {
            QCOMPARE(normal.pixel(at), normalArt.pixel(at));
            QCOMPARE(hover.pixel(at), hoverArt.pixel(at));
            QCOMPARE(pushed.pixel(at), normalArt.pixel(at));  // selected bitmap = normal
            QCOMPARE(disabled.pixel(at), disabledArt.pixel(at));
            if (normalArt.pixel(at) != hoverArt.pixel(at)) {
                QVERIFY(Differs(normal, hover, at));
            }
        }
        QVERIFY(normal != hover);
        QVERIFY(normal != disabled);
        QVERIFY(hover != disabled);
        // Pushed shares the normal bitmap; its caption moves by one pixel.
        QVERIFY(pushed != normal);
        // The border (a fully opaque pixel that differs between the bitmaps).
        QVERIFY(normalArt.pixel(50, 0) != hoverArt.pixel(50, 0));
        QVERIFY(Differs(normal, hover, QPoint(50, 0)));
        QVERIFY(Differs(normal, disabled, QPoint(50, 0)));
    }

    void missingStateBitmapsFallBack() {
        QWidget parent;
        parent.resize(200, 100);
        CBkButton button(&parent);
        // Disabled falls back to the normal bitmap.
        button.SetBitmaps(kAddNormal, kAddNormal, kAddHover, 0, 0, kPushMask, 0, 0, 0);
        parent.show();
        const QImage normal = Look(button);
        button.setEnabled(false);
        const QImage disabled = Look(button);
        const QImage art = res::BitmapImage(kAddNormal).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(disabled.pixel(50, 3), art.pixel(50, 3));
        QCOMPARE(normal.pixel(50, 3), art.pixel(50, 3));

        // A number the module lacks leaves the state without a bitmap: a plain face is drawn.
        button.setEnabled(true);
        button.SetBitmaps(99999, 0, 0, 0, 0, kPushMask, 0, 0, 0);
        const QImage face = Look(button);
        QVERIFY(face.pixel(50, 3) != art.pixel(50, 3));
    }

private:
    std::unique_ptr<Module> m_module;
};

QTEST_MAIN(TestBkButton)
#include "tst_bk_button.moc"
