// A prompter that answers every prompt from the test and remembers what it was asked.
#pragma once

#include <QStringList>

#include "app/prompter.h"

class TestPrompter : public Prompter {
public:
    TestPrompter() { SetPrompter(this); }
    ~TestPrompter() override { SetPrompter(nullptr); }

    void Message(QWidget*, const QString& text) override { messages << text; }
    bool Question(QWidget*, const QString& text) override {
        questions << text;
        return answerYes;
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

    bool answerYes = false;
    QStringList filesToOpen;
    QString saveAs;

    QStringList messages, questions, openFilters, proposedNames, suffixes, failures, opened;
};
