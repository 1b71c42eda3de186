// The marks of the join list: every row whose file differs from the first row's in a field a
// join compares gets a small mark and a tooltip that names the field, kept up to date as rows
// are added, removed and moved (a move can change which row is first).
#pragma once

#include <QColor>
#include <QIcon>
#include <map>

#include "job/join_check.h"

class QTreeWidget;

class RowMarks {
public:
    RowMarks();

    // Marks the rows of `list` anew. The facts of each file are read once and kept for as long
    // as its record lives in the list.
    void Update(QTreeWidget* list);
    // The last comparison (for the window's refusals).
    const CheckResult& Result() const { return m_result; }
    const std::vector<JoinCheckFacts>& Facts() const { return m_facts; }

    // The mark of a row whose file refuses the join, and of one that would be encoded again.
    const QIcon& RefusalMark() const { return m_refusal; }
    const QIcon& ReencodeMark() const { return m_reencode; }
    // The amber mark of a row whose file holds less than its header promises.
    const QIcon& CutShortMark() const { return m_cutShort; }
    static QColor CutShortColour();

private:
    std::map<const MediaFileInfo*, JoinCheckFacts> m_known;
    CheckResult m_result;
    std::vector<JoinCheckFacts> m_facts;
    QIcon m_refusal;
    QIcon m_reencode;
    QIcon m_cutShort;
};

// The role under which a marked row keeps "refuses" or "reencode" in its first column.
inline constexpr int kRowMarkRole = 0x0100 + 7;  // Qt::UserRole + 7
// The role under which a row whose file is cut short keeps that line ("cut short: about ...").
inline constexpr int kRowCutShortRole = 0x0100 + 8;
