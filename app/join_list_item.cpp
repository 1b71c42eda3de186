#include "app/join_list_item.h"

#include "probe/media_kind.h"

namespace {
enum Column { kColumnName, kColumnGeometry, kColumnType, kColumnDuration, kColumnSize };
}

JoinListItem::JoinListItem(std::unique_ptr<MediaFileInfo> record) : m_record(std::move(record)) {
    const MediaFileInfo& info = *m_record;
    setText(kColumnName, QString::fromStdString(info.m_strPath));
    setText(kColumnGeometry, GeometryText(info));
    setText(kColumnType, QString::fromStdString(MediaKindText(info.m_nKind)));
    setText(kColumnSize, SizeText(info));
    setText(kColumnDuration, DurationText(info));
    setToolTip(kColumnName, QString::fromStdString(info.FormatInfoLine()));
}

QString JoinListItem::GeometryText(const MediaFileInfo& info) {
    return QString::asprintf("%d/%d", info.m_nWidth, info.m_nHeight);
}

QString JoinListItem::DurationText(const MediaFileInfo& info) {
    return QString::asprintf("%8.2f S", static_cast<double>(info.m_fDuration));
}

QString JoinListItem::SizeText(const MediaFileInfo& info) {
    // 1 KB is 1000 bytes here.
    return QString::asprintf("%8.2f KB", info.m_fFileSize * 0.001);
}
