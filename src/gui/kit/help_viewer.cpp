#include "gui/kit/help_viewer.h"

#include "gui/kit/messages.h"

#include <QFile>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

HelpViewer::HelpViewer(const QString& path, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(QStringLiteral("帮助文件"));
    resize(720, 560);
    auto* browser = new QTextBrowser(this);
    browser->setObjectName(QStringLiteral("HelpBrowser"));
    browser->setOpenExternalLinks(false);
    // The file is HTML whatever its extension; anchors inside it move within the page.
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        browser->setSearchPaths({QFileInfo(path).absolutePath()});
        browser->setHtml(QString::fromUtf8(file.readAll()));
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser);
}

void HelpViewer::ShowContents(QWidget* parent, const QString& path) {
    if (!QFileInfo::exists(path)) {
        Ui().inform(parent, QStringLiteral("找不到帮助文件 %1！").arg(path));
        return;
    }
    auto* viewer = new HelpViewer(path, parent);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->show();
}
