#include "device_commands.h"

#include "cli_args.h"
#include "cli_console.h"
#include "cli_link.h"

#include "calib/calibration.h"
#include "calib/calibration_backup.h"
#include "calib/configuration_blocks.h"
#include "calib/configuration_download.h"
#include "calib/switching.h"
#include "calib/user_frames.h"
#include "common/address_list.h"
#include "common/conversion.h"
#include "link/modbus.h"
#include "session/device_session.h"
#include "session/unit_identity.h"
#include "store/settings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QMap>
#include <QTextStream>
#include <cmath>
#include <functional>
#include <memory>

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
    // Ctrl-C stops the operation at its next transaction boundary, as a cancel in the window.
    InterruptNotifier interrupt([&session] { session.Cancel(); });
    bool ended = false;
    session.Submit(DeviceSession::State::Busy, operation, work, [&] {
        ended = true;
        QCoreApplication::quit();
    });
    if (!ended) QCoreApplication::exec();
    link.FlushTrace();
}

struct ModelAndScheme {
    ProductModel model;
    Scheme scheme;
};

// The model of --model with its scheme; throws naming what is missing.
ModelAndScheme FindModel(CliStation& station, const CliArgs& args) {
    if (!args.has("--model")) throw UsageError{QStringLiteral("--model is required")};
    const QString model = args.value("--model").trimmed();
    ProductDatabase& db = station.database();
    std::optional<ProductModel> found;
    std::optional<Scheme> scheme;
    if (!db.SelectModel(model, found) || !found)
        throw UsageError{QStringLiteral("--model: unknown model \"%1\"").arg(model)};
    if (!db.SelectSchemeOfModel(found->cpxh.trimmed(), scheme) || !scheme)
        throw CliFailure{kExitUsage, QStringLiteral("%1: no scheme %2 for model %3")
                                         .arg(db.filePath(), found->fs.trimmed(), model)};
    return {*found, *scheme};
}

// The scheme's protocol of a model (clears speak it).
int ProtocolOfModel(CliStation& station, const CliArgs& args) {
    return FindModel(station, args).scheme.txxy;
}

// Reopens the port in a frame format's settings, as the window does during a switch, and keeps
// them in Config.ini, so that the next command talks to the module as it now listens.
PortSwitch Reopener(CliStation& station, CliLink& link, LineChoice& line, bool& failed) {
    return [&station, &link, &line, &failed](int frameFormat) {
        const PortIndexes next =
            PortIndexesForFrameFormat(frameFormat, {line.BaudIndex, line.ParityIndex,
                                                    line.DataBitsIndex, line.StopBitsIndex});
        line.BaudIndex = next.baud;
        line.ParityIndex = next.parity;
        line.DataBitsIndex = next.dataBits;
        line.StopBitsIndex = next.stopBits;
        failed = !link.Reopen(line);
        try {
            const SavedSerialSettings saved = LoadSerialSettings(station.dataDir());
            SaveSerialSettings(station.dataDir(),
                               {saved.port, line.BaudIndex, line.ParityIndex, line.DataBitsIndex,
                                line.StopBitsIndex, saved.address});
        } catch (const ConversionError& e) {
            Err() << SettingsPath(station.dataDir()) << ": " << e.text() << '\n';
        }
        return !failed;
    };
}

// The outcome text of a switch on standard output; success when it is the one of success.
int TextOutcome(const QString& text, const QString& success) {
    Out() << text << '\n';
    return text == success ? kExitOk : kExitCommunication;
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
    const int protocol = ProtocolOfModel(station, args);
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

int ReadConfigCommand(CliStation& station, const QStringList& argv) {
    const CliArgs args(argv, {"--port", "--address"}, {"--trace", "--words"});
    if (args.has("--help")) {
        Out() << QStringLiteral(
            "usage: kx7410-cli read-config --port P [--address A] [--words] [--trace]\n"
            "读取配置 of the calibration page: the protocol word (11023), the user blocks (44 "
            "words\n"
            "from 260) and the calibration block (30 words from 11002). After the window's "
            "message\n"
            "one \"field=value\" a line, named as the page names them (a file download-config\n"
            "--fields takes as it stands); with --words one \"register=word\" a line instead.\n");
        return kExitOk;
    }
    if (!args.words().isEmpty())
        throw UsageError{QStringLiteral("unexpected argument %1").arg(args.words().first())};
    const LineChoice line = DeviceLine(station, args);
    CliLink link(args.has("--trace"));
    link.Open(line);
    std::vector<uint16_t> protocol, user, calibration;
    bool userRead = false, calibrationRead = false;
    RunJob(link, QStringLiteral("读取配置"), [&](JobContext& job) {
        Link& l = job.link();
        const uint8_t a = line.ModuleAddress;
        userRead =
            ReadAllWords(l, a, ReadKind::Calibration, kProtocolRegister, 1, protocol) &&
            ReadAllWords(l, a, ReadKind::Registers, kUserBlock1Register, kUserReadBackWords, user);
        calibrationRead =
            userRead && ReadAllWords(l, a, ReadKind::Calibration, kCalibrationBlockRegister,
                                     kCalibrationBlockWords, calibration);
    });
    Out() << (calibrationRead ? QStringLiteral("读配置数据成功！！")
                              : QStringLiteral("读配置数据失败！！"))
          << '\n';
    // What arrived is shown even when the rest failed, as the page shows it.
    RegisterWords words;
    if (userRead) {
        AddWords(words, kProtocolRegister, protocol);
        AddWords(words, kUserBlock1Register, user);
    }
    if (calibrationRead) AddWords(words, kCalibrationBlockRegister, calibration);
    if (args.has("--words")) {
        Out() << WordLines(QString(), words);
    } else {
        for (const DownloadField& field : ConfigurationFieldTable())
            if (const std::optional<QString> value = FieldValueText(field, words))
                Out() << field.name << '=' << *value << '\n';
    }
    return calibrationRead ? kExitOk : kExitCommunication;
}

int SwitchProtocolCommand(CliStation& station, const QStringList& argv) {
    const CliArgs args(argv, {"--port", "--address", "--model", "--frame-format"}, {"--trace"});
    if (args.has("--help")) {
        Out() << QStringLiteral(
            "usage: kx7410-cli switch-protocol --port P --model M [--address A]\n"
            "                                  [--frame-format 0|1|2|3] [--trace]\n"
            "配置通信协议 of the calibration page: the module gets the protocol of the model's\n"
            "scheme and the frame format (0 N,2S  1 O,1S  2 E,1S  3 N,1S; default the model's),\n"
            "this computer's port follows, and Config.ini keeps its new settings.\n");
        return kExitOk;
    }
    if (!args.words().isEmpty())
        throw UsageError{QStringLiteral("unexpected argument %1").arg(args.words().first())};
    const ModelAndScheme m = FindModel(station, args);
    const int format = args.number("--frame-format", m.model.btlgs, 0, 3);
    LineChoice line = DeviceLine(station, args);
    CliLink link(args.has("--trace"));
    link.Open(line);
    bool failed = false;
    QString outcome;
    RunJob(link, QStringLiteral("配置通信协议"), [&](JobContext& job) {
        outcome = ConfigureProtocol(job.link(), line.ModuleAddress, format, m.scheme.txxy,
                                    Reopener(station, link, line, failed), [] {});
    });
    return TextOutcome(outcome, ProtocolConfiguredText());
}

int EnterCalibrationCommand(CliStation& station, const QStringList& argv) {
    const CliArgs args(argv, {"--port", "--address"}, {"--trace", "--yes"});
    if (args.has("--help")) {
        Out() << QStringLiteral(
            "usage: kx7410-cli enter-calibration --port P [--address A] [--yes] [--trace]\n"
            "进入标定状态: switch the module off and on, then press Enter within 10 seconds "
            "(--yes\n"
            "goes on at once); the module, in its power-on window, is brought back to Modbus RTU\n"
            "with N,1S and this computer's port follows.\n");
        return kExitOk;
    }
    if (!args.words().isEmpty())
        throw UsageError{QStringLiteral("unexpected argument %1").arg(args.words().first())};
    LineChoice line = DeviceLine(station, args);
    CliLink link(args.has("--trace"));
    link.Open(line);
    if (!args.has("--yes")) {
        Err() << QStringLiteral("将产品复位(关闭产品工作电源,再打开),请在10秒钟内按回车键！")
              << '\n';
        Err().flush();
        QTextStream in(stdin);
        in.readLine();
    }
    bool failed = false;
    QString outcome;
    RunJob(link, QStringLiteral("进入标定状态"), [&](JobContext& job) {
        outcome = EnterCalibrationState(job.link(), line.ModuleAddress,
                                        Reopener(station, link, line, failed), [] {});
    });
    return TextOutcome(outcome, StateEntryDoneText());
}

namespace {

// The calibration steps of one invocation: their backup first, each step then recorded as the
// window records it ("step=<name>", the words the module acknowledged, more lines).
class CalibrationRun {
public:
    CalibrationRun(CliStation& station, const CliArgs& args, const ModelAndScheme& m,
                   const LineChoice& line)
        : station_(station), line_(line), link_(args.has("--trace")) {
        identity_ = StationRecordFor(station.dataDir(), line, m.model.cpxh.trimmed(),
                                     RecordKind::Calibration);
        identity_.serial = args.value("--serial").trimmed();
        if (args.has("--operator")) identity_.operatorName = args.value("--operator").trimmed();
        ranges_ = CalibrationAreaRanges(FlagValue(m.scheme.fdbdsn) != 0);
        station.results(); // a results file that cannot be opened stops before anything is sent
        link_.Open(line);
    }
    const UnitRecord& identity() const { return identity_; }

    // Reads and keeps the calibration area; false, with the window's text, when it could not.
    bool Backup() {
        std::optional<RegisterWords> area;
        UnitRecord backup = identity_;
        backup.started = QDateTime::currentDateTime();
        RunJob(link_, QStringLiteral("读标定数据"), [&](JobContext& job) {
            area = ReadCalibrationArea(job.link(), line_.ModuleAddress, ranges_);
        });
        if (!area) {
            Out() << BackupReadFailedText() << '\n';
            return false;
        }
        backup.ended = QDateTime::currentDateTime();
        backup.details = BackupDetails(*area);
        if (!station_.results().Add(backup)) {
            Err() << station_.results().lastError() << '\n';
            Out() << BackupStoreFailedText() << '\n';
            return false;
        }
        return true;
    }

    // Runs a writing step, printing its log; records it whatever its outcome.
    using Step = std::function<bool(Link&, const CalibrationLog&, RegisterWords*)>;
    bool Run(const QString& name, const Step& step, const std::function<QString()>& more = {}) {
        UnitRecord record = identity_;
        record.started = QDateTime::currentDateTime();
        RegisterWords written;
        bool ok = false;
        RunJob(link_, name, [&](JobContext& job) {
            ok = step(
                job.link(),
                [&job](const QString& text) {
                    job.Post([text] {
                        Out() << text << '\n';
                        Out().flush();
                    });
                },
                &written);
        });
        record.ended = QDateTime::currentDateTime();
        record.verdict = ok ? Verdict::Pass : Verdict::Fail;
        record.details = QStringLiteral("step=%1\n").arg(name) +
                         WordLines(QStringLiteral("written."), written) +
                         (more ? more() : QString());
        if (!station_.results().Add(record))
            throw CliFailure{kExitUsage, station_.results().lastError()};
        return ok;
    }

private:
    CliStation& station_;
    LineChoice line_;
    CliLink link_;
    UnitRecord identity_;
    std::vector<std::pair<uint16_t, uint16_t>> ranges_;
};

const QString kAveragePrefix = QStringLiteral("vip.average.");

// The VIP averages of the unit's last successful VIP step of segment (same model, port and
// address, and serial number when one is given), from its record.
std::optional<VipAverageSet> LastVipAverages(ResultsDatabase& results, const UnitRecord& unit,
                                             const QString& stepName) {
    RecordFilter filter;
    filter.kind = RecordKind::Calibration;
    filter.model = unit.model;
    filter.verdict = Verdict::Pass;
    QList<UnitRecord> list;
    if (!results.Select(filter, list)) throw CliFailure{kExitUsage, results.lastError()};
    for (const UnitRecord& r : list) {
        if (r.address != unit.address || r.port != unit.port) continue;
        if (!unit.serial.isEmpty() && r.serial != unit.serial) continue;
        const std::optional<UnitRecord> whole = results.Get(r.id);
        if (!whole || !whole->details.startsWith(QStringLiteral("step=%1\n").arg(stepName)))
            continue;
        VipAverageSet averages{};
        int found = 0;
        for (const QString& line : whole->details.split(QLatin1Char('\n'))) {
            if (!line.startsWith(kAveragePrefix)) continue;
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            bool okIndex = false, okValue = false;
            const int i =
                line.mid(kAveragePrefix.size(), eq - kAveragePrefix.size()).toInt(&okIndex);
            const double v = line.mid(eq + 1).toDouble(&okValue);
            if (okIndex && okValue && i >= 0 && i < int(averages.size())) {
                averages[std::size_t(i)] = v;
                ++found;
            }
        }
        if (found == int(averages.size())) return averages;
    }
    return std::nullopt;
}

double PositiveValue(const CliArgs& args, const QString& name, double fallback) {
    if (!args.has(name)) return fallback;
    bool ok = false;
    const double v = args.value(name).toDouble(&ok);
    if (!ok || !(v > 0) || !std::isfinite(v))
        throw UsageError{
            QStringLiteral("%1 \"%2\" is not a positive number").arg(name, args.value(name))};
    return v;
}

} // namespace

int CalibrateCommand(CliStation& station, const QStringList& argv) {
    const CliArgs args(argv,
                       {"--port", "--address", "--model", "--segment", "--frequency",
                        "--true-power", "--rated-voltage", "--rated-current", "--serial",
                        "--operator"},
                       {"--trace"});
    if (args.has("--help")) {
        Out() << QStringLiteral(
            "usage: kx7410-cli calibrate vip|phase|reset|power --port P --model M --segment N\n"
            "        [--frequency 50|60] [--true-power W] [--rated-voltage V] [--rated-current A]\n"
            "        [--address A] [--serial S] [--operator O] [--trace]\n"
            "The steps of a segment of the calibration page: VIP标定, 电压相位补偿, 补偿系数复位 "
            "and\n"
            "60度功率补偿 (which needs the source's true active power in W and takes the averages "
            "of\n"
            "the unit's last VIP step from its record). The calibration area is read and kept\n"
            "before the step writes; the step's log goes to standard output and its words to a\n"
            "record. Rated values default to 220 V and 5 A.\n");
        return kExitOk;
    }
    static const QStringList steps{"vip", "phase", "reset", "power"};
    const QString what = args.words().value(0);
    if (args.words().size() != 1 || !steps.contains(what))
        throw UsageError{what.isEmpty()
                             ? QStringLiteral("calibrate needs vip, phase, reset or power")
                             : QStringLiteral("unknown calibration step %1").arg(what)};
    const ModelAndScheme m = FindModel(station, args);
    if (!args.has("--segment")) throw UsageError{QStringLiteral("--segment is required")};
    const bool segmented = FlagValue(m.scheme.fdbdsn) != 0;
    const int segment = args.number("--segment", 1, 1, 3);
    if (segment > 1 && !segmented)
        throw UsageError{QStringLiteral("--segment %1: the scheme of %2 calibrates one segment")
                             .arg(segment)
                             .arg(m.model.cpxh.trimmed())};
    const int frequency = args.number("--frequency", 50, 50, 60);
    if (frequency != 50 && frequency != 60)
        throw UsageError{QStringLiteral("--frequency %1 is not 50 or 60").arg(frequency)};
    const bool hz60 = frequency == 60;
    if (what == "power" && !args.has("--true-power"))
        throw UsageError{QStringLiteral("--true-power is required for the power compensation")};
    if (what != "power" && args.has("--true-power"))
        throw UsageError{QStringLiteral("--true-power belongs to calibrate power")};
    const double truePower = PositiveValue(args, "--true-power", 0);
    const double ratedVoltage = PositiveValue(args, "--rated-voltage", RatedValues{}.RatedVoltage);
    const double ratedCurrent = PositiveValue(args, "--rated-current", RatedValues{}.RatedCurrent);
    const LineChoice line = DeviceLine(station, args);

    static const QMap<QString, QString> captions{{"vip", QStringLiteral("VIP标定")},
                                                 {"phase", QStringLiteral("电压相位补偿")},
                                                 {"reset", QStringLiteral("补偿系数复位")},
                                                 {"power", QStringLiteral("60度功率补偿")}};
    const auto stepName = [&](const QString& step) {
        return QStringLiteral("%1段标定 %2").arg(segment).arg(captions.value(step));
    };
    CalibrationState state;
    std::optional<VipAverageSet> averages;
    if (what == "power") {
        UnitRecord unit = StationRecordFor(station.dataDir(), line, m.model.cpxh.trimmed(),
                                           RecordKind::Calibration);
        unit.serial = args.value("--serial").trimmed();
        averages = LastVipAverages(station.results(), unit, stepName("vip"));
        // Refused before anything is sent, as the window refuses it before its first reading.
        const QString refused =
            PowerCompensationPrecondition(averages.value_or(VipAverageSet{}), truePower);
        if (!refused.isEmpty()) {
            Out() << refused << '\n';
            return kExitUsage;
        }
        state.VipAverages = *averages;
        state.SourceActivePower = truePower;
    }
    CalibrationRun run(station, args, m, line);
    if (!run.Backup()) return kExitCommunication;
    const uint8_t address = line.ModuleAddress;
    bool ok = false;
    if (what == "vip") {
        ok = run.Run(
            stepName(what),
            [&](Link& l, const CalibrationLog& log, RegisterWords* written) {
                return RunVipCalibration(l, address, segment, state, log, written);
            },
            // Kept for the power compensation of a later invocation.
            [&] {
                QString lines;
                for (std::size_t i = 0; i < state.VipAverages.size(); ++i)
                    lines += kAveragePrefix + QStringLiteral("%1=%2\n").arg(i).arg(
                                                  QString::number(state.VipAverages[i], 'g', 17));
                return lines;
            });
    } else if (what == "phase") {
        ok = run.Run(stepName(what), [&](Link& l, const CalibrationLog& log, RegisterWords* w) {
            return RunAnglePhaseCompensation(l, address, segment, hz60, state, log, w);
        });
    } else if (what == "reset") {
        ok = run.Run(stepName(what), [&](Link& l, const CalibrationLog& log, RegisterWords* w) {
            return ResetPowerCompensation(l, address, segment, hz60, log, w);
        });
    } else {
        ok = run.Run(stepName(what), [&](Link& l, const CalibrationLog& log, RegisterWords* w) {
            return RunPowerCompensation(l, address, segment, hz60, ratedVoltage, ratedCurrent,
                                        state, log, w);
        });
    }
    return ok ? kExitOk : kExitCommunication;
}

int FlashCommand(CliStation& station, const QStringList& argv) {
    const CliArgs args(argv, {"--port", "--address", "--model", "--serial", "--operator"},
                       {"--trace"});
    if (args.has("--help")) {
        Out() << QStringLiteral(
            "usage: kx7410-cli flash --port P --model M [--address A] [--serial S]\n"
            "                        [--operator O] [--trace]\n"
            "标定完成: clears the calibration state flag and has the module write its calibration\n"
            "to flash. The calibration area is read first and kept in a record (its backup), and\n"
            "the words written are recorded, as the window records them.\n");
        return kExitOk;
    }
    if (!args.words().isEmpty())
        throw UsageError{QStringLiteral("unexpected argument %1").arg(args.words().first())};
    const ModelAndScheme m = FindModel(station, args);
    const LineChoice line = DeviceLine(station, args);
    CalibrationRun run(station, args, m, line);
    if (!run.Backup()) return kExitCommunication;
    const bool ok = run.Run(QStringLiteral("标定完成(清除标定状态标志)"),
                            [&](Link& l, const CalibrationLog& log, RegisterWords* written) {
                                return WriteCalibrationFlash(l, line.ModuleAddress, log, written);
                            });
    return ok ? kExitOk : kExitCommunication;
}

namespace {

// A download's steps on standard error, in percent of the window's bar (steps of 10 up to
// maximum).
class ConsoleProgress : public DownloadProgress {
public:
    ConsoleProgress(JobContext& job, int maximum) : job_(job), maximum_(maximum) {}
    ~ConsoleProgress() override {
        job_.Post([bar = bar_] { bar->Done(); });
    }
    void Step() override {
        value_ = std::min(value_ + 10, maximum_);
        job_.Post([bar = bar_, percent = value_ * 100 / maximum_] {
            bar->Percent(percent, QStringLiteral("下载配置"));
        });
    }
    void Wait(int ms) override { job_.Wait(ms); }

private:
    JobContext& job_;
    const int maximum_;
    int value_ = 0;
    // Drawn on the session's thread, where the posts run; shared, as the last may run after.
    std::shared_ptr<Progress> bar_ = std::make_shared<Progress>();
};

// "field=value" lines, each given to set; blank lines and lines from # are skipped.
void ReadFieldsFile(const QString& path,
                    const std::function<bool(const QString&, const QString&, QString&)>& set) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw CliFailure{kExitUsage,
                         QStringLiteral("--fields: %1: %2").arg(path, file.errorString())};
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        QString why = QStringLiteral("not field=value");
        if (eq > 0 && set(line.left(eq).trimmed(), line.mid(eq + 1).trimmed(), why)) continue;
        throw CliFailure{kExitUsage, QStringLiteral("%1:%2: %3").arg(path).arg(number).arg(why)};
    }
}

} // namespace

int DownloadConfigCommand(CliStation& station, const QStringList& argv) {
    const CliArgs args(argv,
                       {"--port", "--address", "--model", "--fields", "--serial", "--operator"},
                       {"--trace"});
    if (args.has("--help")) {
        Out() << QStringLiteral(
            "usage: kx7410-cli download-config --port P --model M [--fields FILE] [--address A]\n"
            "                                  [--serial S] [--operator O] [--trace]\n"
            "下载配置 of the calibration page: the page's defaults (默认值) with the model's "
            "ratios,\n"
            "changed by the \"field=value\" lines of FILE (as read-config prints them), the\n"
            "product's scales and enables and the scheme's output-parameter list; then the module\n"
            "is read back and compared field by field. The download is recorded.\n");
        return kExitOk;
    }
    if (!args.words().isEmpty())
        throw UsageError{QStringLiteral("unexpected argument %1").arg(args.words().first())};
    const ModelAndScheme m = FindModel(station, args);
    ProductSelection product;
    ApplyModel(product, m.model);
    ApplyScheme(product, m.scheme);

    ConfigurationFields fields = DefaultConfigurationFields();
    CalibrationFields calibration;
    SetDefaultIdentity(calibration, QDateTime::currentDateTime());
    // The product selection puts the model's ratios in the fields.
    fields.pt = product.UPT;
    fields.ct = product.ICT;
    fields.ctCount = product.CTNUM;
    if (args.has("--fields"))
        ReadFieldsFile(args.value("--fields"),
                       [&](const QString& name, const QString& value, QString& why) {
                           return SetConfigurationField(fields, calibration, name, value, why);
                       });
    if (!product.UserParamsEditable) {
        // A series whose ratios are fixed sends the product's values, whatever the file says.
        fields.pt = product.UPT;
        fields.ct = product.ICT;
        fields.ctCount = product.CTNUM;
        fields.demandMethod = product.XLJSFS;
    }
    calibration.modelName = product.ModelName;
    calibration.scales = {product.UBLFX, product.UBL, product.IBLFX, product.IBL,
                          product.PBLFX, product.PBL, product.EBLFX, product.EBL};
    calibration.enables = {product.SDBJXS, product.CSLXSN, product.FDBDSN, product.CSFHSN,
                           product.GLYSFXSN};
    ConfigurationBlocks blocks;
    try {
        blocks = BuildConfigurationBlocks(fields, calibration);
    } catch (const ConversionError& e) {
        throw CliFailure{kExitUsage, e.text()};
    }
    const OutputList list = GatherOutputList(station.database(), product.SchemeName);
    const LineChoice line = DeviceLine(station, args);
    ResultsDatabase& results = station.results();
    UnitRecord record =
        StationRecordFor(station.dataDir(), line, product.ModelName, RecordKind::Download);
    record.serial = args.value("--serial").trimmed();
    if (args.has("--operator")) record.operatorName = args.value("--operator").trimmed();
    CliLink link(args.has("--trace"));
    link.Open(line);
    record.started = QDateTime::currentDateTime();
    DownloadOutcome o;
    const std::vector<DownloadField> names = ConfigurationFieldTable();
    RunJob(link, QStringLiteral("下载配置"), [&](JobContext& job) {
        ConsoleProgress progress(job, 90);
        o.result = WriteDownload(job.link(), line.ModuleAddress, blocks, list, progress, o);
        const std::vector<uint16_t> listWritten =
            o.listWritten ? list.block : std::vector<uint16_t>{};
        o.written = DownloadedWords(blocks, o.blocksWritten, listWritten);
        if (o.result == DownloadResult::Done)
            VerifyDownload(job.link(), line.ModuleAddress, listWritten.size(), names, o,
                           [](const QString&) {});
    });
    // The download's own outcome first: a record that cannot be stored does not hide it.
    Out() << DownloadMessage(o) << '\n';
    record.ended = QDateTime::currentDateTime();
    record.verdict = o.verified() ? Verdict::Pass : Verdict::Fail;
    record.failures = int(o.differences.size());
    record.details = DownloadDetails(o);
    if (!results.Add(record)) throw CliFailure{kExitUsage, results.lastError()};
    if (o.verified()) return kExitOk;
    // A module that answered but did not keep a value is a failed verdict, not a silent line.
    return o.result == DownloadResult::Done && o.readBack ? kExitVerdictFailed : kExitCommunication;
}

int UserDownloadCommand(CliStation& station, const QStringList& argv) {
    const CliArgs args(argv, {"--port", "--address", "--form", "--fields"}, {"--trace"});
    if (args.has("--help")) {
        Out() << QStringLiteral(
            "usage: kx7410-cli user-download --port P --form modbus|1997|2007 [--fields FILE]\n"
            "                                [--address A] [--trace]\n"
            "下载配置 of the user page in the form of the module's protocol: the page's defaults,\n"
            "changed by the \"field=value\" lines of FILE named as the page names its fields\n"
            "(\"接线模式=1\", \"低通讯波特率使能=1\", a list by its index), and this computer's "
            "time.\n");
        return kExitOk;
    }
    if (!args.words().isEmpty())
        throw UsageError{QStringLiteral("unexpected argument %1").arg(args.words().first())};
    static const QMap<QString, int> forms{{"modbus", 0}, {"1997", 1}, {"2007", 2}};
    if (!args.has("--form")) throw UsageError{QStringLiteral("--form is required")};
    if (!forms.contains(args.value("--form")))
        throw UsageError{
            QStringLiteral("--form \"%1\" is not modbus, 1997 or 2007").arg(args.value("--form"))};
    const int protocol = forms.value(args.value("--form"));
    UserParameters p = DefaultUserParameters();
    if (args.has("--fields"))
        ReadFieldsFile(args.value("--fields"),
                       [&](const QString& name, const QString& value, QString& why) {
                           return SetUserField(p, protocol, name, value, why);
                       });
    const LineChoice line = DeviceLine(station, args);
    CliLink link(args.has("--trace"));
    link.Open(line);
    const QDateTime now = QDateTime::currentDateTime();
    bool ok = false;
    static const int maxima[] = {70, 300, 180};
    RunJob(link, QStringLiteral("下载配置"), [&](JobContext& job) {
        ConsoleProgress progress(job, maxima[protocol]);
        if (protocol == 0)
            ok = UserDownloadModbus(job.link(), line.ModuleAddress, p, now, progress);
        else if (protocol == 1)
            ok = UserDownload1997(job.link(), line.ModuleAddress, p, now, progress);
        else
            ok = UserDownload2007(job.link(), line.ModuleAddress, p, now, progress);
    });
    return Outcome(ok, QStringLiteral("下载配置数据成功！"),
                   QStringLiteral("下载配置数据失败！！"));
}
