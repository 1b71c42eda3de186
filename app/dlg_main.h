// The main window: the join list, the buttons that edit it, the join button, the progress bar
// and the status line.
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "job/join_host.h"
#include "probe/library_scan.h"
#include "skin/bk_dialog.h"

class CBkButton;
class CBkHeaderCtrl;
class CBkProgressCtrl;
class CIconButton;
class CDlgScanProgress;
class JoinListItem;
class MediaFileInfo;
struct ProbeError;
class Module;
class QKeyEvent;
class QMimeData;
class QLabel;
class QSizeGrip;
class RowDelegate;
class RowPictures;
class QTreeWidget;
class QTreeWidgetItem;
class RowMarks;

class CDlgMain : public CBkDialog, public JoinHost, public ScanProgressView {
    Q_OBJECT
public:
    explicit CDlgMain(QWidget* parent = nullptr);
    ~CDlgMain() override;

    // Builds the window, loads the engine modules and sets up the list and the skin.
    bool OnInitDialog();

    // Probes one file and appends its row; false (and why in *error) when no row was added.
    bool AddFile(const QString& path, ProbeError* error = nullptr);
    // Adds files in order; tells the user once about those that could not be added.
    void AddFiles(const QStringList& paths);
    // Adds files chosen or dropped together, in natural order (part 2 before part 10).
    void AddFilesTogether(QStringList paths);
    void InsertRow(std::unique_ptr<MediaFileInfo> record, int position);

    void OnAddFiles();
    // Files dragged onto the list: added in the order given. False while a probe or join runs.
    bool OnDropFiles(const QMimeData& dropped);
    void OnRemove();
    void OnClear();
    void OnMoveUp();
    void OnMoveDown();
    void OnMoveTop();
    void OnMoveBottom();
    void OnPlay();
    // Opens a file with the desktop's player; says so when no program plays files of its type.
    void PlayFile(const QString& path);
    void OnMenu();
    void OnHelp();
    void OnCommand(int command);
    void ShowSelectedInfo();

    void ShowScanProgress(const QString& text);
    void SetScanProgress(int percent, const QString& text);
    void HideScanProgress() override;
    // ScanProgressView: the library scan of an added file drives the window through these.
    void ShowScanProgress(const std::string& text) override;
    void SetScanProgress(int percent, const std::string& text) override;

    void SetStatusText(const QString& text);
    // Any thread: from another one the change is carried to the user-interface thread.
    void SetProgress(int percent) override;

    // The join job.
    void OnJoin();
    int RunJoin();
    int FinishJoin();
    // True while an engine has not yet ended (also after a confirmed stop).
    bool EngineRunning() const { return m_bEngineRunning.load(); }
    // The program was asked to end (SIGTERM, SIGHUP, SIGINT): a running join is stopped as a
    // confirmed stop is, every open prompt is closed, and the window closes once the engine has
    // ended and removed its unfinished output.
    void OnStopSignal(int signal);
    // The signal that ended the window, or 0.
    int StopSignal() const { return m_nStopSignal; }

    // JoinHost: what the engines may reach of the window.
    const std::vector<JoinInput>& Inputs() const override { return m_jobInputs; }
    bool WmEntryPointsLoaded() const override { return m_bWmEntryPoints != 0; }
    const Module* RealMediaModule() const override { return m_hRealMedia.get(); }
    void PostJoinPercent(int percent) override;
    void PostJoinProgress(int percent) override;
    void SetStatusText(const std::string& text) override;
    void PumpMessages() override;
    void MessageBox(const std::string& text) override;
    std::string ResourceString(int id) const override;

    // Rows, top to bottom.
    int RowCount() const;
    MediaFileInfo* RowRecord(int row) const;
    // The first selected row from the top, or -1.
    int SelectedRow() const;
    QString StatusText() const;

    QTreeWidget* List() const { return m_list; }
    CDlgScanProgress* ScanProgressWindow() const { return m_pScanProgress; }
    const Module* WindowsMediaModule() const { return m_hWindowsMedia.get(); }

    // The list's marks of odd rows.
    const RowMarks& Marks() const { return *m_rowMarks; }
    // The line under the list: the number of files, their length and size, and the joined
    // file's expected size (empty without rows).
    QString TotalsText() const;
    // True while pictures of rows wait to be decoded.
    bool PicturesPending() const;
    // The row drawn as a card with its larger picture, or -1.
    int DetailRow() const;
    // Whether WMV/ASF joins add a marker at each input's start (the menu's toggle).
    bool m_bMarkInputs = false;

    int m_bJoining = 0;       // 1 while a join runs
    bool m_bProbing = false;  // true while a probe runs: no second probe or join starts

public slots:
    void accept() override;
    void reject() override;

protected:
    void customEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BindControls();
    void ConnectCommands();
    void SetUpList();
    void SetUpSkin();
    void OnDestroy();
    // Deletes the row (not its record) and returns the record.
    std::unique_ptr<MediaFileInfo> DetachRow(int row);
    enum class RowMove { kUp, kDown, kTop, kBottom };
    // Moves every selected row; selected rows next to each other move as one block.
    void MoveSelectedRows(RowMove move);
    // The selected rows, top to bottom.
    std::vector<int> SelectedRows() const;
    // Ctrl+Up/Down/Home/End move the selected rows, Delete removes them, Enter plays.
    bool OnListKey(const QKeyEvent& key);
    // The rows changed: the line of totals under the list follows them.
    void ListChanged();
    // The pictures, the card of the selected row, the totals and the layout (dlg_main_view.cpp).
    void SetUpView();
    void LayOut();
    void OnPictureReady(quint64 key, const QImage& picture);
    void RequestPicture(const JoinListItem& item);
    void ForgetPicture(const JoinListItem& item);
    void UpdateDetailRow();
    // A tooltip wrapped to the window's width, for the control or list cell under the cursor.
    bool ShowWrappedToolTip(QObject* watched, QEvent* event);
    // "Joined into OUT, which lasts 0:12.0."
    static QString JoinedStatusText(const QString& output, double seconds);
    void SelectRow(int row);
    // The join button's start or stop look, and the controls that edit the list.
    void SetJoinLook(bool running);
    void EnableEditControls(bool enable);
    void OnJoinFinished();
    // The stop question; true on Yes. A job that ends while it is open closes it (as No).
    bool AskStop();
    void ConfirmStop();
    void CloseIfAsked();
    // Shows a row's information line in the status line, which then belongs to that row.
    void ShowRowInfo(const MediaFileInfo& record);
    // Asks whether to stop a running join before the window closes; false: do not close now.
    bool MayCloseNow();
    // Runs `fn` on the user-interface thread without waiting (directly when already there).
    void OnUiThread(std::function<void()> fn);

    CBkButton* m_status = nullptr;          // 1046
    CBkButton* m_menu = nullptr;            // 1045
    CBkButton* m_minimise = nullptr;        // 1043
    CBkButton* m_close = nullptr;           // 1044
    CBkButton* m_homePage = nullptr;        // 1042
    CBkProgressCtrl* m_progress = nullptr;  // 1015
    QTreeWidget* m_list = nullptr;          // 1001
    CIconButton* m_moveUp = nullptr;        // 1005
    CIconButton* m_moveTop = nullptr;       // 1004
    CIconButton* m_play = nullptr;          // 1047
    CBkButton* m_join = nullptr;            // 1011
    CIconButton* m_moveDown = nullptr;      // 1006
    CBkButton* m_clear = nullptr;           // 1010
    CBkButton* m_remove = nullptr;          // 1009
    CIconButton* m_moveBottom = nullptr;    // 1007
    CBkButton* m_add = nullptr;             // 1008
    CBkHeaderCtrl* m_header = nullptr;

    CDlgScanProgress* m_pScanProgress = nullptr;  // owned
    std::unique_ptr<Module> m_hRealMedia;
    std::unique_ptr<Module> m_hWindowsMedia;
    int m_bWmEntryPoints = 0;
    bool m_bDestroyed = false;

    std::vector<JoinInput> m_jobInputs;  // the rows as they were when the job started
    std::thread m_worker;                // the job's worker thread, when one is held
    std::atomic<bool> m_bEngineRunning{false};
    bool m_bCloseAfterJob = false;  // the user asked to close while a join ran
    bool m_bStopQuestionOpen = false;
    bool m_bEndedDuringQuestion = false;  // the job ended while the stop question was open
    int m_nStopSignal = 0;
    const MediaFileInfo* m_pStatusRecord = nullptr;  // the row whose line the status shows
    std::unique_ptr<RowMarks> m_rowMarks;

    RowDelegate* m_delegate = nullptr;  // owned by the list
    RowPictures* m_pictures = nullptr;  // owned; its worker ends with it
    QLabel* m_totals = nullptr;         // 1049
    QSizeGrip* m_grip = nullptr;
    QSize m_designedSize;
    std::vector<std::pair<QWidget*, QRect>> m_designedPlaces;  // as the layout gives them
};

extern CDlgMain* g_mainDialog;
