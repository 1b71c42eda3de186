#include "app/row_marks.h"

#include <QPainter>
#include <QPixmap>
#include <QTreeWidget>

#include "app/join_list_item.h"
#include "job/join_job.h"
#include "kinds/check_facts.h"

namespace {

constexpr int kMarkPixels = 10;
const QColor kRefusalColour(0xD0, 0x20, 0x20);
const QColor kReencodeColour(0xE0, 0x90, 0x10);
const QColor kCutShortColour(0xFF, 0xBF, 0x00);  // amber

QIcon Dot(const QColor& colour) {
    QPixmap pixmap(kMarkPixels, kMarkPixels);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(colour.darker(140));
    painter.setBrush(colour);
    painter.drawEllipse(1, 1, kMarkPixels - 2, kMarkPixels - 2);
    return QIcon(pixmap);
}

}  // namespace

RowMarks::RowMarks()
    : m_refusal(Dot(kRefusalColour)),
      m_reencode(Dot(kReencodeColour)),
      m_cutShort(Dot(kCutShortColour)) {}

QColor RowMarks::CutShortColour() {
    return kCutShortColour;
}

void RowMarks::Update(QTreeWidget* list) {
    if (list == nullptr) {
        return;
    }
    std::map<const MediaFileInfo*, JoinCheckFacts> known;
    std::vector<const MediaFileInfo*> rows;
    m_facts.clear();
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        auto* item = static_cast<JoinListItem*>(list->topLevelItem(row));
        const MediaFileInfo* record = item->Record();
        if (record == nullptr) {
            continue;
        }
        auto found = m_known.find(record);
        JoinCheckFacts facts = found != m_known.end() ? found->second : ReadCheckFacts(*record);
        known.emplace(record, facts);
        rows.push_back(record);
        m_facts.push_back(std::move(facts));
    }
    m_known = std::move(known);
    // The designed checks of a join are not asked here (two rows at least): a list of one row
    // has nothing to mark, and a lone zero size shows as that row's own finding.
    m_result = CheckJoinFacts(m_facts, rows.size() < 2 ? 0 : CheckJoinList(rows));

    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        auto* item = static_cast<JoinListItem*>(list->topLevelItem(row));
        size_t index = static_cast<size_t>(row);
        QString findings = QString::fromStdString(m_result.DescribeInput(index));
        bool refuses = false;
        for (const CheckFinding& finding : m_result.findings) {
            refuses = refuses || (finding.input == index && finding.refuses);
        }
        QString cut = item->Record() != nullptr
                          ? QString::fromStdString(CutShortText(item->Record()->m_cutShort))
                          : QString();
        // A refusal outweighs a cut; a cut outweighs a stream encoded again.
        const QIcon* mark = refuses               ? &m_refusal
                            : !cut.isEmpty()      ? &m_cutShort
                            : !findings.isEmpty() ? &m_reencode
                                                  : nullptr;
        item->SetMark(mark != nullptr ? *mark : QIcon());
        item->setData(0, kRowMarkRole,
                      findings.isEmpty() ? QVariant() : QVariant(refuses ? "refuses" : "reencode"));
        item->setData(0, kRowCutShortRole, cut.isEmpty() ? QVariant() : QVariant(cut));
        // Only the odd rows of a list that is joined are encoded; the others are copied.
        if (!refuses && !findings.isEmpty() && m_result.outcome == JoinOutcome::kReencode) {
            findings += QStringLiteral(": will be converted to match the first file");
        }
        QStringList said;
        for (const QString& line : {cut, findings}) {
            if (!line.isEmpty()) {
                said << line;
            }
        }
        QString tip = said.join(QLatin1Char('\n'));
        // The name column tells the whole path, which the column may be too narrow to show.
        QString path = item->text(0);
        item->setToolTip(0, tip.isEmpty() ? path : path + QLatin1Char('\n') + tip);
        for (int column = 1; column < list->columnCount(); ++column) {
            item->setToolTip(column, tip);
        }
    }
}
