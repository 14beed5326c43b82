#pragma once
// The help file HELP.HLP is the user guide in HTML, shown in an in-app viewer at its contents page
// or at the page of what the user is looking at (F1). GUI thread only.

#include <QDialog>

class QTextBrowser;

class HelpViewer : public QDialog {
    Q_OBJECT
public:
    HelpViewer(const QString& path, const QString& anchor, QWidget* parent);
    // Opens the viewer (non-modal, deleted on close) at the anchor (empty: the contents); a missing
    // file is reported through the message seam.
    static void ShowContents(QWidget* parent, const QString& path, const QString& anchor = {});
    QString anchor() const { return anchor_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QTextBrowser* browser_ = nullptr;
    QString anchor_;
};

// The help file of this run (the language's file, installed or beside the program), set once at
// start; until then HELP.HLP beside the program.
void SetHelpFile(const QString& path);
QString HelpFile();
// F1 on window opens the help file at anchor.
void AddHelpKey(QWidget* window, const QString& anchor);
