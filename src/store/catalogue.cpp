#include "store/catalogue.h"

#include "common/conversion.h"

#include <QFile>

QString DataTable::field(qsizetype row, const QString& column) const {
    const qsizetype c = columns.indexOf(column);
    return c < 0 ? QString() : rows.at(row).at(c);
}

DataTable ReadDataTable(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ConversionError(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    DataTable table;
    int lineNo = 0;
    while (!file.atEnd()) {
        ++lineNo;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        QStringList fields = line.split(QLatin1Char(','));
        for (QString& f : fields)
            f = f.trimmed();
        if (table.columns.isEmpty()) {
            table.columns = fields;
            continue;
        }
        if (fields.size() != table.columns.size())
            throw ConversionError(QStringLiteral("%1:%2: %3 fields where %4 columns are named")
                                      .arg(path)
                                      .arg(lineNo)
                                      .arg(fields.size())
                                      .arg(table.columns.size()));
        table.rows.append(fields);
    }
    return table;
}

QList<OutputParameter> LoadOutputCatalogue(const QString& path) {
    const DataTable t = ReadDataTable(path);
    QList<OutputParameter> list;
    for (qsizetype r = 0; r < t.rows.size(); ++r) {
        OutputParameter p;
        p.csmc = t.field(r, "CSMC");
        p.addr = StrToInt(t.field(r, "ADDR"));
        p.zs = StrToInt(t.field(r, "ZS"));
        p.fh = StrToInt(t.field(r, "FH"));
        p.dw = t.field(r, "DW");
        p.bl = StrToInt(t.field(r, "BL"));
        p.checkmc = t.field(r, "CHECKMC");
        list.append(p);
    }
    return list;
}

QList<Dlt645Item> LoadDlt645Items(const QString& path) {
    const DataTable t = ReadDataTable(path);
    QList<Dlt645Item> list;
    for (qsizetype r = 0; r < t.rows.size(); ++r)
        list.append({t.field(r, "INFONUM"), t.field(r, "DATAFORMAT"), t.field(r, "CSMC"),
                     t.field(r, "DW"), t.field(r, "CHECKMC")});
    return list;
}
