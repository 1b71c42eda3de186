#include "app/row_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QTreeWidget>

#include "app/join_list_item.h"

namespace {
constexpr int kCardMargin = 4;
constexpr int kCardGap = 10;
const QColor kPictureFrame(0x30, 0x34, 0x3A);
}  // namespace

RowDelegate::RowDelegate(QTreeWidget* list) : QStyledItemDelegate(list), m_list(list) {}

void RowDelegate::SetDetailRow(int row) {
    if (row == m_detailRow) {
        return;
    }
    for (int r : {m_detailRow, row}) {
        if (r >= 0 && r < m_list->topLevelItemCount()) {
            m_list->setFirstColumnSpanned(r, QModelIndex(), r == row);
        }
    }
    int before = m_detailRow;
    m_detailRow = row;
    for (int r : {before, row}) {
        if (r >= 0 && r < m_list->topLevelItemCount()) {
            emit sizeHintChanged(m_list->model()->index(r, 0));
        }
    }
}

QSize RowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (!index.parent().isValid() && index.row() == m_detailRow) {
        size.setHeight(kDetailPictureSize.height() + 2 * kCardMargin);
    } else {
        size.setHeight(std::max(size.height(), kRowIconSize.height() + 2));
    }
    return size;
}

void RowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const {
    if (!index.parent().isValid() && index.row() == m_detailRow && index.column() == 0) {
        PaintCard(painter, option, index.row());
        return;
    }
    QStyledItemDelegate::paint(painter, option, index);
}

void RowDelegate::PaintCard(QPainter* painter, const QStyleOptionViewItem& option, int row) const {
    auto* item = static_cast<JoinListItem*>(m_list->topLevelItem(row));
    if (item == nullptr || item->Record() == nullptr) {
        return;
    }
    QStyleOptionViewItem background = option;
    background.text.clear();
    background.icon = QIcon();
    QStyle* style = option.widget != nullptr ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, option.widget);

    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    QRect box(option.rect.topLeft() + QPoint(kCardMargin, kCardMargin), kDetailPictureSize);
    painter->fillRect(box, kPictureFrame);
    if (!item->Picture().isNull()) {
        QRect target(QPoint(0, 0),
                     item->Picture().size().scaled(kDetailPictureSize, Qt::KeepAspectRatio));
        target.moveCenter(box.center());
        painter->drawImage(target, item->Picture());
    }
    if (!item->Mark().isNull()) {
        item->Mark().paint(painter, QRect(box.topRight() + QPoint(4, 0), QSize(10, 10)));
    }

    // The row's information beside the picture: the path, the columns, the information line,
    // and what is wrong with the file.
    const MediaFileInfo& info = *item->Record();
    QRect text = option.rect.adjusted(box.width() + kCardMargin + kCardGap + 10, kCardMargin,
                                      -kCardMargin, -kCardMargin);
    bool selected = (option.state & QStyle::State_Selected) != 0;
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    QFont bold = option.font;
    bold.setBold(true);
    QFontMetrics boldMetrics(bold);
    QFontMetrics metrics(option.font);
    painter->setFont(bold);
    painter->drawText(text.topLeft() + QPoint(0, boldMetrics.ascent()),
                      boldMetrics.elidedText(QString::fromStdString(info.m_strPath),
                                             Qt::ElideMiddle, text.width()));
    painter->setFont(option.font);
    QStringList lines;
    lines << QStringLiteral("%1    %2    %3    %4")
                 .arg(item->text(1), item->text(2), item->text(3).trimmed(),
                      item->text(4).trimmed())
          << QString::fromStdString(info.FormatInfoLine());
    for (const QString& said : item->toolTip(1).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        lines << said;
    }
    int y = text.top() + boldMetrics.height() + metrics.ascent() + 2;
    for (const QString& line : lines) {
        if (y > text.bottom()) {
            break;
        }
        painter->drawText(QPoint(text.left(), y),
                          metrics.elidedText(line, Qt::ElideRight, text.width()));
        y += metrics.height();
    }
    painter->restore();
}
