#include "check_command.h"

#include "cli_args.h"
#include "cli_console.h"
#include "cli_json.h"
#include "cli_link.h"

#include "acquire/unit_check.h"
#include "common/address_list.h"
#include "common/conversion.h"
#include "report/record_report.h"
#include "session/device_session.h"
#include "session/unit_identity.h"
#include "store/settings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonObject>
#include <algorithm>
#include <cmath>

namespace {

// "100,100,0,50": voltage %, current %, angle, frequency, a point the window can select.
TestPoint ParsePoint(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    const UsageError bad{QStringLiteral("--point \"%1\" is not U%,I%,ANGLE,FREQ of the selectable "
                                        "points (U 0,10,50,100,120; I 0,1,50,100,120; angle "
                                        "0,30,60,90,300,330; 45,50,55,60,65 Hz)")
                             .arg(text)};
    if (parts.size() != 4) throw bad;
    double v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts[i].trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(v[i])) throw bad;
    }
    const TestPlanPoint point{v[0], v[1], v[2], v[3]};
    if (!IsSelectableTestPoint(point)) throw bad;
    return TestPoint{v[0] / 100, v[1] / 100, v[2], v[3]};
}

QString Figure(double v, int decimals) {
    return std::isfinite(v) ? QString::number(v, 'f', decimals) : QStringLiteral("-");
}

void PrintUnit(const UnitCheckResult& r) {
    const UnitRecord& record = r.record;
    Out() << QStringLiteral("unit %1").arg(r.address);
    if (!record.serial.isEmpty()) Out() << QStringLiteral("  serial %1").arg(record.serial);
    Out() << QStringLiteral("  %1").arg(VerdictText(record.verdict));
    if (record.verdict == Verdict::Fail) Out() << QStringLiteral(" (%1)").arg(record.failures);
    Out() << '\n';
    for (const RecordQuantity& q : record.quantities) {
        const QString errorUnit = q.unit == QLatin1String("Hz") ? QStringLiteral("Hz") : "%";
        Out() << QStringLiteral("  %1\t%2\texpected %3 %4\tmeasured %5 %4\terror %6 %7\tlimit %8 "
                                "%7\t%9\tshown %10\n")
                     .arg(q.name, q.quantity, Figure(q.expected, 3), q.unit, Figure(q.measured, 3),
                          Figure(q.error, 3), errorUnit, Figure(q.limit, 3),
                          q.passed ? QStringLiteral("合格") : QStringLiteral("不合格"))
                     .arg(q.text);
    }
    Out().flush();
}

// FILE, or FILE with "-<address>" before its suffix when several units are checked.
QString WorkbookFor(const QString& file, int address, bool several) {
    if (!several) return file;
    const QFileInfo info(file);
    const QString suffix = info.suffix().isEmpty() ? QStringLiteral("xlsx") : info.suffix();
    return info.path() + QLatin1Char('/') + info.completeBaseName() +
           QStringLiteral("-%1.").arg(address) + suffix;
}

} // namespace

QString CheckUsage() {
    return QStringLiteral(
        "usage: kx7410-cli check --port P --model M (--point U,I,ANGLE,F | --plan NAME) [options]\n"
        "Checks the unit at each address in turn against the reference source's test point\n"
        "(voltage and current in % of rated, angle in degrees, frequency in Hz), prints one line\n"
        "per quantity and the unit's verdict, stores each unit's record in Results.db, and ends\n"
        "with a summary.\n"
        "  --port P           serial port (device path or simulator link)\n"
        "  --address LIST     5, 1-8 or 1,3,5 (default: the address in Config.ini)\n"
        "  --model M          product model of the database\n"
        "  --point U,I,A,F    e.g. 100,100,0,50\n"
        "  --plan NAME        the model's test plan instead of --point: before each point the\n"
        "                     run asks (on standard error) for the source to be set and waits\n"
        "                     for Enter; each unit's record holds every point\n"
        "  --settle N         consecutive answered cycles before the verdict (default\n"
        "                     SetCheck/SettleCycles, 3)\n"
        "  --cycles N         the most cycles a unit gets to settle in (default settle + 2)\n"
        "  --serial S         the unit's serial number; for several units a comma list, one\n"
        "                     for each address\n"
        "  --operator O       who checks (default SysInfo/Operator)\n"
        "  --codes            read relative codes instead of the configured values\n"
        "  --xlsx FILE        the report of each unit (FILE-<address>.xlsx for several)\n"
        "  --json             one JSON object per unit and one for the summary, a line each\n"
        "  --trace            the traffic of the line, decoded, on standard error\n"
        "Exit: 0 every unit passed, 1 a verdict failed (or did not settle), 2 no unit failed\n"
        "but one did not answer or the port failed, 3 bad usage or data.\n");
}

int CheckCommand(CliStation& station, const QStringList& argv) {
    const CliArgs args(argv,
                       {"--port", "--address", "--model", "--point", "--settle", "--cycles",
                        "--serial", "--operator", "--xlsx", "--plan"},
                       {"--json", "--trace", "--codes"});
    if (args.has("--help")) {
        Out() << CheckUsage();
        return kExitOk;
    }
    if (!args.words().isEmpty())
        throw UsageError{QStringLiteral("unexpected argument %1").arg(args.words().first())};
    for (const char* required : {"--port", "--model"})
        if (!args.has(required)) throw UsageError{QStringLiteral("%1 is required").arg(required)};
    if (args.has("--point") == args.has("--plan"))
        throw UsageError{QStringLiteral("--point or --plan is required, not both")};

    const TestPoint point = args.has("--point") ? ParsePoint(args.value("--point")) : TestPoint{};
    ProductDatabase& database = station.database();
    const QString model = args.value("--model").trimmed();
    std::optional<ProductModel> found;
    if (!database.SelectModel(model, found))
        throw CliFailure{kExitUsage,
                         QStringLiteral("%1: 操作数据库失败！").arg(database.filePath())};
    if (!found) throw UsageError{QStringLiteral("--model: unknown model \"%1\"").arg(model)};

    QList<TestPoint> points;
    QString planName;
    if (args.has("--plan")) {
        QList<TestPlan> plans;
        if (!database.SelectPlans(found->cpxh.trimmed(), plans))
            throw CliFailure{kExitUsage,
                             QStringLiteral("%1: 操作数据库失败！").arg(database.filePath())};
        const auto plan = std::find_if(plans.begin(), plans.end(), [&](const TestPlan& p) {
            return p.name == args.value("--plan").trimmed();
        });
        if (plan == plans.end())
            throw UsageError{QStringLiteral("--plan: model %1 has no plan \"%2\"")
                                 .arg(found->cpxh.trimmed(), args.value("--plan"))};
        planName = plan->name;
        for (const TestPlanPoint& p : plan->points)
            points << TestPoint{p.voltagePercent / 100, p.currentPercent / 100, p.angle,
                                p.frequency};
    }
    LineChoice line = LoadLine(station.dataDir(), args.value("--port"));
    QList<int> addresses{line.ModuleAddress};
    if (args.has("--address")) {
        QString why;
        if (!ParseAddressList(args.value("--address"), addresses, why))
            throw UsageError{QStringLiteral("--address: %1").arg(why)};
    }
    QStringList serials;
    if (args.has("--serial")) {
        serials = addresses.size() > 1 ? args.value("--serial").split(QLatin1Char(','))
                                       : QStringList{args.value("--serial")};
        if (serials.size() != addresses.size())
            throw UsageError{QStringLiteral("--serial: %1 serial numbers for %2 addresses")
                                 .arg(serials.size())
                                 .arg(addresses.size())};
    }
    int settle = kDefaultSettleCycles;
    try {
        settle = LoadSettleCycles(station.dataDir());
        LoadCheckSettings(station.dataDir()); // a check cannot start without them
    } catch (const ConversionError& e) {
        throw CliFailure{kExitUsage, e.text()};
    }
    settle = args.number("--settle", settle, 1, 1000);
    const int cycles = args.number("--cycles", 0, 1, 100000);
    if (cycles > 0 && cycles < settle)
        throw UsageError{
            QStringLiteral("--cycles %1 is fewer than --settle %2").arg(cycles).arg(settle)};
    ResultsDatabase& results = station.results();

    CliLink link(args.has("--trace"));
    link.Open(line); // throws: exit 2 naming the port and the reason

    UnitCheckOptions options;
    options.dataFolder = station.dataDir();
    options.model = found->cpxh.trimmed();
    options.addresses = addresses;
    options.point = points.isEmpty() ? point : points.first();
    options.points = points;
    options.settleCycles = settle;
    options.maxCycles = cycles;
    options.configDataMode = !args.has("--codes");
    options.identity = StationRecordFor(station.dataDir(), line, options.model, RecordKind::Check);
    if (args.has("--operator")) options.identity.operatorName = args.value("--operator").trimmed();
    options.serials = serials;
    options.identity.plan = planName;

    DeviceSession session(link.link());
    UnitCheck check(session, database, &results, options);
    const bool json = args.has("--json");
    const bool several = addresses.size() > 1;
    Progress progress;
    int passed = 0, failed = 0, silent = 0, unsettled = 0;
    bool storeFailed = false;
    QObject::connect(&check, &UnitCheck::unitStarted, [&](int address) {
        progress.Unit(int(addresses.indexOf(address)) + 1, int(addresses.size()), address);
    });
    QObject::connect(&check, &UnitCheck::cycleEnded, [&](int, int good, int needed) {
        link.FlushTrace();
        progress.Cycle(good, needed);
    });
    QObject::connect(&check, &UnitCheck::unitEnded, [&](const UnitCheckResult& r) {
        link.FlushTrace();
        progress.Done();
        switch (r.record.verdict) {
        case Verdict::Pass:
            ++passed;
            break;
        case Verdict::Fail:
            ++failed;
            break;
        case Verdict::NotAnswering:
            ++silent;
            break;
        case Verdict::None:
            ++unsettled;
            break;
        }
        if (!r.stored) {
            storeFailed = true;
            Err() << r.storeError << '\n';
        }
        if (json)
            Out() << JsonLine(RecordJson(r.record)) << '\n';
        else
            PrintUnit(r);
        Out().flush();
        if (args.has("--xlsx")) {
            const QString path = WorkbookFor(args.value("--xlsx"), r.address, several);
            const ExportResult written = WriteRecordWorkbook(path, r.record);
            Err() << (written.ok ? path : path + QStringLiteral(": ") + written.detail) << '\n';
            if (!written.ok) storeFailed = true;
        }
    });
    QObject::connect(&check, &UnitCheck::finished, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    // Between the points of a plan the operator sets the reference source and presses Enter.
    LineWaiter waiter;
    QObject::connect(&check, &UnitCheck::pointNeeded, [&](int index, const TestPoint& p) {
        progress.Done();
        Err() << QStringLiteral("测试点 %1/%2：请将标准源设为 U %3% I %4% %5° %6Hz，然后按回车键")
                     .arg(index + 1)
                     .arg(points.size())
                     .arg(p.ku * 100)
                     .arg(p.ki * 100)
                     .arg(p.angle)
                     .arg(p.frequency)
              << '\n';
        Err().flush();
        waiter.Wait([&] { check.Continue(); });
    });
    InterruptNotifier interrupt([&] { check.Stop(); });

    if (!check.Start()) throw CliFailure{kExitCommunication, DeviceSession::BusyText()};
    QCoreApplication::exec();
    link.FlushTrace();

    const int units = int(check.results().size());
    if (json) {
        Out() << JsonLine(QJsonObject{{"summary", QJsonObject{{"units", units},
                                                              {"passed", passed},
                                                              {"failed", failed},
                                                              {"not_answering", silent},
                                                              {"not_settled", unsettled},
                                                              {"stopped", check.wasStopped()}}}})
              << '\n';
    } else {
        Out() << QStringLiteral("units %1, passed %2, failed %3, not answering %4")
                     .arg(units)
                     .arg(passed)
                     .arg(failed)
                     .arg(silent);
        if (unsettled > 0) Out() << QStringLiteral(", not settled %1").arg(unsettled);
        if (check.wasStopped()) Out() << QStringLiteral(", stopped");
        Out() << '\n';
    }
    Out().flush();
    if (const int waiting = results.queued(); waiting > 0)
        Err() << QStringLiteral("%1 record(s) wait in %2 for the database server %3\n")
                     .arg(waiting)
                     .arg(QLatin1String(kRecordQueueFile), station.databaseLocation().Server());
    if (failed > 0 || unsettled > 0) return kExitVerdictFailed;
    if (silent > 0) return kExitCommunication;
    return storeFailed ? kExitUsage : kExitOk;
}
