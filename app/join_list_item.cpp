#include "app/join_list_item.h"

#include <QPainter>
#include <QPixmap>
#include <atomic>

#include "job/kind_table.h"
#include "probe/row_texts.h"

namespace {
enum Column { kColumnName, kColumnGeometry, kColumnType, kColumnDuration, kColumnSize };

constexpr int kMarkPixels = 10;
const QColor kPictureFrame(0x30, 0x34, 0x3A);

quint64 NextKey() {
    static std::atomic<quint64> next{1};
    return next++;
}
}  // namespace

JoinListItem::JoinListItem(std::unique_ptr<MediaFileInfo> record)
    : m_record(std::move(record)), m_key(NextKey()) {
    const MediaFileInfo& info = *m_record;
    setText(kColumnName, QString::fromStdString(info.m_strPath));
    setText(kColumnGeometry, QString::fromStdString(GeometryText(info)));
    setText(kColumnType, QString::fromStdString(MediaKindText(info.m_nKind)));
    setText(kColumnSize, QString::fromStdString(SizeText(info)));
    setText(kColumnDuration, QString::fromStdString(DurationText(info)));
    setToolTip(kColumnName, QString::fromStdString(info.m_strPath));
    UpdateIcon();
}

void JoinListItem::SetPicture(const QImage& picture) {
    m_picture = picture;
    UpdateIcon();
}

void JoinListItem::SetMark(const QIcon& mark) {
    m_mark = mark;
    UpdateIcon();
}

void JoinListItem::UpdateIcon() {
    // Every row has the same room at its start, so that the names line up.
    QPixmap icon(kRowIconSize);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QRect box(QPoint(0, 0), kRowPictureSize);
    if (!m_picture.isNull()) {
        QSize shown = m_picture.size().scaled(kRowPictureSize, Qt::KeepAspectRatio);
        QRect target(QPoint(0, 0), shown);
        target.moveCenter(box.center());
        painter.fillRect(box, kPictureFrame);
        painter.drawImage(target, m_picture);
    }
    if (!m_mark.isNull()) {
        QRect mark(kRowPictureSize.width() + (kRowMarkSpace - kMarkPixels) / 2,
                   (kRowPictureSize.height() - kMarkPixels) / 2, kMarkPixels, kMarkPixels);
        m_mark.paint(&painter, mark);
    }
    painter.end();
    setIcon(kColumnName, QIcon(icon));
}
