#include "store/db_check.h"

#include "common/conversion.h"
#include "store/database.h"
#include "store/schema.h"

#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <optional>

namespace {
// The largest register block the 亚奥 poll can ask for.
constexpr int kYaaoMaxRegisters = 127;
constexpr int kProtocolYaao = 3;

std::optional<int> Number(const QString& text) {
    try {
        return StrToInt(text);
    } catch (const ConversionError&) {
        return std::nullopt;
    }
}

struct Rows {
    QStringList columns;
    QList<QStringList> values;
    QString field(qsizetype row, const char* column) const {
        const qsizetype c = columns.indexOf(QLatin1String(column));
        return c < 0 ? QString() : values[row][c];
    }
};

Rows ReadTable(QSqlDatabase db, const TableSchema& table, QStringList& problems) {
    Rows rows;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("select * from %1").arg(table.name))) {
        problems.append(
            QStringLiteral("%1: cannot be read: %2").arg(table.name, q.lastError().text()));
        return rows;
    }
    const QSqlRecord rec = q.record();
    for (int i = 0; i < rec.count(); ++i)
        rows.columns.append(rec.fieldName(i).toUpper());
    while (q.next()) {
        QStringList row;
        for (int i = 0; i < rec.count(); ++i)
            row.append(q.value(i).toString());
        rows.values.append(row);
    }
    return rows;
}

QString RowName(const TableSchema& t, const Rows& rows, qsizetype r) {
    const QString key = t.name == QLatin1String("Config")      ? rows.field(r, "CPXH").trimmed()
                        : t.name == QLatin1String("usertable") ? rows.field(r, "USERNAME")
                        : t.name == QLatin1String("Cstable")
                            ? rows.field(r, "FS").trimmed() + '/' + rows.field(r, "CSMC").trimmed()
                            : rows.field(r, "CSMC").trimmed();
    const QString id = rows.field(r, "ID");
    QString name = t.name;
    if (!id.isEmpty()) name += QStringLiteral(" ID %1").arg(id);
    if (t.name == QLatin1String("Fstable"))
        return name + QStringLiteral(" (%1)").arg(rows.field(r, "FS").trimmed());
    return name + (key.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(key));
}

// A point the real-time page cannot set stops the run of its plan there.
void CheckPlanPoints(QSqlDatabase db, QStringList& problems) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("select Model, Name, Position, VoltagePercent, CurrentPercent, "
                               "Angle, Frequency from %1 order by Model, Name, Position")
                    .arg(QLatin1String(kPlanTable)))) {
        problems.append(QStringLiteral("%1: cannot be read: %2")
                            .arg(QLatin1String(kPlanTable), q.lastError().text()));
        return;
    }
    const char* const columns[] = {"VoltagePercent", "CurrentPercent", "Angle", "Frequency"};
    while (q.next()) {
        TestPlanPoint point;
        double* const values[] = {&point.voltagePercent, &point.currentPercent, &point.angle,
                                  &point.frequency};
        QStringList texts;
        bool numbers = true;
        for (int i = 0; i < 4; ++i) {
            texts.append(q.value(3 + i).toString());
            try {
                *values[i] = StrToFloat(texts.last());
            } catch (const ConversionError&) {
                numbers = false;
            }
        }
        if (numbers && IsSelectableTestPoint(point)) continue;
        QStringList shown;
        for (int i = 0; i < 4; ++i)
            shown.append(QStringLiteral("%1 %2").arg(QLatin1String(columns[i]), texts[i]));
        problems.append(QStringLiteral("%1 (%2/%3) position %4: %5 is not a point of the real-time "
                                       "page")
                            .arg(QLatin1String(kPlanTable), q.value(0).toString().trimmed(),
                                 q.value(1).toString().trimmed(), q.value(2).toString(),
                                 shown.join(QStringLiteral(", "))));
    }
}
} // namespace

QStringList CheckDatabase(QSqlDatabase db) {
    QStringList problems;
    QHash<QString, Rows> all;
    for (const TableSchema& t : DatabaseTables()) {
        const Rows rows = ReadTable(db, t, problems);
        all.insert(t.name, rows);
        for (qsizetype r = 0; r < rows.values.size(); ++r) {
            for (const QString& c : t.numberColumns) {
                const QString text = rows.field(r, c.toUpper().toLatin1().constData());
                if (!Number(text))
                    problems.append(QStringLiteral("%1: %2 '%3' is not a number")
                                        .arg(RowName(t, rows, r), c, text));
            }
        }
    }

    // Codings of the schemes.
    const Rows& schemes = all["Fstable"];
    const char* flags[] = {"UBLFX",  "IBLFX",  "PBLFX",  "EBLFX",
                           "CSLXSN", "FDBDSN", "CSFHSN", "GLYSFXSN"};
    QSet<QString> schemeNames;
    for (qsizetype r = 0; r < schemes.values.size(); ++r) {
        schemeNames.insert(schemes.field(r, "FS").trimmed());
        for (const char* f : flags) {
            const QString text = schemes.field(r, f);
            const std::optional<int> v = Number(text);
            if (!v || (*v != kFlagOn && *v != 0))
                problems.append(
                    QStringLiteral("%1: %2 '%3' is neither 0xAA55 nor 0x0000")
                        .arg(RowName(*FindTable("Fstable"), schemes, r), QLatin1String(f), text));
        }
    }

    // Parameters: ZS by kind, and the catalogue by name.
    const Rows& outpar = all["Outpar"];
    QHash<QString, int> registers;
    for (qsizetype r = 0; r < outpar.values.size(); ++r) {
        const std::optional<int> zs = Number(outpar.field(r, "ZS"));
        const std::optional<int> bl = Number(outpar.field(r, "BL"));
        registers.insert(outpar.field(r, "CSMC").trimmed(), zs.value_or(0));
        if (!zs || !bl) continue;
        const int needed = *bl == 1 || *bl == 2 ? 1 : *bl == 3 ? 3 : 0;
        if (needed && *zs != needed)
            problems.append(QStringLiteral("%1: BL %2 takes %3 register(s) but ZS is %4")
                                .arg(RowName(*FindTable("Outpar"), outpar, r))
                                .arg(*bl)
                                .arg(needed)
                                .arg(*zs));
    }

    // Scheme lists: every parameter known; the 亚奥 register limit.
    const Rows& lists = all["Cstable"];
    QHash<QString, int> schemeRegisters;
    for (qsizetype r = 0; r < lists.values.size(); ++r) {
        const QString scheme = lists.field(r, "FS").trimmed();
        const QString name = lists.field(r, "CSMC").trimmed();
        if (!registers.contains(name))
            problems.append(QStringLiteral("%1: parameter '%2' is not in Outpar")
                                .arg(RowName(*FindTable("Cstable"), lists, r), name));
        schemeRegisters[scheme] += registers.value(name);
        if (!schemeNames.contains(scheme))
            problems.append(QStringLiteral("%1: scheme '%2' is not in Fstable")
                                .arg(RowName(*FindTable("Cstable"), lists, r), scheme));
    }
    for (qsizetype r = 0; r < schemes.values.size(); ++r) {
        const QString scheme = schemes.field(r, "FS").trimmed();
        const int count = schemeRegisters.value(scheme);
        if (Number(schemes.field(r, "TXXY")) == kProtocolYaao && count > kYaaoMaxRegisters)
            problems.append(QStringLiteral("%1: 亚奥 scheme of %2 registers (at most %3)")
                                .arg(RowName(*FindTable("Fstable"), schemes, r))
                                .arg(count)
                                .arg(kYaaoMaxRegisters));
    }

    // Models.
    const Rows& models = all["Config"];
    for (qsizetype r = 0; r < models.values.size(); ++r) {
        const QString scheme = models.field(r, "FS").trimmed();
        if (!schemeNames.contains(scheme))
            problems.append(QStringLiteral("%1: scheme '%2' is not in Fstable")
                                .arg(RowName(*FindTable("Config"), models, r), scheme));
    }

    // Test plans, where the database has them yet.
    if (HasPlanTable(db)) CheckPlanPoints(db, problems);
    return problems;
}
