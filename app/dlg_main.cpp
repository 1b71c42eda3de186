#include "app/dlg_main.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QShortcut>
#include <QTreeWidget>
#include <QUrl>
#include <numeric>

#include "app/app_settings.h"
#include "app/dialog_template.h"
#include "app/join_list_item.h"
#include "app/prompter.h"
#include "app/row_delegate.h"
#include "app/row_marks.h"
#include "app/row_pictures.h"
#include "app/small_dialogs.h"
#include "job/job_state.h"
#include "kinds/kinds.h"
#include "platform/module.h"
#include "probe/probe_media_file.h"
#include "res/resource_ids.h"
#include "res/resources.h"
#include "rmjoin/rm_sdk.h"
#include "skin/bk_button.h"
#include "skin/bk_header_ctrl.h"
#include "skin/bk_progress_ctrl.h"
#include "skin/icon_button.h"
#include "wmjoin/wm_entry_points.h"

CDlgMain* g_mainDialog = nullptr;

namespace {

struct ColumnSpec {
    const char* heading;
    int width;
};
constexpr ColumnSpec kColumns[] = {
    {"File Name", 204}, {"Width/Height", 101}, {"Type", 83}, {"Freq.", 73}, {"File Size(KB)", 100},
};

struct ButtonSkin {
    int normal, selected, hover, disabled, focus, mask;
};
constexpr ButtonSkin kHomePageSkin = {150, 150, 148, 150, 0, 149};
constexpr ButtonSkin kAddSkin = {164, 164, 162, 163, 0, 145};
constexpr ButtonSkin kRemoveSkin = {167, 167, 165, 166, 0, 145};
constexpr ButtonSkin kClearSkin = {174, 174, 176, 175, 0, 145};
constexpr ButtonSkin kJoinSkin = {169, 169, 168, 169, 0, 145};
constexpr ButtonSkin kStatusSkin = {177, 177, 177, 177, 0, 179};
constexpr ButtonSkin kMinimiseSkin = {156, 156, 154, 156, 0, 158};
constexpr ButtonSkin kCloseSkin = {157, 157, 155, 157, 0, 158};
constexpr ButtonSkin kMenuSkin = {161, 161, 160, 161, 0, 158};

// Names in the order people number them: runs of digits compare by their value ("part2"
// before "part10"), the rest without regard to case. (Qt's collator offers this only with
// ICU, which not every build has.)
bool NaturalLess(const QString& a, const QString& b) {
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype si = i;
            qsizetype sj = j;
            while (i < a.size() && a[i].isDigit()) {
                ++i;
            }
            while (j < b.size() && b[j].isDigit()) {
                ++j;
            }
            // Leading zeros do not count; then the longer run is the larger number.
            QStringView x = QStringView(a).mid(si, i - si);
            QStringView y = QStringView(b).mid(sj, j - sj);
            while (x.size() > 1 && x.front() == QLatin1Char('0')) {
                x = x.mid(1);
            }
            while (y.size() > 1 && y.front() == QLatin1Char('0')) {
                y = y.mid(1);
            }
            if (x.size() != y.size()) {
                return x.size() < y.size();
            }
            if (int c = x.compare(y); c != 0) {
                return c < 0;
            }
            continue;
        }
        QChar x = a[i].toCaseFolded();
        QChar y = b[j].toCaseFolded();
        if (x != y) {
            return x < y;
        }
        ++i;
        ++j;
    }
    return (a.size() - i) < (b.size() - j);
}

constexpr int kScanWindowWidth = 320;
constexpr int kScanWindowHeight = 60;

void ApplySkin(CBkButton* button, const ButtonSkin& skin) {
    if (button != nullptr) {
        button->SetBitmaps(skin.normal, skin.selected, skin.hover, skin.disabled, skin.focus,
                           skin.mask, 0, 0, 0);
    }
}

template <typename T>
T* Control(QWidget* dialog, int id) {
    return dialog->findChild<T*>(QString::number(id));
}

}  // namespace

CDlgMain::CDlgMain(QWidget* parent) : CBkDialog(parent), m_rowMarks(std::make_unique<RowMarks>()) {
    g_mainDialog = this;
    g_scanProgressView = this;
    InstallKinds();  // the rows' names, checks and engines, before the first row is added
    setAttribute(Qt::WA_DeleteOnClose, false);
}

CDlgMain::~CDlgMain() {
    delete m_pictures;  // no picture is decoded for a window that goes
    m_pictures = nullptr;
    if (m_worker.joinable()) {
        // Never leave a worker reading the job while the window goes away.
        g_stopRequested = 1;
        m_worker.join();
    }
    OnDestroy();
    m_hRealMedia.reset();
    m_hWindowsMedia.reset();
    if (g_mainDialog == this) {
        g_mainDialog = nullptr;
    }
    if (g_scanProgressView == this) {
        g_scanProgressView = nullptr;
    }
}

bool CDlgMain::OnInitDialog() {
    if (!LoadDialogTemplate(this, IDD_MAIN)) {
        return false;
    }
    g_mainDialog = this;
    g_scanProgressView = this;
    setWindowFlag(Qt::FramelessWindowHint, true);
    SetBackgroundBitmap(IDB_BACKGROUND);
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    BindControls();
    SetUpList();

    // Engine modules: a missing one only makes joins of its kind fail later.
    m_hRealMedia = LoadRealMediaSdk();
    m_hWindowsMedia = Module::Load("WMVCore");
    m_bWmEntryPoints = m_hWindowsMedia != nullptr && LoadWmEntryPoints(*m_hWindowsMedia) ? 1 : 0;

    SetUpSkin();
    m_pScanProgress = new CDlgScanProgress(this);
    m_pScanProgress->setWindowModality(Qt::NonModal);
    m_pScanProgress->hide();
    ConnectCommands();
    SetUpView();
    // Tooltips are shown wrapped to the window's width.
    for (QWidget* child : findChildren<QWidget*>()) {
        child->installEventFilter(this);
    }
    return true;
}

void CDlgMain::BindControls() {
    m_status = Control<CBkButton>(this, IDC_STATUS);
    m_menu = Control<CBkButton>(this, IDC_MENU);
    m_minimise = Control<CBkButton>(this, IDC_MINIMISE);
    m_close = Control<CBkButton>(this, IDC_CLOSE);
    m_homePage = Control<CBkButton>(this, IDC_HOMEPAGE);
    m_progress = Control<CBkProgressCtrl>(this, IDC_PROGRESS);
    m_list = Control<QTreeWidget>(this, IDC_LIST);
    m_moveUp = Control<CIconButton>(this, IDC_MOVE_UP);
    m_moveTop = Control<CIconButton>(this, IDC_MOVE_TOP);
    m_play = Control<CIconButton>(this, IDC_PLAY);
    m_join = Control<CBkButton>(this, IDC_JOIN);
    m_moveDown = Control<CIconButton>(this, IDC_MOVE_DOWN);
    m_clear = Control<CBkButton>(this, IDC_CLEAR);
    m_remove = Control<CBkButton>(this, IDC_REMOVE);
    m_moveBottom = Control<CIconButton>(this, IDC_MOVE_BOTTOM);
    m_add = Control<CBkButton>(this, IDC_ADD);
}

void CDlgMain::SetUpList() {
    if (m_list == nullptr) {
        return;
    }
    m_header = new CBkHeaderCtrl(m_list);
    m_list->setHeader(m_header);
    QStringList headings;
    for (const ColumnSpec& column : kColumns) {
        headings << QString::fromLatin1(column.heading);
    }
    m_list->setColumnCount(static_cast<int>(std::size(kColumns)));
    m_list->setHeaderLabels(headings);
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
        m_list->setColumnWidth(i, kColumns[i].width);
        m_list->headerItem()->setTextAlignment(i, Qt::AlignLeft | Qt::AlignVCenter);
    }
    m_header->setStretchLastSection(false);
    m_header->setSectionsMovable(false);
    // Where the keyboard focus is: the list's frame takes the highlight colour while it has it.
    m_list->setStyleSheet(
        QStringLiteral("QTreeView { border: 2px solid palette(mid); }"
                       "QTreeView:focus { border: 2px solid palette(highlight); }"));
    m_list->setAcceptDrops(true);
    m_list->viewport()->setAcceptDrops(true);
    m_list->viewport()->installEventFilter(this);
    m_list->installEventFilter(this);
}

void CDlgMain::SetUpSkin() {
    ApplySkin(m_homePage, kHomePageSkin);
    ApplySkin(m_add, kAddSkin);
    ApplySkin(m_remove, kRemoveSkin);
    ApplySkin(m_clear, kClearSkin);
    ApplySkin(m_join, kJoinSkin);
    ApplySkin(m_status, kStatusSkin);
    ApplySkin(m_minimise, kMinimiseSkin);
    ApplySkin(m_close, kCloseSkin);
    ApplySkin(m_menu, kMenuSkin);
    const std::pair<CIconButton*, int> icons[] = {{m_moveUp, IDI_MOVE_UP},
                                                  {m_moveDown, IDI_MOVE_DOWN},
                                                  {m_moveTop, IDI_MOVE_TOP},
                                                  {m_moveBottom, IDI_MOVE_BOTTOM},
                                                  {m_play, IDI_PLAY}};
    for (const auto& [button, icon] : icons) {
        if (button != nullptr) {
            button->SetIcon(icon);
            button->SetTransparent(true, true);
        }
    }
    if (m_header != nullptr) {
        m_header->LoadBitmap(IDB_HEADER_TILE);
        QFont bold = m_header->font();
        bold.setWeight(QFont::Bold);
        m_header->setFont(bold);
    }
    // Enter is the dialog's OK command, not a press of whichever button has the focus. Buttons
    // take the focus from the keyboard only, so a click leaves it where it was (on the list).
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
        if (button->focusPolicy() != Qt::NoFocus) {
            button->setFocusPolicy(Qt::TabFocus);
        }
    }
    // Tab goes round the list and its buttons: from Join it comes back to the list. The title
    // bar's buttons are for the mouse; F10 opens the menu, whose commands include the home page.
    for (QWidget* titleButton :
         {static_cast<QWidget*>(m_homePage), static_cast<QWidget*>(m_menu),
          static_cast<QWidget*>(m_minimise), static_cast<QWidget*>(m_close)}) {
        if (titleButton != nullptr) {
            titleButton->setFocusPolicy(Qt::NoFocus);
        }
    }
    auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this, &CDlgMain::OnMenu);
}

void CDlgMain::ConnectCommands() {
    auto bind = [this](QAbstractButton* button, void (CDlgMain::*handler)()) {
        if (button != nullptr) {
            connect(button, &QAbstractButton::clicked, this, handler);
        }
    };
    bind(m_add, &CDlgMain::OnAddFiles);
    bind(m_remove, &CDlgMain::OnRemove);
    bind(m_clear, &CDlgMain::OnClear);
    bind(m_moveUp, &CDlgMain::OnMoveUp);
    bind(m_moveDown, &CDlgMain::OnMoveDown);
    bind(m_moveTop, &CDlgMain::OnMoveTop);
    bind(m_moveBottom, &CDlgMain::OnMoveBottom);
    bind(m_play, &CDlgMain::OnPlay);
    bind(m_menu, &CDlgMain::OnMenu);
    bind(m_join, &CDlgMain::OnJoin);
    if (m_minimise != nullptr) {
        connect(m_minimise, &QAbstractButton::clicked, this, &QWidget::showMinimized);
    }
    if (m_close != nullptr) {
        connect(m_close, &QAbstractButton::clicked, this, &CDlgMain::accept);
    }
    if (m_homePage != nullptr) {
        connect(m_homePage, &QAbstractButton::clicked, this, [this] { OnCommand(ID_HOMEPAGE); });
    }
    if (m_list != nullptr) {
        connect(m_list, &QTreeWidget::itemClicked, this, &CDlgMain::ShowSelectedInfo);
        connect(m_list, &QTreeWidget::itemSelectionChanged, this, [this] {
            UpdateDetailRow();
            ShowSelectedInfo();
            if (m_status != nullptr) {
                m_status->update();
            }
        });
        connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] {
            if (m_bJoining == 0) {
                OnPlay();
            }
        });
    }
}

void CDlgMain::OnDestroy() {
    if (m_bDestroyed) {
        return;
    }
    m_bDestroyed = true;
    OnClear();
    delete m_pScanProgress;
    m_pScanProgress = nullptr;
}

// ---- rows ----

int CDlgMain::RowCount() const {
    return m_list != nullptr ? m_list->topLevelItemCount() : 0;
}

MediaFileInfo* CDlgMain::RowRecord(int row) const {
    auto* item =
        m_list != nullptr ? static_cast<JoinListItem*>(m_list->topLevelItem(row)) : nullptr;
    return item != nullptr ? item->Record() : nullptr;
}

int CDlgMain::SelectedRow() const {
    for (int row = 0; row < RowCount(); ++row) {
        if (m_list->topLevelItem(row)->isSelected()) {
            return row;
        }
    }
    return -1;
}

QString CDlgMain::StatusText() const {
    return m_status != nullptr ? m_status->text() : QString();
}

void CDlgMain::InsertRow(std::unique_ptr<MediaFileInfo> record, int position) {
    if (m_list == nullptr || record == nullptr) {
        return;
    }
    const MediaFileInfo& shown = *record;
    position = std::min(position, RowCount());
    auto* item = new JoinListItem(std::move(record));
    m_list->insertTopLevelItem(position, item);
    m_rowMarks->Update(m_list);
    RequestPicture(*item);
    ListChanged();
    ShowRowInfo(shown);
}

void CDlgMain::ShowRowInfo(const MediaFileInfo& record) {
    SetStatusText(QString::fromStdString(record.FormatInfoLine()));
    m_pStatusRecord = &record;
}

bool CDlgMain::AddFile(const QString& path, ProbeError* error) {
    m_bProbing = true;
    ProbeError local;
    ProbeError* why = error != nullptr ? error : &local;
    std::unique_ptr<MediaFileInfo> record = ProbeMediaFile(path.toStdString(), why);
    m_bProbing = false;
    if (record == nullptr) {
        return false;
    }
    InsertRow(std::move(record), RowCount());
    if (!why->notice.empty()) {
        SetStatusText(QString::fromStdString(why->notice));
    }
    return true;
}

void CDlgMain::AddFiles(const QStringList& paths) {
    QStringList unreadable;
    QStringList unrecognised;
    bool sawOgg = false;
    for (const QString& path : paths) {
        ProbeError error;
        if (AddFile(path, &error)) {
            continue;
        }
        if (error.failure == ProbeFailure::kOgg) {
            sawOgg = true;
        } else if (error.failure == ProbeFailure::kUnrecognised) {
            unrecognised << QDir::toNativeSeparators(path);
        } else if (error.failure == ProbeFailure::kUnreadable) {
            unreadable << QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path),
                                                       QString::fromStdString(error.reason));
        }
    }
    QStringList message;
    if (sawOgg) {
        message << tr("Ogg files cannot be joined, so they were not added to the list.");
    }
    if (!unrecognised.isEmpty()) {
        message << tr("These files are not AVI, MPEG, Real Media or WMV/ASF files and were not "
                      "added:")
                << unrecognised;
    }
    if (!unreadable.isEmpty()) {
        message << tr("These files could not be read and were not added:") << unreadable;
    }
    if (!message.isEmpty()) {
        CurrentPrompter().Message(this, message.join(QLatin1Char('\n')));
    }
}

void CDlgMain::AddFilesTogether(QStringList paths) {
    std::stable_sort(paths.begin(), paths.end(), NaturalLess);
    AddFiles(paths);
}

bool CDlgMain::OnDropFiles(const QMimeData& dropped) {
    if (m_bJoining != 0 || m_bProbing) {
        return false;
    }
    QStringList paths;
    for (const QUrl& url : dropped.urls()) {
        if (url.isLocalFile()) {
            paths << url.toLocalFile();
        }
    }
    AddFilesTogether(paths);
    return true;
}

void CDlgMain::OnAddFiles() {
    if (m_bProbing) {
        return;
    }
    const QStringList files =
        CurrentPrompter().OpenFileNames(this, QString::fromLatin1(kOpenFilter));
    AddFilesTogether(files);
}

std::unique_ptr<MediaFileInfo> CDlgMain::DetachRow(int row) {
    auto* item = static_cast<JoinListItem*>(m_list->takeTopLevelItem(row));
    if (item == nullptr) {
        return nullptr;
    }
    ForgetPicture(*item);
    std::unique_ptr<MediaFileInfo> record = item->TakeRecord();
    delete item;
    return record;
}

std::vector<int> CDlgMain::SelectedRows() const {
    std::vector<int> rows;
    for (int row = 0; row < RowCount(); ++row) {
        if (m_list->topLevelItem(row)->isSelected()) {
            rows.push_back(row);
        }
    }
    return rows;
}

void CDlgMain::OnRemove() {
    std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        return;
    }
    {
        QSignalBlocker block(m_list);
        for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
            std::unique_ptr<MediaFileInfo> removed = DetachRow(*row);
            if (removed != nullptr && removed.get() == m_pStatusRecord) {
                SetStatusText(QString());  // the line spoke of a row that is gone
            }
        }
        m_list->clearSelection();
    }
    m_rowMarks->Update(m_list);
    // The row after the removed ones takes the selection, so that Delete can go on.
    int after = rows.back() - static_cast<int>(rows.size()) + 1;
    SelectRow(std::min(after, RowCount() - 1));
    ListChanged();
}

void CDlgMain::OnClear() {
    if (m_list == nullptr) {
        return;
    }
    while (RowCount() > 0) {
        DetachRow(RowCount() - 1);
    }
    m_rowMarks->Update(m_list);
    ListChanged();
    SetStatusText(QString());
}

void CDlgMain::SelectRow(int row) {
    QTreeWidgetItem* item = m_list->topLevelItem(row);
    if (item == nullptr) {
        return;
    }
    m_list->clearSelection();
    m_list->setCurrentItem(item);
    item->setSelected(true);
}

void CDlgMain::MoveSelectedRows(RowMove move) {
    std::vector<int> selected = SelectedRows();
    if (selected.empty()) {
        return;
    }
    const int count = RowCount();
    std::vector<bool> chosen(static_cast<size_t>(count), false);
    for (int row : selected) {
        chosen[static_cast<size_t>(row)] = true;
    }
    std::vector<int> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    auto isChosen = [&chosen](int row) { return chosen[static_cast<size_t>(row)]; };
    switch (move) {
        case RowMove::kUp:
            // Each chosen row passes the unchosen one above it; a block moves as one.
            for (size_t i = 1; i < order.size(); ++i) {
                if (isChosen(order[i]) && !isChosen(order[i - 1])) {
                    std::swap(order[i], order[i - 1]);
                }
            }
            break;
        case RowMove::kDown:
            for (size_t i = order.size() - 1; i > 0; --i) {
                if (isChosen(order[i - 1]) && !isChosen(order[i])) {
                    std::swap(order[i], order[i - 1]);
                }
            }
            break;
        case RowMove::kTop:
            std::stable_partition(order.begin(), order.end(), isChosen);
            break;
        case RowMove::kBottom:
            std::stable_partition(order.begin(), order.end(),
                                  [&isChosen](int row) { return !isChosen(row); });
            break;
    }
    // The rows (and the records they own) are put back in their new order.
    QList<QTreeWidgetItem*> items;
    {
        QSignalBlocker block(m_list);
        std::vector<QTreeWidgetItem*> taken(static_cast<size_t>(count));
        for (int row = count - 1; row >= 0; --row) {
            taken[static_cast<size_t>(row)] = m_list->takeTopLevelItem(row);
        }
        for (int row : order) {
            items << taken[static_cast<size_t>(row)];
        }
        m_list->insertTopLevelItems(0, items);
        m_list->clearSelection();
        bool first = true;
        for (size_t at = 0; at < order.size(); ++at) {
            if (isChosen(order[at])) {
                if (first) {
                    m_list->setCurrentItem(items[static_cast<qsizetype>(at)]);
                    first = false;
                }
                items[static_cast<qsizetype>(at)]->setSelected(true);
            }
        }
    }
    m_rowMarks->Update(m_list);
    ListChanged();
    // The status line speaks of the first row moved.
    ShowSelectedInfo();
}

void CDlgMain::OnMoveUp() {
    MoveSelectedRows(RowMove::kUp);
}

void CDlgMain::OnMoveDown() {
    MoveSelectedRows(RowMove::kDown);
}

void CDlgMain::OnMoveTop() {
    MoveSelectedRows(RowMove::kTop);
}

void CDlgMain::OnMoveBottom() {
    MoveSelectedRows(RowMove::kBottom);
}

void CDlgMain::ShowSelectedInfo() {
    int row = SelectedRow();
    if (row >= 0) {
        ShowRowInfo(*RowRecord(row));
    }
}

void CDlgMain::OnPlay() {
    int row = SelectedRow();
    if (row >= 0) {
        PlayFile(QString::fromStdString(RowRecord(row)->m_strPath));
    }
}

void CDlgMain::PlayFile(const QString& path) {
    if (!CurrentPrompter().OpenToPlay(path)) {
        CurrentPrompter().Message(this, NoPlayerText(path));
    }
}

// ---- menu and commands ----

void CDlgMain::OnMenu() {
    std::vector<res::MenuPopup> popups = res::Menu(IDR_MAIN_MENU);
    if (popups.empty() || m_menu == nullptr) {
        return;
    }
    QMenu menu(this);
    for (const res::MenuItem& item : popups.front().items) {
        if (item.command == 0) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(item.text);
        int command = item.command;
        if (command == ID_MARK_INPUTS) {
            action->setCheckable(true);
            action->setChecked(m_bMarkInputs);
        }
        connect(action, &QAction::triggered, this, [this, command] { OnCommand(command); });
    }
    menu.exec(m_menu->mapToGlobal(QPoint(0, m_menu->height() + 1)));
}

void CDlgMain::OnHelp() {
    CurrentPrompter().OpenWithShell(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                                    QString::fromLatin1(kHelpFileName));
}

void CDlgMain::OnCommand(int command) {
    switch (command) {
        case ID_HELP:
            OnHelp();
            break;
        case ID_SUPPORT:
            CurrentPrompter().OpenWithShell(QString::fromLatin1(kSupportMailto));
            break;
        case ID_ABOUT: {
            CDlgAbout about(this);
            CentreOnWindow(&about, this);
            about.exec();
            break;
        }
        case ID_HOMEPAGE:
            CurrentPrompter().OpenWithShell(QString::fromLatin1(kHomePageUrl));
            break;
        case ID_MARK_INPUTS:
            m_bMarkInputs = !m_bMarkInputs;
            break;
        default:
            break;
    }
}

// ---- status, progress, scan window ----

void CDlgMain::SetStatusText(const QString& text) {
    OnUiThread([this, text] {
        m_pStatusRecord = nullptr;
        if (m_status != nullptr) {
            m_status->setText(text);
            m_status->update();
        }
    });
}

void CDlgMain::SetProgress(int percent) {
    OnUiThread([this, percent] {
        if (m_progress != nullptr) {
            m_progress->setValue(percent);
            m_progress->update();
        }
    });
}

void CDlgMain::ShowScanProgress(const QString& text) {
    if (m_pScanProgress == nullptr) {
        return;
    }
    QRect window = frameGeometry();
    if (m_pScanProgress->m_text != nullptr) {
        m_pScanProgress->m_text->setText(text);
    }
    if (m_pScanProgress->m_progress != nullptr) {
        m_pScanProgress->m_progress->setRange(0, 100);
        m_pScanProgress->m_progress->setValue(0);
    }
    m_pScanProgress->show();
    int left = window.left(), top = window.top();
    int right = window.left() + window.width(), bottom = window.top() + window.height();
    m_pScanProgress->setGeometry(left + (right - left) / 2 - kScanWindowWidth / 2,
                                 top + (bottom - top) / 2 - kScanWindowHeight / 2, kScanWindowWidth,
                                 kScanWindowHeight);
    m_pScanProgress->repaint();
}

void CDlgMain::SetScanProgress(int percent, const QString& text) {
    if (m_pScanProgress == nullptr) {
        return;
    }
    if (m_pScanProgress->m_text != nullptr) {
        m_pScanProgress->m_text->setText(text);
    }
    if (m_pScanProgress->m_progress != nullptr) {
        m_pScanProgress->m_progress->setValue(percent);
    }
}

void CDlgMain::ShowScanProgress(const std::string& text) {
    ShowScanProgress(QString::fromStdString(text));
}

void CDlgMain::SetScanProgress(int percent, const std::string& text) {
    SetScanProgress(percent, QString::fromStdString(text));
}

void CDlgMain::HideScanProgress() {
    if (m_pScanProgress != nullptr) {
        m_pScanProgress->hide();
    }
}

// ---- window events ----

void CDlgMain::reject() {
    // Escape: ignored while a join runs.
    if (m_bJoining == 0 && MayCloseNow()) {
        QDialog::reject();
    }
}

void CDlgMain::accept() {
    if (MayCloseNow()) {
        QDialog::accept();
    }
}

void CDlgMain::closeEvent(QCloseEvent* event) {
    if (!MayCloseNow()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CDlgMain::keyPressEvent(QKeyEvent* event) {
    // Neither Enter nor Escape ends the window (the list would be lost with it): Enter presses
    // the focused button, Escape does nothing.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QAbstractButton*>(focusWidget());
            button != nullptr && button->isEnabled() && event->modifiers() == Qt::NoModifier) {
            button->click();
        }
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    CBkDialog::keyPressEvent(event);
}

bool CDlgMain::OnListKey(const QKeyEvent& key) {
    // While a join reads the rows they stay as they are, and nothing is played.
    if (m_bJoining != 0 || m_bProbing) {
        return false;
    }
    if (key.modifiers() == Qt::ControlModifier) {
        switch (key.key()) {
            case Qt::Key_Up:
                OnMoveUp();
                return true;
            case Qt::Key_Down:
                OnMoveDown();
                return true;
            case Qt::Key_Home:
                OnMoveTop();
                return true;
            case Qt::Key_End:
                OnMoveBottom();
                return true;
            default:
                return false;
        }
    }
    if (key.modifiers() != Qt::NoModifier && key.modifiers() != Qt::KeypadModifier) {
        return false;
    }
    switch (key.key()) {
        case Qt::Key_Delete:
            OnRemove();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            OnPlay();
            return true;
        default:
            return false;
    }
}

int CDlgMain::DetailRow() const {
    return m_delegate != nullptr ? m_delegate->DetailRow() : -1;
}

bool CDlgMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip && ShowWrappedToolTip(watched, event)) {
        return true;
    }
    if (m_list != nullptr && watched == m_list->viewport()) {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (drag->mimeData()->hasUrls() && m_bJoining == 0 && !m_bProbing) {
                drag->acceptProposedAction();
                return true;
            }
        } else if (event->type() == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(event);
            if (OnDropFiles(*drop->mimeData())) {
                drop->acceptProposedAction();
            }
            return true;
        }
    } else if (watched == m_list && event->type() == QEvent::KeyPress) {
        if (OnListKey(*static_cast<QKeyEvent*>(event))) {
            return true;
        }
    }
    return CBkDialog::eventFilter(watched, event);
}
