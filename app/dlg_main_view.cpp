// What the main window shows of its list beyond the designed columns: each file's picture, the
// selected row as a card, the line of totals under the list, tooltips that fit the window, and
// the layout of a window that can be resized.
#include <QEvent>
#include <QHelpEvent>
#include <QLabel>
#include <QSizeGrip>
#include <QToolTip>
#include <QTreeWidget>
#include <cmath>

#include "app/dlg_main.h"
#include "app/join_list_item.h"
#include "app/row_delegate.h"
#include "app/row_marks.h"
#include "app/row_pictures.h"
#include "job/kind_table.h"
#include "res/resource_ids.h"
#include "res/resources.h"

namespace {

// Where the background is drawn wider and taller when the window grows: through plain parts of
// every panel (below the separator of the arrows, right of the title's words).
constexpr QPoint kBackgroundStretch(450, 245);
// Tooltips stay this far inside the window's width.
constexpr int kToolTipMargin = 40;

// How each control follows the window's growth: moved right, moved down, widened, heightened.
struct Anchor {
    int id;
    bool right;
    bool down;
    bool wider;
    bool taller;
};
constexpr Anchor kAnchors[] = {
    {IDC_MENU, true, false, false, false},
    {IDC_MINIMISE, true, false, false, false},
    {IDC_CLOSE, true, false, false, false},
    {IDC_LIST, false, false, true, true},
    {IDC_TOTALS, false, true, true, false},
    {IDC_MOVE_TOP, true, false, false, false},
    {IDC_MOVE_UP, true, false, false, false},
    {IDC_MOVE_DOWN, true, false, false, false},
    {IDC_MOVE_BOTTOM, true, false, false, false},
    {IDC_PLAY, true, false, false, false},
    // The status line is drawn from a bitmap of its own size: it keeps it.
    {IDC_STATUS, false, true, false, false},
    {IDC_PROGRESS, false, true, true, false},
    {IDC_ADD, false, true, false, false},
    {IDC_REMOVE, false, true, false, false},
    {IDC_CLEAR, false, true, false, false},
    {IDC_JOIN, true, true, false, false},
};

QString LengthText(double seconds) {
    int minutes = static_cast<int>(seconds / 60);
    return QString::asprintf("%d:%04.1f", minutes, seconds - 60.0 * minutes);
}

// Sizes as the list gives them: 1 KB is 1000 bytes.
QString BytesText(double bytes) {
    if (bytes >= 1e9) {
        return QString::asprintf("%.2f GB", bytes / 1e9);
    }
    if (bytes >= 1e6) {
        return QString::asprintf("%.2f MB", bytes / 1e6);
    }
    return QString::asprintf("%.2f KB", bytes / 1e3);
}

// The seconds of a file a join takes: what can be read of one cut short.
double JoinedSeconds(const MediaFileInfo& info) {
    const CutShortFinding& cut = info.m_cutShort;
    if (cut.cutShort && cut.readableSeconds >= 0) {
        return cut.readableSeconds;
    }
    return info.m_fDuration;
}

// Text for a tooltip: wrapped at `width` pixels, long paths broken after their slashes.
QString WrappedToolTip(const QString& text, int width) {
    QString html = text.toHtmlEscaped();
    html.replace(QLatin1Char('/'), QStringLiteral("/&#8203;"));
    html.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return QStringLiteral("<table width=\"%1\"><tr><td>%2</td></tr></table>").arg(width).arg(html);
}

}  // namespace

void CDlgMain::SetUpView() {
    m_totals = findChild<QLabel*>(QString::number(IDC_TOTALS));
    if (m_list != nullptr) {
        m_list->setIconSize(kRowIconSize);
        // Paths are cut in the middle, so the file's own name (what people tell parts by)
        // stays readable; the tooltip gives the whole path.
        m_list->setTextElideMode(Qt::ElideMiddle);
        m_delegate = new RowDelegate(m_list);
        m_list->setItemDelegate(m_delegate);
    }
    m_pictures = new RowPictures(this);
    connect(m_pictures, &RowPictures::Ready, this, &CDlgMain::OnPictureReady);
    // The window can be made larger than its designed size (never smaller): the list grows.
    m_designedSize = size();
    for (const Anchor& anchor : kAnchors) {
        if (QWidget* control = findChild<QWidget*>(QString::number(anchor.id))) {
            m_designedPlaces.emplace_back(control, control->geometry());
        }
    }
    setMinimumSize(m_designedSize);
    setSizeGripEnabled(false);
    m_grip = new QSizeGrip(this);
    m_grip->resize(m_grip->sizeHint());
    SetBackgroundStretch(kBackgroundStretch);
    LayOut();
}

void CDlgMain::LayOut() {
    int dx = std::max(0, width() - m_designedSize.width());
    int dy = std::max(0, height() - m_designedSize.height());
    for (const auto& [control, designed] : m_designedPlaces) {
        for (const Anchor& anchor : kAnchors) {
            if (control->objectName() != QString::number(anchor.id)) {
                continue;
            }
            QRect place = designed;
            place.translate(anchor.right ? dx : 0, anchor.down ? dy : 0);
            place.setWidth(designed.width() + (anchor.wider ? dx : 0));
            place.setHeight(designed.height() + (anchor.taller ? dy : 0));
            control->setGeometry(place);
        }
    }
    if (m_grip != nullptr) {
        m_grip->move(width() - m_grip->width(), height() - m_grip->height());
        m_grip->raise();
    }
}

void CDlgMain::resizeEvent(QResizeEvent* event) {
    CBkDialog::resizeEvent(event);
    LayOut();
}

void CDlgMain::OnPictureReady(quint64 key, const QImage& picture) {
    for (int row = 0; row < RowCount(); ++row) {
        auto* item = static_cast<JoinListItem*>(m_list->topLevelItem(row));
        if (item->Key() == key) {
            item->SetPicture(picture);
            return;
        }
    }
}

void CDlgMain::RequestPicture(const JoinListItem& item) {
    const MediaFileInfo* record = item.Record();
    if (m_pictures != nullptr && record != nullptr && !record->IsAudioOnly()) {
        m_pictures->Request(item.Key(), QString::fromStdString(record->m_strPath));
    }
}

void CDlgMain::ForgetPicture(const JoinListItem& item) {
    if (m_pictures != nullptr) {
        m_pictures->Forget(item.Key());
    }
}

bool CDlgMain::PicturesPending() const {
    return m_pictures != nullptr && m_pictures->Busy();
}

void CDlgMain::UpdateDetailRow() {
    if (m_delegate == nullptr) {
        return;
    }
    std::vector<int> selected = SelectedRows();
    // Spans are kept by row: after rows moved or went, none is left where it does not belong.
    for (int row = 0; row < RowCount(); ++row) {
        m_list->setFirstColumnSpanned(row, QModelIndex(), false);
    }
    m_delegate->SetDetailRow(-1);
    m_delegate->SetDetailRow(selected.size() == 1 ? selected.front() : -1);
}

QString CDlgMain::TotalsText() const {
    if (RowCount() == 0) {
        return {};
    }
    double seconds = 0;
    double bytes = 0;
    for (int row = 0; row < RowCount(); ++row) {
        seconds += JoinedSeconds(*RowRecord(row));
        bytes += RowRecord(row)->m_fFileSize;
    }
    // Packet copies (and conversions that copy every stream) weigh what their inputs do; a
    // conversion into the first file's format weighs about its bytes per second.
    const MediaFileInfo& first = *RowRecord(0);
    double joined = bytes;
    bool converts = !CopiesPackets(first.m_nKind);
    if (converts && !m_rowMarks->Result().findings.empty() && JoinedSeconds(first) > 0) {
        joined = first.m_fFileSize / JoinedSeconds(first) * seconds;
    }
    return res::String(IDS_LIST_TOTALS)
        .arg(RowCount())
        .arg(LengthText(seconds), BytesText(bytes), BytesText(joined));
}

void CDlgMain::ListChanged() {
    if (m_totals != nullptr) {
        m_totals->setText(TotalsText());
    }
    UpdateDetailRow();
}

QString CDlgMain::JoinedStatusText(const QString& output, double seconds) {
    return res::String(IDS_JOINED_STATUS).arg(output, LengthText(seconds));
}

bool CDlgMain::ShowWrappedToolTip(QObject* watched, QEvent* event) {
    auto* help = static_cast<QHelpEvent*>(event);
    QString text;
    QWidget* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr) {
        return false;
    }
    if (m_list != nullptr && watched == m_list->viewport()) {
        QModelIndex index = m_list->indexAt(help->pos());
        QTreeWidgetItem* item = m_list->itemFromIndex(index);
        text = item != nullptr ? item->toolTip(std::max(index.column(), 0)) : QString();
    } else {
        text = widget->toolTip();
    }
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    QToolTip::showText(help->globalPos(), WrappedToolTip(text, width() - kToolTipMargin), widget);
    return true;
}
