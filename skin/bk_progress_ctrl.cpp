#include "skin/bk_progress_ctrl.h"

#include <QPainter>

namespace {
// The filled part: a deep blue of the same family as the steel-blue background.
constexpr QRgb kChunkColor = 0xFF244C7E;
}  // namespace

CBkProgressCtrl::CBkProgressCtrl(QWidget* parent) : QProgressBar(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CBkProgressCtrl::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgb(kBackgroundColor));
    const int span = maximum() - minimum();
    if (span <= 0) {
        return;
    }
    const double share = static_cast<double>(value() - minimum()) / span;
    if (share <= 0.0) {
        return;
    }
    QRect chunk = rect();
    const int length = qRound(chunk.width() * qMin(share, 1.0));
    if (orientation() == Qt::Horizontal) {
        if (invertedAppearance()) {
            chunk.setLeft(chunk.right() + 1 - length);
        } else {
            chunk.setWidth(length);
        }
    } else {
        const int height = qRound(chunk.height() * qMin(share, 1.0));
        chunk.setTop(chunk.bottom() + 1 - height);
    }
    painter.fillRect(chunk, QColor::fromRgb(kChunkColor));
    if (isTextVisible()) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect(), Qt::AlignCenter, text());
    }
}
