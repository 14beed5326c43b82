#pragma once
// The message seam: every message box, Yes/No question and file dialog of the windows goes
// through one Messages object. The application installs QtMessages; tests install
// RecordingMessages, which records each box and answers from a script, so no test ever waits on
// a real modal window. GUI thread only.

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class QFileDialog;
class QMessageBox;
class QWidget;

class Messages {
public:
    virtual ~Messages() = default;
    // An outcome or refusal with an OK button ("请打开串口！！", "操作数据库失败！").
    virtual void inform(QWidget* parent, const QString& text, const QString& caption = {}) = 0;
    // A conversion or start-up error, shown in the standard error box.
    virtual void error(QWidget* parent, const QString& text) = 0;
    // Yes/No question; true for Yes.
    virtual bool ask(QWidget* parent, const QString& text, const QString& caption) = 0;
    // Yes/No question before an operation that cannot be undone (clearing energy, a calibration
    // write, the flash commit): 否 is the default button, so a hurried Enter changes nothing.
    virtual bool confirm(QWidget* parent, const QString& text, const QString& caption) = 0;
    // File-save dialog; empty when cancelled.
    virtual QString saveFileName(QWidget* parent, const QString& proposed,
                                 const QString& filter) = 0;
    // Folder chooser (several files go into one folder at once); empty when cancelled.
    virtual QString existingDirectory(QWidget* parent, const QString& caption) = 0;
};

// The installed seam; QtMessages unless a test installed another (the caller keeps ownership).
Messages& Ui();
void InstallMessages(Messages* messages);

class QtMessages : public Messages {
public:
    void inform(QWidget* parent, const QString& text, const QString& caption) override;
    void error(QWidget* parent, const QString& text) override;
    bool ask(QWidget* parent, const QString& text, const QString& caption) override;
    bool confirm(QWidget* parent, const QString& text, const QString& caption) override;
    QString saveFileName(QWidget* parent, const QString& proposed, const QString& filter) override;
    QString existingDirectory(QWidget* parent, const QString& caption) override;
};

// The file-save dialog of QtMessages::saveFileName, built but not shown: a save dialog that
// proposes the given path and filter. It does not ask itself whether to replace an existing file;
// the windows ask that in their own words through ask().
std::unique_ptr<QFileDialog> NewSaveFileDialog(QWidget* parent, const QString& proposed,
                                               const QString& filter);

// The box of QtMessages::confirm, built but not shown: 是 and 否, with 否 the default and the
// answer of Escape.
std::unique_ptr<QMessageBox> NewConfirmBox(QWidget* parent, const QString& text,
                                           const QString& caption);
