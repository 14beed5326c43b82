#include "app/main_form.h"
#include "app/messages.h"
#include "app/single_instance.h"
#include "link/serial_link.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    SingleInstance instance;
    if (!instance.isFirst()) return 0;
    QApplication::setApplicationDisplayName(QStringLiteral("三相电参模块上位机软件"));
    SerialLink link;
    TMainForm window(QCoreApplication::applicationDirPath(), link);
    window.show();
    return app.exec();
}
