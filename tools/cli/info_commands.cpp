#include "info_commands.h"

#include "cli_args.h"
#include "cli_json.h"

#include "acquire/read_thread.h"
#include "link/ports.h"
#include "report/record_report.h"
#include "report/records_csv.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

// A subcommand that takes no words and --json at most; true when --help was asked for.
bool HelpAsked(const CliArgs& args, const QString& usage) {
    if (args.has("--help")) {
        Out() << usage;
        return true;
    }
    if (!args.words().isEmpty())
        throw UsageError{QStringLiteral("unexpected argument %1").arg(args.words().first())};
    return false;
}

QString Figure(double v) {
    return QString::number(v, 'g', 10);
}

QString PointText(const TestPlanPoint& p) {
    return QStringLiteral("%1,%2,%3,%4")
        .arg(Figure(p.voltagePercent), Figure(p.currentPercent), Figure(p.angle),
             Figure(p.frequency));
}

std::optional<Verdict> ParseVerdict(const QString& text) {
    static const QMap<QString, Verdict> verdicts{{"pass", Verdict::Pass},
                                                 {"fail", Verdict::Fail},
                                                 {"not-answering", Verdict::NotAnswering},
                                                 {"not-settled", Verdict::None}};
    if (!verdicts.contains(text))
        throw UsageError{QStringLiteral("--verdict \"%1\" is not pass, fail, not-answering or "
                                        "not-settled")
                             .arg(text)};
    return verdicts.value(text);
}

std::optional<RecordKind> ParseKind(const QString& text) {
    static const QMap<QString, RecordKind> kinds{{"check", RecordKind::Check},
                                                 {"calibration", RecordKind::Calibration},
                                                 {"download", RecordKind::Download}};
    if (!kinds.contains(text))
        throw UsageError{
            QStringLiteral("--kind \"%1\" is not check, calibration or download").arg(text)};
    return kinds.value(text);
}

QDate ParseDate(const CliArgs& args, const QString& name) {
    if (!args.has(name)) return {};
    const QDate date = QDate::fromString(args.value(name), Qt::ISODate);
    if (!date.isValid())
        throw UsageError{
            QStringLiteral("%1 \"%2\" is not a date YYYY-MM-DD").arg(name, args.value(name))};
    return date;
}

qint64 ParseId(const QString& text) {
    bool ok = false;
    const qint64 id = text.toLongLong(&ok);
    if (!ok || id <= 0)
        throw UsageError{QStringLiteral("record \"%1\" is not a record number").arg(text)};
    return id;
}

const QString kRecordsUsage = QStringLiteral(
    "usage: kx7410-cli records list [--serial S] [--model M] [--from DATE] [--to DATE]\n"
    "                              [--verdict pass|fail|not-answering|not-settled]\n"
    "                              [--kind check|calibration|download] [--json]\n"
    "       kx7410-cli records show ID [--json]\n"
    "       kx7410-cli records export (--csv FILE [filters of list] | --xlsx FILE ID)\n"
    "The records of Results.db in the data folder, newest first; dates are YYYY-MM-DD.\n");

} // namespace

int PortsCommand(CliStation&, const QStringList& argv) {
    const CliArgs args(argv, {}, {});
    if (HelpAsked(args, QStringLiteral("usage: kx7410-cli ports\n"
                                       "The serial ports and simulator links the window lists, "
                                       "one a line.\n")))
        return kExitOk;
    for (const QString& port : AvailablePortNames())
        Out() << port << '\n';
    return kExitOk;
}

int ModelsCommand(CliStation& station, const QStringList& argv) {
    const CliArgs args(argv, {}, {"--json"});
    if (HelpAsked(args, QStringLiteral("usage: kx7410-cli models [--json]\n"
                                       "The product models of Config.db with their scheme.\n")))
        return kExitOk;
    QList<ProductModel> models;
    if (!station.database().SelectAllModels(models))
        throw CliFailure{kExitUsage,
                         station.database().filePath() + QStringLiteral(": 操作数据库失败！")};
    for (const ProductModel& m : models) {
        if (args.has("--json"))
            Out() << JsonLine({{"model", m.cpxh.trimmed()}, {"scheme", m.fs.trimmed()}}) << '\n';
        else
            Out() << m.cpxh.trimmed() << '\t' << m.fs.trimmed() << '\n';
    }
    return kExitOk;
}

int SchemesCommand(CliStation& station, const QStringList& argv) {
    const CliArgs args(argv, {}, {"--json"});
    if (HelpAsked(args, QStringLiteral("usage: kx7410-cli schemes [--json]\n"
                                       "The schemes of Config.db with their protocol and output "
                                       "parameters.\n")))
        return kExitOk;
    ProductDatabase& db = station.database();
    QList<Scheme> schemes;
    if (!db.SelectSchemes(schemes))
        throw CliFailure{kExitUsage, db.filePath() + QStringLiteral(": 操作数据库失败！")};
    for (const Scheme& s : schemes) {
        QStringList parameters;
        if (!db.SelectSchemeParameters(s.fs.trimmed(), parameters)) parameters.clear();
        const QString protocol = ProtocolCaption(s.txxy).section(QStringLiteral(": "), 1);
        if (args.has("--json"))
            Out() << JsonLine({{"scheme", s.fs.trimmed()},
                               {"protocol", s.txxy},
                               {"protocol_name", protocol},
                               {"parameters", QJsonArray::fromStringList(parameters)}})
                  << '\n';
        else
            Out() << s.fs.trimmed() << '\t' << protocol << '\t' << parameters.join(QLatin1Char(','))
                  << '\n';
    }
    return kExitOk;
}

int PlansCommand(CliStation& station, const QStringList& argv) {
    const CliArgs args(argv, {"--model"}, {"--json"});
    if (HelpAsked(args, QStringLiteral("usage: kx7410-cli plans [--model M] [--json]\n"
                                       "The test plans of each model (or of M), with their points "
                                       "U%,I%,ANGLE,FREQ in order.\n")))
        return kExitOk;
    ProductDatabase& db = station.database();
    QStringList models;
    if (args.has("--model")) {
        std::optional<ProductModel> found;
        if (!db.SelectModel(args.value("--model").trimmed(), found) || !found)
            throw UsageError{
                QStringLiteral("--model: unknown model \"%1\"").arg(args.value("--model"))};
        models << found->cpxh.trimmed();
    } else {
        QList<ProductModel> all;
        if (!db.SelectAllModels(all))
            throw CliFailure{kExitUsage, db.filePath() + QStringLiteral(": 操作数据库失败！")};
        for (const ProductModel& m : all)
            models << m.cpxh.trimmed();
    }
    for (const QString& model : models) {
        QList<TestPlan> plans;
        if (!db.SelectPlans(model, plans))
            throw CliFailure{kExitUsage, db.filePath() + QStringLiteral(": 操作数据库失败！")};
        for (const TestPlan& plan : plans) {
            QStringList points;
            QJsonArray array;
            for (const TestPlanPoint& p : plan.points) {
                points << PointText(p);
                array.append(QJsonArray{p.voltagePercent, p.currentPercent, p.angle, p.frequency});
            }
            if (args.has("--json"))
                Out() << JsonLine({{"model", plan.model}, {"plan", plan.name}, {"points", array}})
                      << '\n';
            else
                Out() << plan.model << '\t' << plan.name << '\t' << points.join(QLatin1Char(' '))
                      << '\n';
        }
    }
    return kExitOk;
}

int RecordsCommand(CliStation& station, const QStringList& argv) {
    const CliArgs args(
        argv, {"--serial", "--model", "--from", "--to", "--verdict", "--kind", "--csv", "--xlsx"},
        {"--json"});
    if (args.has("--help")) {
        Out() << kRecordsUsage;
        return kExitOk;
    }
    const QStringList words = args.words();
    const QString action = words.value(0);
    ResultsDatabase& results = station.results();
    RecordFilter filter;
    filter.serial = args.value("--serial");
    filter.model = args.value("--model").trimmed();
    filter.from = ParseDate(args, "--from");
    filter.to = ParseDate(args, "--to");
    if (args.has("--verdict")) filter.verdict = ParseVerdict(args.value("--verdict"));
    if (args.has("--kind")) filter.kind = ParseKind(args.value("--kind"));
    const auto select = [&] {
        QList<UnitRecord> list;
        if (!results.Select(filter, list)) throw CliFailure{kExitUsage, results.lastError()};
        return list;
    };
    const auto whole = [&](qint64 id) {
        std::optional<UnitRecord> r = results.Get(id);
        if (!r) {
            if (!results.lastError().isEmpty()) throw CliFailure{kExitUsage, results.lastError()};
            throw UsageError{QStringLiteral("no record %1 in %2").arg(id).arg(results.path())};
        }
        return *r;
    };

    if (action == QLatin1String("list")) {
        if (words.size() > 1)
            throw UsageError{QStringLiteral("unexpected argument %1").arg(words[1])};
        for (const UnitRecord& r : select()) {
            if (args.has("--json")) {
                Out() << JsonLine(RecordJson(r)) << '\n';
                continue;
            }
            Out() << r.id << '\t' << r.started.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))
                  << '\t' << RecordKindText(r.kind) << '\t' << r.model << '\t'
                  << (r.serial.isEmpty() ? QStringLiteral("-") : r.serial) << '\t' << r.address
                  << '\t' << VerdictText(r.verdict) << '\n';
        }
        return kExitOk;
    }
    if (action == QLatin1String("show")) {
        if (words.size() != 2)
            throw UsageError{QStringLiteral("records show needs one record number")};
        const UnitRecord r = whole(ParseId(words[1]));
        if (args.has("--json")) {
            Out() << JsonLine(RecordJson(r)) << '\n';
            return kExitOk;
        }
        Out() << RecordsCsvText({r});
        return kExitOk;
    }
    if (action == QLatin1String("export")) {
        if (args.has("--csv") == args.has("--xlsx"))
            throw UsageError{QStringLiteral("records export needs --csv FILE or --xlsx FILE")};
        ExportResult written;
        QString path;
        if (args.has("--csv")) {
            if (words.size() > 1)
                throw UsageError{QStringLiteral("unexpected argument %1").arg(words[1])};
            QList<UnitRecord> list;
            for (const UnitRecord& r : select())
                list << whole(r.id); // with its points and quantities
            path = args.value("--csv");
            written = WriteRecordsCsv(path, list);
        } else {
            if (words.size() != 2)
                throw UsageError{QStringLiteral("records export --xlsx needs one record number")};
            path = args.value("--xlsx");
            written = WriteRecordWorkbook(path, whole(ParseId(words[1])));
        }
        if (!written.ok) throw CliFailure{kExitUsage, path + QStringLiteral(": ") + written.detail};
        Err() << path << '\n';
        return kExitOk;
    }
    throw UsageError{action.isEmpty() ? QStringLiteral("records needs list, show or export")
                                      : QStringLiteral("unknown records action %1").arg(action)};
}
