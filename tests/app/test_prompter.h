// A prompter that answers every prompt from the test and remembers what it was asked.
#pragma once

#include <QStringList>
#include <functional>

#include "app/prompter.h"

class TestPrompter : public Prompter {
public:
    TestPrompter() { SetPrompter(this); }
    ~TestPrompter() override { SetPrompter(nullptr); }

    void Message(QWidget*, const QString& text) override { messages << text; }
    bool Question(QWidget*, const QString& text) override {
        questions << text;
        if (whileAsking) {
            // What happens while the question is open; CloseQuestion() then answers it No.
            m_questionOpen = true;
            m_closed = false;
            auto during = std::move(whileAsking);
            whileAsking = nullptr;
            during();
            m_questionOpen = false;
            if (m_closed) {
                return false;
            }
        }
        return answerYes;
    }
    void CloseQuestion() override {
        if (m_questionOpen) {
            m_closed = true;
            ++closedQuestions;
        }
    }
    void CloseAll(QWidget*) override {
        ++closeAllCalls;
        CloseQuestion();
    }
    QStringList OpenFileNames(QWidget*, const QString& filter) override {
        openFilters << filter;
        return filesToOpen;
    }
    QString SaveFileName(QWidget*, const QString& proposed, const QString&,
                         const QString& suffix) override {
        proposedNames << proposed;
        suffixes << suffix;
        return saveAs;
    }
    void JoinFailed(QWidget*, const QString& reason) override { failures << reason; }
    void OpenWithShell(const QString& target) override { opened << target; }
    bool OpenToPlay(const QString& path) override {
        if (!hasPlayer) {
            return false;
        }
        opened << path;
        return true;
    }

    bool answerYes = false;
    bool hasPlayer = true;  // a program is set to play media files
    QStringList filesToOpen;
    QString saveAs;

    QStringList messages, questions, openFilters, proposedNames, suffixes, failures, opened;
    // Run inside the next Question, as if while it is on screen.
    std::function<void()> whileAsking;
    int closedQuestions = 0;
    int closeAllCalls = 0;

private:
    bool m_questionOpen = false;
    bool m_closed = false;
};
