// A row of the join list: it owns the record of its file, and shows the file's picture and the
// row's mark at its start.
#pragma once

#include <QIcon>
#include <QImage>
#include <QTreeWidgetItem>
#include <memory>

#include "probe/media_file_info.h"

// The small picture at the start of a row, and the room beside it for the row's mark.
inline constexpr QSize kRowPictureSize(48, 36);
inline constexpr int kRowMarkSpace = 14;
inline constexpr QSize kRowIconSize(kRowPictureSize.width() + kRowMarkSpace,
                                    kRowPictureSize.height());

class JoinListItem : public QTreeWidgetItem {
public:
    explicit JoinListItem(std::unique_ptr<MediaFileInfo> record);

    MediaFileInfo* Record() const { return m_record.get(); }
    // Gives the record up, so the row can be deleted while the record lives on (moves).
    std::unique_ptr<MediaFileInfo> TakeRecord() { return std::move(m_record); }

    // A number no other row of this run of the program has, for answers that come later.
    quint64 Key() const { return m_key; }

    // The file's picture (null until it is decoded, and for a file without one).
    const QImage& Picture() const { return m_picture; }
    void SetPicture(const QImage& picture);
    // The mark of the row (refused, cut short, encoded again), or a null icon.
    const QIcon& Mark() const { return m_mark; }
    void SetMark(const QIcon& mark);

private:
    void UpdateIcon();

    std::unique_ptr<MediaFileInfo> m_record;
    quint64 m_key;
    QImage m_picture;
    QIcon m_mark;
};
