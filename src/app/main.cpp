#include "gui/kit/help_viewer.h"
#include "gui/kit/language.h"
#include "gui/kit/messages.h"
#include "gui/kit/single_instance.h"
#include "gui/main/main_form.h"
#include "gui/main/startup.h"
#include "link/serial_link.h"
#include "session/station_state.h"
#include "store/database.h"
#include "store/settings.h"
#include "store/station_folders.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    const StationFolders folders = LocateStationFolders(QCoreApplication::applicationDirPath());
    // An installed program's first start: the folders and Config.ini from the shipped defaults.
    const QString prepared = PrepareStationFolders(folders);
    // Before any window or message box: each text is translated when its window is made.
    InstallLanguage(folders.settings, folders.TranslationsFolder());
    SetHelpFile(folders.HelpFile(IsEnglish()));
    QApplication::setApplicationDisplayName(
        QCoreApplication::translate("Main", "三相电参模块上位机软件"));

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QCoreApplication::translate("Main", "这一站的串口（不写：Config.ini 中的端口）"),
        QStringLiteral("device"));
    parser.addOption(portOption);
    parser.process(app);
    if (!prepared.isEmpty()) {
        Ui().error(nullptr, prepared);
        return 1;
    }

    // A station is its port: a second start for the same port shows the running window.
    const QString port =
        parser.isSet(portOption) ? parser.value(portOption) : LoadPortName(folders.settings);
    SingleInstance instance(port);
    if (!instance.isFirst()) {
        const bool raised = instance.BringRunningToFront();
        std::fprintf(
            stderr, "kx7410: %s\n",
            qPrintable(raised
                           ? QStringLiteral("already running on %1; its window was "
                                            "brought to the front")
                                 .arg(port.isEmpty() ? QStringLiteral("no port") : port)
                           : QStringLiteral("already running on %1 and not answering").arg(port)));
        return raised ? 0 : 1;
    }
    SerialLink link;
    Application application;
    if (!StartApplication(folders, link, application)) return 1;
    TMainForm& window = *application.window;
    if (parser.isSet(portOption)) {
        // For this run only: Config.ini keeps what 串口设置 last confirmed.
        LineChoice line = window.station().line();
        line.PortName = port;
        window.station().setLine(line);
    }
    QObject::connect(&instance, &SingleInstance::raiseRequested, &window, [&window] {
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
        window.show();
        window.raise();
        window.activateWindow();
    });
    window.show();
    return app.exec();
}
