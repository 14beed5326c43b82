// The input as the output of mdb-export: the row reader refuses a malformed table with a
// ConversionError only, every row it gives has the header's number of fields, and the table
// written back as mdb-export quotes it (every field in double quotes, quotes doubled) reads back
// as the same table.

#include "common/conversion.h"
#include "store/mdb_import.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace {

QByteArray Quoted(const QStringList& fields) {
    QByteArray line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0) line += ',';
        QString field = fields[i];
        field.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        line += '"' + field.toUtf8() + '"';
    }
    return line + '\n';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    DataTable table;
    try {
        table = ParseCsv(bytes);
    } catch (const ConversionError& e) {
        if (e.text().isEmpty()) __builtin_trap();
        return 0;
    }
    if (table.columns.isEmpty() && !table.rows.isEmpty()) __builtin_trap();
    for (const QStringList& row : table.rows)
        if (row.size() != table.columns.size()) __builtin_trap();
    if (table.columns.isEmpty()) return 0;

    QByteArray written = Quoted(table.columns);
    for (const QStringList& row : table.rows)
        written += Quoted(row);
    const DataTable again = ParseCsv(written);
    if (again.columns != table.columns || again.rows != table.rows) __builtin_trap();
    return 0;
}
