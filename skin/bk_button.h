// A push button drawn from one bitmap per state and shaped by a mask bitmap, with hover
// tracking and optional check-box or radio behaviour.
#pragma once

#include <QColor>
#include <QEvent>
#include <QPixmap>
#include <QPushButton>
#include <QRegion>

class CBkButton : public QPushButton {
    Q_OBJECT

public:
    // Posted to the other radio buttons of a group when one of them becomes checked.
    static constexpr QEvent::Type kUncheckEvent = static_cast<QEvent::Type>(1280);

    // Carries when the sender was checked: a message still queued from an earlier check must
    // not clear a button checked after it.
    class UncheckEvent : public QEvent {
    public:
        explicit UncheckEvent(quint64 checkedAt) : QEvent(kUncheckEvent), m_checkedAt(checkedAt) {}
        quint64 CheckedAt() const { return m_checkedAt; }

    private:
        quint64 m_checkedAt;
    };

    enum DrawMode { kDrawPlain = 0, kDrawStretched = 1, kDrawTiled = 2 };
    enum CheckType { kPushButton = 0, kCheckBox = 2, kRadioButton = 4 };

    explicit CBkButton(QWidget* parent = nullptr);

    // Bitmaps of the resource module by number (0: none). A missing disabled bitmap falls back
    // to the normal one. A mask shapes the button (white is outside) and, in draw mode 0, sizes
    // it. Negative insets count as 0; draw modes above 1 mean tiled.
    void SetBitmaps(int normal, int selected, int hover, int disabled, int focus, int mask,
                    int drawMode, int edge, int inset);

    // The check state; a push button always reads 0.
    void SetCheck(int check);
    int GetCheck() const { return m_bChecked ? 1 : 0; }
    CheckType GetCheckType() const { return m_checkType; }

    void SetTextColor(const QColor& color);
    bool IsHovered() const { return m_bHover; }
    bool IsHeld() const { return m_bHeld; }
    int GetDrawMode() const { return m_drawMode; }
    int GetFocusInset() const { return m_focusInset; }

    // Takes the check type from the button's checkable and auto-exclusive properties, then
    // draws and checks by itself. Runs when the button is first polished.
    void PreSubclassWindow();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    void OnClicked();
    void SetHover(bool hover);
    void DrawBitmap(QPainter& painter, const QPixmap& bitmap) const;
    void DrawFace(QPainter& painter) const;
    void PostUncheckToGroup();

    QPixmap m_normal;
    QPixmap m_selected;
    QPixmap m_disabled;
    QPixmap m_hover;
    QPixmap m_focus;
    QRegion m_maskRegion;
    bool m_bHasMask = false;
    short m_focusInset = 0;
    QColor m_textColor;  // invalid: the palette's button text
    bool m_bEdge = false;
    short m_drawMode = kDrawPlain;
    CheckType m_checkType = kPushButton;
    bool m_bChecked = false;
    quint64 m_checkedAt = 0;  // order of the last check among all radio buttons
    bool m_bHover = false;
    bool m_bHeld = false;
    bool m_bAttached = false;
    bool m_bKeyboardFocus = false;        // the focus came by Tab or a mnemonic: show where it is
    bool m_bKeyboardFocusBefore = false;  // it had when the focus last left
};
