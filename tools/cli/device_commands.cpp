#include "device_commands.h"

#include "cli_args.h"
#include "cli_link.h"

#include "calib/configuration_blocks.h"
#include "calib/user_frames.h"
#include "common/address_list.h"
#include "link/modbus.h"
#include "session/device_session.h"

#include <QCoreApplication>
#include <QDateTime>
#include <functional>

namespace {

// The one module a device subcommand talks to: --address, else the address of Config.ini.
LineChoice DeviceLine(CliStation& station, const CliArgs& args) {
    if (!args.has("--port")) throw UsageError{QStringLiteral("--port is required")};
    LineChoice line = LoadLine(station.dataDir(), args.value("--port"));
    if (args.has("--address")) {
        QList<int> addresses;
        QString why;
        if (!ParseAddressList(args.value("--address"), addresses, why))
            throw UsageError{QStringLiteral("--address: %1").arg(why)};
        if (addresses.size() != 1)
            throw UsageError{QStringLiteral("--address: this subcommand talks to one module")};
        line.ModuleAddress = quint8(addresses.first());
    }
    return line;
}

// Runs work as the one job of a session on the opened port and waits for its end.
void RunJob(CliLink& link, const QString& operation, const std::function<void(JobContext&)>& work) {
    DeviceSession session(link.link());
    bool ended = false;
    session.Submit(DeviceSession::State::Busy, operation, work, [&] {
        ended = true;
        QCoreApplication::quit();
    });
    if (!ended) QCoreApplication::exec();
    link.FlushTrace();
}

// The scheme's protocol of a model (clears speak it).
int ProtocolOfModel(CliStation& station, const QString& model) {
    ProductDatabase& db = station.database();
    std::optional<ProductModel> found;
    std::optional<Scheme> scheme;
    if (!db.SelectModel(model, found) || !found)
        throw UsageError{QStringLiteral("--model: unknown model \"%1\"").arg(model)};
    if (!db.SelectSchemeOfModel(found->cpxh.trimmed(), scheme) || !scheme)
        throw CliFailure{kExitUsage, QStringLiteral("%1: no scheme %2 for model %3")
                                         .arg(db.filePath(), found->fs.trimmed(), model)};
    return scheme->txxy;
}

// The window's message on standard output; success or a communication failure.
int Outcome(bool ok, const QString& done, const QString& failed) {
    Out() << (ok ? done : failed) << '\n';
    return ok ? kExitOk : kExitCommunication;
}

} // namespace

int ClockCommand(CliStation& station, const QStringList& argv) {
    const CliArgs args(argv, {"--port", "--address", "--time"}, {"--trace"});
    const QString usage = QStringLiteral(
        "usage: kx7410-cli clock read --port P [--address A] [--trace]\n"
        "       kx7410-cli clock set --port P [--address A] [--time \"yyyy-MM-dd hh:mm:ss\"] "
        "[--trace]\n"
        "读时间 and 校时 of the configuration page: the module's clock (registers 257-259) read\n"
        "and printed, or set to this computer's time (or the one given).\n");
    if (args.has("--help")) {
        Out() << usage;
        return kExitOk;
    }
    const QString action = args.words().value(0);
    if (args.words().size() != 1 || (action != "read" && action != "set"))
        throw UsageError{action.isEmpty() ? QStringLiteral("clock needs read or set")
                                          : QStringLiteral("unknown clock action %1").arg(action)};
    QDateTime time = QDateTime::currentDateTime();
    if (args.has("--time")) {
        if (action != "set") throw UsageError{QStringLiteral("--time belongs to clock set")};
        time = QDateTime::fromString(args.value("--time"), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        if (!time.isValid() || time.date().year() < 2000 || time.date().year() > 2099)
            throw UsageError{
                QStringLiteral("--time \"%1\" is not yyyy-MM-dd hh:mm:ss of 2000..2099")
                    .arg(args.value("--time"))};
    }
    const LineChoice line = DeviceLine(station, args);
    CliLink link(args.has("--trace"));
    link.Open(line);
    const uint8_t address = line.ModuleAddress;
    bool ok = false;
    if (action == "set") {
        const std::vector<uint16_t> words = ClockWords(time);
        RunJob(link, QStringLiteral("校时"), [&](JobContext& job) {
            ok = WriteRegisters(job.link(), address, kClockRegister, uint16_t(words.size()), words);
        });
        return Outcome(ok, QStringLiteral("校时成功!!"), QStringLiteral("校时失败!!"));
    }
    std::vector<uint16_t> t;
    RunJob(link, QStringLiteral("读时间"), [&](JobContext& job) {
        ok = ReadAllWords(job.link(), address, ReadKind::Registers, kClockRegister, 3, t);
    });
    if (!ok) return Outcome(false, {}, QStringLiteral("读时间失败！！"));
    // Two-digit year, month, day, hour, minute, second, a byte each, as the page shows them.
    Out() << QStringLiteral("20%1-%2-%3 %4:%5:%6\n")
                 .arg(t[0] >> 8, 2, 10, QLatin1Char('0'))
                 .arg(t[0] & 0xFF, 2, 10, QLatin1Char('0'))
                 .arg(t[1] >> 8, 2, 10, QLatin1Char('0'))
                 .arg(t[1] & 0xFF, 2, 10, QLatin1Char('0'))
                 .arg(t[2] >> 8, 2, 10, QLatin1Char('0'))
                 .arg(t[2] & 0xFF, 2, 10, QLatin1Char('0'));
    return kExitOk;
}

int ClearCommand(CliStation& station, const QStringList& argv) {
    const CliArgs args(argv, {"--port", "--address", "--model"}, {"--trace"});
    const QString usage = QStringLiteral(
        "usage: kx7410-cli clear energy|demand --port P --model M [--address A] [--trace]\n"
        "清除电能数据 and 清除需量数据 of the user page, in the protocol of the model's scheme.\n");
    if (args.has("--help")) {
        Out() << usage;
        return kExitOk;
    }
    const QString what = args.words().value(0);
    if (args.words().size() != 1 || (what != "energy" && what != "demand"))
        throw UsageError{what.isEmpty() ? QStringLiteral("clear needs energy or demand")
                                        : QStringLiteral("unknown clear action %1").arg(what)};
    if (!args.has("--model")) throw UsageError{QStringLiteral("--model is required")};
    const int protocol = ProtocolOfModel(station, args.value("--model").trimmed());
    const LineChoice line = DeviceLine(station, args);
    CliLink link(args.has("--trace"));
    link.Open(line);
    const bool energy = what == "energy";
    ClearResult result = ClearResult::NotSent;
    RunJob(link, energy ? QStringLiteral("清除电能数据") : QStringLiteral("清除需量数据"),
           [&](JobContext& job) {
               result = energy ? ClearEnergy(job.link(), protocol, line.ModuleAddress)
                               : ClearDemand(job.link(), protocol, line.ModuleAddress);
           });
    if (result == ClearResult::NotSent)
        throw CliFailure{
            kExitUsage,
            QStringLiteral("the protocol of %1 has no clear").arg(args.value("--model"))};
    const bool done = result == ClearResult::Done;
    return energy ? Outcome(done, QStringLiteral("清电能数据成功！"),
                            QStringLiteral("清电能数据失败！！"))
                  : Outcome(done, QStringLiteral("清需量数据成功！"),
                            QStringLiteral("清需量数据失败！！"));
}
