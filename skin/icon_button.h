// A flat push button showing an icon over a copy of its parent's background, with a 3-D
// border while hovered or pushed.
#pragma once

#include <QPixmap>
#include <QPushButton>

class CIconButton : public QPushButton {
    Q_OBJECT

public:
    explicit CIconButton(QWidget* parent = nullptr);

    // Icons of the resource module: the first shows while hovered, pushed or checked, the
    // second (when not 0) otherwise.
    void SetIcon(int first, int second = 0);
    // Draw over the parent's background instead of a plain face.
    void SetTransparent(bool transparent, bool repaint = true);

    bool IsTransparent() const { return m_bTransparent; }
    bool IsHovered() const { return m_bHover; }
    bool IsCheckBox() const { return m_bIsCheckBox; }
    // Follows later changes of the default-button setting.
    bool IsDefaultButton() const { return isDefault(); }
    bool GetCheck() const { return m_bChecked; }
    void SetCheck(bool checked);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Attach();
    void SetHover(bool hover);
    void OnClicked();
    const QPixmap& ParentBackground();
    void DrawBorder(QPainter& painter, bool sunken) const;
    void DrawIcon(QPainter& painter, bool pushed, bool disabled) const;
    void DrawText(QPainter& painter, bool pushed, bool disabled) const;

    QPixmap m_parentBackground;  // the parent's own drawing under the button, taken once
    bool m_bTransparent = false;
    bool m_bIsCheckBox = false;
    bool m_bChecked = false;
    bool m_bHover = false;
    bool m_bAttached = false;
    bool m_bKeyboardFocus = false;        // the focus came by Tab: show where it is
    bool m_bKeyboardFocusBefore = false;  // it had when the focus last left
    QPixmap m_iconIn;                     // hovered, pushed or checked
    QPixmap m_iconOut;                    // otherwise (may be null: then m_iconIn shows)
};
