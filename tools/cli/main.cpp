// kx7410-cli: the station's engine from the command line, for scripts and a manufacturing
// execution system: what the database holds, the data check of one unit or of many on one bus,
// and the records. Results go to standard output, progress and diagnostics to standard error.

#include "check_command.h"
#include "cli_args.h"
#include "cli_station.h"
#include "common/conversion.h"
#include "device_commands.h"
#include "info_commands.h"

#include <QCoreApplication>
#include <QDir>
#include <functional>
#include <map>

namespace {

const QString kUsage = QStringLiteral(
    "usage: kx7410-cli [--data DIR] SUBCOMMAND [options]\n"
    "  ports                       the serial ports and simulator links\n"
    "  models | schemes | plans    what the product database holds\n"
    "  check                       the data check of one unit or of each address of a list\n"
    "  records list|show|export    the records of Results.db\n"
    "  clock read|set              the module's clock (读时间, 校时)\n"
    "  clear energy|demand         清除电能数据, 清除需量数据\n"
    "  read-config                 读取配置: the module's configuration, field by field\n"
    "  download-config             下载配置 with read-back, recorded\n"
    "  user-download               下载配置 of the user page (modbus, 1997 or 2007 form)\n"
    "  switch-protocol             配置通信协议: the model's protocol and frame format\n"
    "  enter-calibration           进入标定状态 in the module's power-on window\n"
    "  calibrate vip|phase|reset|power   the steps of a segment's calibration\n"
    "  flash                       标定完成: the calibration to flash, with backup and record\n"
    "--data DIR: the folder of Config.ini, Config.db and Results.db (default: those of the\n"
    "window: beside this program when a Config.ini lies there, else ~/.config/kx7410 and\n"
    "~/.local/share/kx7410). --version: the version. Each subcommand explains itself with --help.\n"
    "Exit: 0 success (every unit passed), 1 a verdict failed, 2 communication failure,\n"
    "3 bad usage or bad data.\n");

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
    QStringList args = app.arguments().mid(1);
    const QString programDir = QCoreApplication::applicationDirPath();
    QString dataDir;
    // Options before the subcommand belong to the program.
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
        const QString option = args.takeFirst();
        if (option == QLatin1String("--help")) {
            Out() << kUsage;
            return kExitOk;
        }
        if (option == QLatin1String("--version")) {
            Out() << "kx7410-cli " << QCoreApplication::applicationVersion() << '\n';
            return kExitOk;
        }
        if (option == QLatin1String("--data") && !args.isEmpty()) {
            dataDir = args.takeFirst();
        } else if (option.startsWith(QLatin1String("--data="))) {
            dataDir = option.mid(7);
        } else {
            Err() << "kx7410-cli: unknown option " << option << '\n' << kUsage;
            Err().flush();
            return kExitUsage;
        }
    }
    if (args.isEmpty()) {
        Err() << kUsage;
        Err().flush();
        return kExitUsage;
    }
    using Command = std::function<int(CliStation&, const QStringList&)>;
    const std::map<QString, Command> commands{{"ports", PortsCommand},
                                              {"models", ModelsCommand},
                                              {"schemes", SchemesCommand},
                                              {"plans", PlansCommand},
                                              {"check", CheckCommand},
                                              {"records", RecordsCommand},
                                              {"clock", ClockCommand},
                                              {"clear", ClearCommand},
                                              {"read-config", ReadConfigCommand},
                                              {"switch-protocol", SwitchProtocolCommand},
                                              {"enter-calibration", EnterCalibrationCommand},
                                              {"flash", FlashCommand},
                                              {"calibrate", CalibrateCommand},
                                              {"download-config", DownloadConfigCommand},
                                              {"user-download", UserDownloadCommand}};
    const QString name = args.takeFirst();
    const auto command = commands.find(name);
    if (command == commands.end()) {
        Err() << "kx7410-cli: unknown subcommand " << name << '\n' << kUsage;
        Err().flush();
        return kExitUsage;
    }
    // Without --data, the folders of the window: beside this program or, installed, the user's.
    StationFolders folders = dataDir.isEmpty()
                                 ? LocateStationFolders(programDir)
                                 : StationFoldersIn(QDir(dataDir).absolutePath(), programDir);
    if (dataDir.isEmpty()) {
        if (const QString error = PrepareStationFolders(folders); !error.isEmpty()) {
            Err() << "kx7410-cli: " << error << '\n';
            Err().flush();
            return kExitUsage;
        }
    }
    CliStation station(std::move(folders));
    int code = kExitOk;
    try {
        code = command->second(station, args);
    } catch (const UsageError& e) {
        Err() << "kx7410-cli " << name << ": " << e.text << '\n';
        code = kExitUsage;
    } catch (const CliFailure& e) {
        Err() << "kx7410-cli " << name << ": " << e.text << '\n';
        code = e.code;
    } catch (const ConversionError& e) {
        // A Config.ini key that cannot be used ([Database] naming no server, say).
        Err() << "kx7410-cli " << name << ": " << e.text() << '\n';
        code = kExitUsage;
    }
    Out().flush();
    Err().flush();
    return code;
}
