// A row of the join list: it owns the record of its file.
#pragma once

#include <QTreeWidgetItem>
#include <memory>

#include "probe/media_file_info.h"

class JoinListItem : public QTreeWidgetItem {
public:
    explicit JoinListItem(std::unique_ptr<MediaFileInfo> record);

    MediaFileInfo* Record() const { return m_record.get(); }
    // Gives the record up, so the row can be deleted while the record lives on (moves).
    std::unique_ptr<MediaFileInfo> TakeRecord() { return std::move(m_record); }

private:
    std::unique_ptr<MediaFileInfo> m_record;
};
