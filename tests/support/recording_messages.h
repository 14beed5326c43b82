#pragma once
// The message seam of the windows under test: no test ever waits on a real modal window. GUI
// thread only.

#include "gui/kit/messages.h"

#include <QList>
#include <QString>
#include <QStringList>

// Test double: records every call as "kind: text" and answers questions and file dialogs from
// queues (an empty queue answers No / cancel). Installs itself while it lives.
class RecordingMessages : public Messages {
public:
    RecordingMessages();
    ~RecordingMessages() override;
    // "inform: ...", "error: ...", "ask: ...", "confirm: ...", "save: ...", "folder: ..."
    QStringList shown;
    QList<bool> answers; // of ask() and confirm() in turn
    // Answers every confirm() with 是 and records nothing: for tests of what a confirmed
    // operation does (the questions themselves have tests that leave this off).
    bool confirmAll = false;
    QStringList fileNames;
    QStringList folders; // answers of existingDirectory

    void inform(QWidget* parent, const QString& text, const QString& caption) override;
    void error(QWidget* parent, const QString& text) override;
    bool ask(QWidget* parent, const QString& text, const QString& caption) override;
    bool confirm(QWidget* parent, const QString& text, const QString& caption) override;
    QString saveFileName(QWidget* parent, const QString& proposed, const QString& filter) override;
    QString existingDirectory(QWidget* parent, const QString& caption) override;

private:
    Messages* previous_;
};
