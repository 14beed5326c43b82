#pragma once
// The help file HELP.HLP is a short user guide in HTML, shown in an in-app viewer at its
// contents page. GUI thread only.

#include <QDialog>

class HelpViewer : public QDialog {
    Q_OBJECT
public:
    HelpViewer(const QString& path, QWidget* parent);
    // Opens the viewer (non-modal, deleted on close); a missing file is reported through the
    // message seam.
    static void ShowContents(QWidget* parent, const QString& path);
};
