// Every question, message, file dialog and shell request of the program goes through one
// Prompter, so that the window, the command line and the tests can each answer them their way.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

class Prompter {
public:
    virtual ~Prompter() = default;

    // A message with an OK button.
    virtual void Message(QWidget* parent, const QString& text) = 0;
    // A question with Yes and No buttons; true on Yes.
    virtual bool Question(QWidget* parent, const QString& text) = 0;
    // Files to open (empty when cancelled). `filter` is in the "Desc|pattern|...||" form.
    virtual QStringList OpenFileNames(QWidget* parent, const QString& filter) = 0;
    // A path to save to (empty when cancelled), proposing `proposed`.
    virtual QString SaveFileName(QWidget* parent, const QString& proposed, const QString& filter,
                                 const QString& defaultSuffix) = 0;
    // The join failure dialog with its reason.
    virtual void JoinFailed(QWidget* parent, const QString& reason) = 0;
    // Opens a file, folder or address with the desktop's handler; the result is not reported.
    virtual void OpenWithShell(const QString& target) = 0;
    // Opens a media file with the desktop's player; false when no program is set to play files
    // of its type (nothing was opened).
    virtual bool OpenToPlay(const QString& path) {
        OpenWithShell(path);
        return true;
    }
    // Closes the Question that is open, as if answered No (the job it asked about has ended).
    virtual void CloseQuestion() {}
    // Closes every prompt that is open: questions answered No, dialogs cancelled. `keep` (the
    // main window) stays.
    virtual void CloseAll(QWidget* keep) { (void)keep; }
};

// The prompter in use (the window's own unless a test or the command line set another).
Prompter& CurrentPrompter();
// Sets the prompter; null restores the window's own. Not owned.
void SetPrompter(Prompter* prompter);

// The window's prompter: message boxes and file dialogs. Prompts raised on another thread are
// carried to the user-interface thread and wait there for their answer.
class WidgetPrompter : public Prompter {
public:
    void Message(QWidget* parent, const QString& text) override;
    bool Question(QWidget* parent, const QString& text) override;
    QStringList OpenFileNames(QWidget* parent, const QString& filter) override;
    QString SaveFileName(QWidget* parent, const QString& proposed, const QString& filter,
                         const QString& defaultSuffix) override;
    void JoinFailed(QWidget* parent, const QString& reason) override;
    void OpenWithShell(const QString& target) override;
    bool OpenToPlay(const QString& path) override;
    void CloseQuestion() override;
    void CloseAll(QWidget* keep) override;
};

// "All Files|*.a;*.b|B Files (*.b)|*.b||" -> "All Files (*.a *.b);;B Files (*.b)": each
// pattern list shown once (a description that already ends in its patterns keeps only those),
// and a first filter that holds every pattern of the others.
QString ConvertFileFilter(const QString& pipeFilter);

// Runs `fn` on the user-interface thread and waits for it (directly when already there).
void RunOnUiThread(const std::function<void()>& fn);

// Whether the desktop has a program for files of `path`'s type: asked of xdg-mime where it is
// installed; without it, whether the desktop's opener (xdg-open) is there at all.
bool HasPlayerFor(const QString& path);

// "No program is set to play FILE ..." for the message box.
QString NoPlayerText(const QString& path);
