#include "skin/icon_button.h"

#include <qdrawutil.h>
#include <QApplication>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include "res/artwork.h"

namespace {

constexpr int kFocusFrameInset = 3;  // the keyboard focus frame, inside the border
constexpr int kFocusFramePen = 2;    // and the width of its line
constexpr int kIconLeft = 3;         // icon distance from the left edge when there is text
}  // namespace

CIconButton::CIconButton(QWidget* parent) : QPushButton(parent) {
    setFlat(true);
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover, false);
    connect(this, &QAbstractButton::clicked, this, &CIconButton::OnClicked);
}

void CIconButton::Attach() {
    if (m_bAttached) {
        return;
    }
    m_bAttached = true;
    m_bIsCheckBox = isCheckable();
    setCheckable(false);  // the check state lives here
}

void CIconButton::SetIcon(int first, int second) {
    m_iconIn = first != 0 ? res::Icon(first) : QPixmap();
    m_iconOut = second != 0 ? res::Icon(second) : QPixmap();
    update();
}

void CIconButton::SetTransparent(bool transparent, bool repaint) {
    m_bTransparent = transparent;
    m_parentBackground = QPixmap();
    if (repaint) {
        update();
    }
}

void CIconButton::SetCheck(bool checked) {
    if (checked != m_bChecked) {
        m_bChecked = checked;
        update();
    }
}

void CIconButton::OnClicked() {
    if (m_bIsCheckBox) {
        SetCheck(!m_bChecked);
    }
}

void CIconButton::SetHover(bool hover) {
    if (hover != m_bHover) {
        m_bHover = hover;
        update();
    }
}

bool CIconButton::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::Polish:
            Attach();
            break;
        case QEvent::WindowDeactivate:
            SetHover(false);
            break;
        case QEvent::PaletteChange:
        case QEvent::StyleChange:
        case QEvent::ApplicationPaletteChange:
            m_parentBackground = QPixmap();  // taken again at the next drawing
            break;
        default:
            break;
    }
    return QPushButton::event(event);
}

void CIconButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        SetHover(false);
    }
    QPushButton::changeEvent(event);
}

void CIconButton::mouseMoveEvent(QMouseEvent* event) {
    const bool leftDown = (event->buttons() & Qt::LeftButton) != 0;
    // A drag that started elsewhere does not light the button up.
    if (!(leftDown && !m_bHover)) {
        const bool over = rect().contains(event->position().toPoint());
        SetHover(over && QApplication::activeWindow() != nullptr);
    }
    QPushButton::mouseMoveEvent(event);
}

void CIconButton::leaveEvent(QEvent* event) {
    SetHover(false);
    QPushButton::leaveEvent(event);
}

void CIconButton::focusInEvent(QFocusEvent* event) {
    // Focus the keyboard gave is shown, and stays shown when the window or a menu gives it back,
    // so that the keyboard's place is always visible; focus a click gave is not.
    const Qt::FocusReason reason = event->reason();
    m_bKeyboardFocus = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                       reason == Qt::ShortcutFocusReason ||
                       (m_bKeyboardFocusBefore &&
                        (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason));
    QPushButton::focusInEvent(event);
}

void CIconButton::focusOutEvent(QFocusEvent* event) {
    m_bKeyboardFocusBefore = m_bKeyboardFocus;
    m_bKeyboardFocus = false;
    SetHover(false);
    QPushButton::focusOutEvent(event);
}

void CIconButton::moveEvent(QMoveEvent* event) {
    m_parentBackground = QPixmap();
    QPushButton::moveEvent(event);
}

void CIconButton::resizeEvent(QResizeEvent* event) {
    m_parentBackground = QPixmap();
    QPushButton::resizeEvent(event);
}

const QPixmap& CIconButton::ParentBackground() {
    QWidget* parent = parentWidget();
    if (m_parentBackground.isNull() && parent != nullptr) {
        const qreal ratio = devicePixelRatioF();
        QPixmap copy(size() * ratio);
        copy.setDevicePixelRatio(ratio);
        copy.fill(Qt::transparent);
        // Only the parent's own drawing: rendering its children would paint this button again.
        parent->render(&copy, QPoint(), QRegion(geometry()), QWidget::DrawWindowBackground);
        m_parentBackground = copy;
    }
    return m_parentBackground;
}

void CIconButton::DrawBorder(QPainter& painter, bool sunken) const {
    const QPalette& pal = palette();
    const QRect r = rect();
    const QColor topLeft = pal.color(sunken ? QPalette::Dark : QPalette::Light);
    const QColor bottomRight = pal.color(sunken ? QPalette::Light : QPalette::Dark);
    painter.setPen(topLeft);
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(bottomRight);
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
}

void CIconButton::DrawIcon(QPainter& painter, bool pushed, bool disabled) const {
    const bool lit = m_bHover || pushed || m_bChecked;
    const QPixmap& icon = (lit || m_iconOut.isNull()) ? m_iconIn : m_iconOut;
    if (icon.isNull()) {
        return;
    }
    const QSize size = icon.deviceIndependentSize().toSize();
    int x = text().isEmpty() ? (width() - size.width()) / 2 : kIconLeft;
    int y = (height() - size.height()) / 2;
    if (pushed && !m_bIsCheckBox) {
        ++x;
        ++y;
    }
    if (disabled) {
        QStyleOption option;
        option.initFrom(this);
        painter.drawPixmap(x, y, style()->generatedIconPixmap(QIcon::Disabled, icon, &option));
    } else {
        painter.drawPixmap(x, y, icon);
    }
}

void CIconButton::DrawText(QPainter& painter, bool pushed, bool disabled) const {
    if (text().isEmpty()) {
        return;
    }
    QRect area = rect();
    if (!m_iconIn.isNull()) {
        const int iconRight = kIconLeft + qRound(m_iconIn.deviceIndependentSize().width());
        area.setLeft(iconRight);
    }
    const int flags = Qt::AlignCenter | Qt::TextWordWrap;
    QRect textRect = painter.fontMetrics().boundingRect(area, flags, text());
    textRect.moveCenter(area.center());
    if (pushed && !m_bIsCheckBox) {
        textRect.translate(1, 1);
    }
    const QPalette& pal = palette();
    if (disabled) {
        painter.setPen(pal.color(QPalette::Light));
        painter.drawText(textRect.translated(1, 1), flags, text());
        painter.setPen(pal.color(QPalette::Dark));
        painter.drawText(textRect, flags, text());
        return;
    }
    painter.setPen(pal.color(QPalette::ButtonText));
    painter.drawText(textRect, flags, text());
}

void CIconButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    if (!mask().isEmpty()) {
        painter.setClipRegion(mask());
    }
    const bool disabled = !isEnabled();
    const bool pushed = isDown() || (m_bIsCheckBox && m_bChecked);

    if (m_bTransparent) {
        painter.drawPixmap(0, 0, ParentBackground());
    } else {
        painter.fillRect(rect(), palette().color(QPalette::Button));
    }
    if (pushed || m_bHover) {
        DrawBorder(painter, pushed || m_bChecked);
    }
    DrawIcon(painter, pushed, disabled);
    DrawText(painter, pushed, disabled);
    if (hasFocus() && m_bKeyboardFocus) {
        // A frame just inside the button, in the highlight colour.
        QPen pen(palette().color(QPalette::Highlight), kFocusFramePen);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(kFocusFrameInset, kFocusFrameInset, -kFocusFrameInset - 1,
                                         -kFocusFrameInset - 1));
    }
}
