#include "gui/kit/help_viewer.h"

#include "gui/kit/messages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {
QString helpFile;
}

HelpViewer::HelpViewer(const QString& path, const QString& anchor, QWidget* parent)
    : QDialog(parent), anchor_(anchor) {
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(tr("帮助文件"));
    resize(720, 560);
    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("HelpBrowser"));
    browser_->setOpenExternalLinks(false);
    // The file is HTML whatever its extension; anchors inside it move within the page.
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        browser_->setSearchPaths({QFileInfo(path).absolutePath()});
        browser_->setHtml(QString::fromUtf8(file.readAll()));
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser_);
}

void HelpViewer::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Only a laid-out page can scroll to its anchor.
    if (!anchor_.isEmpty()) browser_->scrollToAnchor(anchor_);
}

void HelpViewer::ShowContents(QWidget* parent, const QString& path, const QString& anchor) {
    if (!QFileInfo::exists(path)) {
        Ui().inform(parent, tr("找不到帮助文件 %1！").arg(path));
        return;
    }
    auto* viewer = new HelpViewer(path, anchor, parent);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->show();
}

void SetHelpFile(const QString& path) {
    helpFile = path;
}

QString HelpFile() {
    if (!helpFile.isEmpty()) return helpFile;
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("HELP.HLP"));
}

void AddHelpKey(QWidget* window, const QString& anchor) {
    auto* key = new QShortcut(QKeySequence::HelpContents, window);
    QObject::connect(key, &QShortcut::activated, window,
                     [window, anchor] { HelpViewer::ShowContents(window, HelpFile(), anchor); });
}
