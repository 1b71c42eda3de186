#include "skin/bk_header_ctrl.h"

#include <QPainter>

#include "res/artwork.h"

namespace {
constexpr int kMaxCaption = 256;  // characters of a caption that are drawn
}

CBkHeaderCtrl::CBkHeaderCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setDefaultAlignment(Qt::AlignCenter);
}

bool CBkHeaderCtrl::LoadBitmap(int id) {
    m_tile = res::Bitmap(id);
    // The separators take the tile's bottom line, so any tile gets matching section edges.
    const QImage tile = res::BitmapImage(id);
    m_separator = tile.isNull() ? QColor() : QColor(tile.pixel(0, tile.height() - 1));
    viewport()->update();
    return !m_tile.isNull();
}

void CBkHeaderCtrl::paintEvent(QPaintEvent* event) {
    QHeaderView::paintEvent(event);
    // Beyond the last section the base class draws a plain header face; plain tiles there
    // keep the band of the header the same across the full width.
    const int end = length() - offset();
    const int tileWidth = qRound(m_tile.deviceIndependentSize().width());
    if (tileWidth > 0 && end < viewport()->width()) {
        QPainter painter(viewport());
        for (int x = qMax(end, 0); x < viewport()->width(); x += tileWidth) {
            painter.drawPixmap(QRect(x, 0, tileWidth, viewport()->height()), m_tile);
        }
    }
}

void CBkHeaderCtrl::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    if (m_tile.isNull()) {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        return;
    }
    painter->save();
    painter->setClipRect(rect);
    // The two edge pixels that the tiles leave free separate the sections: a groove of the
    // tile's line colour with a light edge on its right.
    painter->fillRect(rect, m_separator.isValid() ? m_separator : palette().color(QPalette::Mid));
    painter->fillRect(QRect(rect.left(), rect.top(), 1, rect.height()), QColor(255, 255, 255));

    // Tiles from one pixel right of the left edge; the last one is put so that it ends one
    // pixel before the right edge, even when the section is narrower than two tiles.
    const int tileWidth = qRound(m_tile.deviceIndependentSize().width());
    const int left = rect.left();
    const int right = rect.left() + rect.width();  // one past the last pixel
    const auto drawTile = [&](int x) {
        painter->drawPixmap(QRect(x, rect.top(), tileWidth, rect.height()), m_tile);
    };
    if (tileWidth > 0) {
        for (int x = left + 1; x <= right - tileWidth - 1; x += tileWidth) {
            drawTile(x);
        }
        drawTile(right - tileWidth - 1);
    }

    const QString caption = model() != nullptr
                                ? model()
                                      ->headerData(logicalIndex, orientation(), Qt::DisplayRole)
                                      .toString()
                                      .left(kMaxCaption)
                                : QString();
    painter->setFont(font());
    painter->setPen(QColor(255, 255, 255));
    painter->drawText(rect.translated(1, 1),
                      Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, caption);
    painter->setPen(QColor(0, 0, 0));
    painter->drawText(rect, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, caption);
    painter->restore();
}
