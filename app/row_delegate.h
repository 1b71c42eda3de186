// Draws the join list's rows. The row that is selected alone is drawn as a card across the list:
// its file's picture, larger, with the row's information beside it.
#pragma once

#include <QStyledItemDelegate>

class QTreeWidget;

// The larger picture of the selected row.
inline constexpr QSize kDetailPictureSize(128, 96);

class RowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit RowDelegate(QTreeWidget* list);

    // The row drawn as a card, or -1. The list's first column spans that row.
    void SetDetailRow(int row);
    int DetailRow() const { return m_detailRow; }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    void PaintCard(QPainter* painter, const QStyleOptionViewItem& option, int row) const;

    QTreeWidget* m_list;
    int m_detailRow = -1;
};
