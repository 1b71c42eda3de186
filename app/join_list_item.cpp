#include "app/join_list_item.h"

#include "probe/media_kind.h"
#include "probe/row_texts.h"

namespace {
enum Column { kColumnName, kColumnGeometry, kColumnType, kColumnDuration, kColumnSize };
}

JoinListItem::JoinListItem(std::unique_ptr<MediaFileInfo> record) : m_record(std::move(record)) {
    const MediaFileInfo& info = *m_record;
    setText(kColumnName, QString::fromStdString(info.m_strPath));
    setText(kColumnGeometry, QString::fromStdString(GeometryText(info)));
    setText(kColumnType, QString::fromStdString(MediaKindText(info.m_nKind)));
    setText(kColumnSize, QString::fromStdString(SizeText(info)));
    setText(kColumnDuration, QString::fromStdString(DurationText(info)));
    setToolTip(kColumnName, QString::fromStdString(info.m_strPath));
}
