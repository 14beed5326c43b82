#include "gui/kit/single_instance.h"
#include "gui/main/main_form.h"
#include "gui/main/startup.h"
#include "link/serial_link.h"
#include "store/database.h"

#include <QApplication>
#include <QDir>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    SingleInstance instance;
    if (!instance.isFirst()) return 0;
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    QApplication::setApplicationDisplayName(QStringLiteral("三相电参模块上位机软件"));
    const QString dir = QCoreApplication::applicationDirPath();
    SerialLink link;
    Application application;
    if (!StartApplication(dir, QDir(dir).filePath(QStringLiteral("data")), link, application))
        return 1;
    application.window->show();
    return app.exec();
}
