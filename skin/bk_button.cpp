#include "skin/bk_button.h"

#include <qdrawutil.h>
#include <QApplication>
#include <QButtonGroup>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>

#include "res/artwork.h"
#include "skin/bitmap_region.h"

namespace {
constexpr int kKeyboardFocusInset = 4;  // the keyboard focus frame of a button without one
constexpr int kKeyboardFocusPen = 2;    // the width of that frame
constexpr int kTextMargin = 2;          // added to the focus inset on both sides of the text
constexpr QRgb kMaskKey = 0xFFFFFFFF;

// Radio checks are numbered on the user-interface thread, where all of them happen.
quint64 NextCheckOrder() {
    static quint64 order = 0;
    return ++order;
}
}  // namespace

CBkButton::CBkButton(QWidget* parent) : QPushButton(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover, false);  // hover is tracked here, not through the style
    // Connected first, so that the owner's click handlers already see the new check state.
    connect(this, &QAbstractButton::clicked, this, &CBkButton::OnClicked);
}

void CBkButton::PreSubclassWindow() {
    if (m_bAttached) {
        return;
    }
    m_bAttached = true;
    if (isCheckable()) {
        m_checkType = autoExclusive() ? kRadioButton : kCheckBox;
    }
    // The check state lives here; Qt's own toggling and group exclusion would fight it.
    setCheckable(false);
    setAutoExclusive(false);
}

void CBkButton::SetBitmaps(int normal, int selected, int hover, int disabled, int focus, int mask,
                           int drawMode, int edge, int inset) {
    m_normal = m_selected = m_hover = m_disabled = m_focus = QPixmap();
    m_maskRegion = QRegion();
    m_bHasMask = false;

    const auto load = [](int id) { return id != 0 ? res::Bitmap(id) : QPixmap(); };
    m_normal = load(normal);
    m_selected = load(selected);
    m_hover = load(hover);
    m_disabled = load(disabled != 0 ? disabled : normal);
    m_focus = load(focus);
    m_drawMode = static_cast<short>(drawMode > kDrawStretched ? kDrawTiled : qMax(drawMode, 0));
    m_bEdge = edge != 0;
    m_focusInset = static_cast<short>(qMax(inset, 0));

    if (mask != 0) {
        const QImage maskImage = res::BitmapImage(mask);
        if (!maskImage.isNull()) {
            m_maskRegion = CreateRegionFromBitmap(maskImage, kMaskKey, true);
            m_bHasMask = true;
            if (m_drawMode == kDrawPlain) {
                resize(maskImage.size());
            }
            setMask(m_maskRegion);
        }
    }
    if (!m_bHasMask) {
        clearMask();
    }
    update();
}

void CBkButton::SetCheck(int check) {
    const bool checked = m_checkType != kPushButton && check != 0;
    if (checked != m_bChecked) {
        m_bChecked = checked;
        update();
    }
    if (checked && m_checkType == kRadioButton) {
        m_checkedAt = NextCheckOrder();
        PostUncheckToGroup();
    }
}

void CBkButton::SetTextColor(const QColor& color) {
    m_textColor = color;
    update();
}

void CBkButton::PostUncheckToGroup() {
    QList<QAbstractButton*> members;
    if (group() != nullptr) {
        members = group()->buttons();
    } else if (parentWidget() != nullptr) {
        members = parentWidget()->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly);
    }
    for (QAbstractButton* member : members) {
        auto* other = qobject_cast<CBkButton*>(member);
        if (other != nullptr && other != this && other->m_checkType == kRadioButton) {
            QCoreApplication::postEvent(other, new UncheckEvent(m_checkedAt));
        }
    }
}

void CBkButton::OnClicked() {
    if (m_checkType == kCheckBox) {
        SetCheck(m_bChecked ? 0 : 1);
    } else if (m_checkType == kRadioButton) {
        SetCheck(1);
    }
    m_bHeld = false;
}

bool CBkButton::event(QEvent* event) {
    if (event->type() == kUncheckEvent) {
        const auto* uncheck = dynamic_cast<const UncheckEvent*>(event);
        const bool newer = uncheck == nullptr || uncheck->CheckedAt() > m_checkedAt;
        if (m_bChecked && newer) {
            m_bChecked = false;
            update();
        }
        return true;
    }
    if (event->type() == QEvent::Polish) {
        PreSubclassWindow();
    }
    return QPushButton::event(event);
}

void CBkButton::SetHover(bool hover) {
    if (hover != m_bHover) {
        m_bHover = hover;
        update();
    }
}

void CBkButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        SetHover(false);
        m_bHeld = true;
    }
    QPushButton::mousePressEvent(event);
}

void CBkButton::mouseReleaseEvent(QMouseEvent* event) {
    QPushButton::mouseReleaseEvent(event);  // emits clicked over the button
    if (event->button() == Qt::LeftButton) {
        m_bHeld = false;
    }
}

void CBkButton::mouseMoveEvent(QMouseEvent* event) {
    if (m_bHeld) {
        QPushButton::mouseMoveEvent(event);  // follows the cursor in and out of the button
        return;
    }
    if (hitButton(event->position().toPoint())) {
        SetHover(true);
    }
    QPushButton::mouseMoveEvent(event);
}

void CBkButton::leaveEvent(QEvent* event) {
    SetHover(false);
    QPushButton::leaveEvent(event);
}

void CBkButton::focusInEvent(QFocusEvent* event) {
    // Focus the keyboard gave is shown, and stays shown when the window or a menu gives it back,
    // so that the keyboard's place is always visible; focus a click gave is not.
    const Qt::FocusReason reason = event->reason();
    m_bKeyboardFocus = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                       reason == Qt::ShortcutFocusReason ||
                       (m_bKeyboardFocusBefore &&
                        (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason));
    QPushButton::focusInEvent(event);
}

void CBkButton::focusOutEvent(QFocusEvent* event) {
    m_bKeyboardFocusBefore = m_bKeyboardFocus;
    m_bKeyboardFocus = false;
    if (m_bHeld) {
        m_bHeld = false;
        setDown(false);
    }
    QPushButton::focusOutEvent(event);
}

bool CBkButton::hitButton(const QPoint& pos) const {
    return m_bHasMask ? m_maskRegion.contains(pos) : rect().contains(pos);
}

void CBkButton::DrawBitmap(QPainter& painter, const QPixmap& bitmap) const {
    if (bitmap.isNull()) {
        DrawFace(painter);
        return;
    }
    if (m_drawMode == kDrawTiled) {
        painter.drawTiledPixmap(rect(), bitmap);
    } else if (m_drawMode == kDrawStretched) {
        painter.drawPixmap(rect(), bitmap);
    } else {
        painter.drawPixmap(QPointF(0, 0), bitmap);
    }
}

void CBkButton::DrawFace(QPainter& painter) const {
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    style()->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, this);
}

void CBkButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, m_drawMode != kDrawPlain);
    if (m_bHasMask) {
        painter.setClipRegion(m_maskRegion);
    }
    const int margin = m_focusInset + kTextMargin;
    QRect textRect = rect().adjusted(margin, 0, -margin, 0);
    // A button that takes the focus underlines its mnemonic; a text-only one (the status line)
    // shows its text as it is, '&' included.
    const int flags = Qt::AlignCenter | Qt::TextSingleLine |
                      (focusPolicy() != Qt::NoFocus ? int(Qt::TextShowMnemonic) : 0);
    const QString caption =
        fontMetrics().elidedText(text(), Qt::ElideRight, qMax(textRect.width(), 0));
    painter.setFont(font());

    if (!isEnabled()) {
        DrawBitmap(painter, m_disabled);
        if (m_bEdge) {
            qDrawWinPanel(&painter, rect(), palette(), false);
        }
        // Embossed: a light copy under the grey text.
        painter.setPen(palette().color(QPalette::Light));
        painter.drawText(textRect, flags, caption);
        painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
        painter.drawText(textRect.translated(-1, -1), flags, caption);
        return;
    }

    if (isDown() || m_bChecked) {
        DrawBitmap(painter, m_selected);
        textRect.translate(1, 1);
        if (m_bEdge) {
            qDrawWinPanel(&painter, rect(), palette(), true);
        }
    } else {
        if (m_bHover && !m_hover.isNull()) {
            DrawBitmap(painter, m_hover);
        } else if (hasFocus() && !m_focus.isNull()) {
            DrawBitmap(painter, m_focus);
        } else {
            DrawBitmap(painter, m_normal);
        }
        if (m_bEdge) {
            qDrawWinPanel(&painter, rect(), palette(), false);
        }
    }
    if (hasFocus() && m_focusInset > 0) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(m_focusInset, m_focusInset, -m_focusInset, -m_focusInset);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    } else if (hasFocus() && m_bKeyboardFocus && m_focus.isNull()) {
        // No focus bitmap and no inset: a frame just inside the face in the highlight colour,
        // which shows on the light buttons and the dark title bar alike.
        QPen pen(palette().color(QPalette::Highlight), kKeyboardFocusPen);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(kKeyboardFocusInset, kKeyboardFocusInset,
                                         -kKeyboardFocusInset - 1, -kKeyboardFocusInset - 1));
    }
    painter.setPen(m_textColor.isValid() ? m_textColor : palette().color(QPalette::ButtonText));
    painter.drawText(textRect, flags, caption);
}
