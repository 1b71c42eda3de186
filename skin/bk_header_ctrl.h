// The join list's column header, drawn from one tiled bitmap with shadowed captions.
#pragma once

#include <QHeaderView>
#include <QPixmap>

class CBkHeaderCtrl : public QHeaderView {
    Q_OBJECT

public:
    explicit CBkHeaderCtrl(QWidget* parent = nullptr);

    // Loads bitmap `id` of the resource module as the tile; false when it does not load.
    bool LoadBitmap(int id);

protected:
    void paintEvent(QPaintEvent* event) override;
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    QPixmap m_tile;
    QColor m_separator;
};
