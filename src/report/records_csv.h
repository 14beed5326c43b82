#pragma once
// The records of the results database as a CSV file for a spreadsheet: UTF-8 with a byte-order
// mark (so that Excel shows the Chinese), a header row, and one line for each checked quantity
// with the identity of its record and its test point repeated, so that the lines can be sorted
// and filtered on their own; a record without quantities (a download, a calibration run) has one
// line. Fields are quoted as RFC 4180 has it and lines end in CR LF.
//
// Thread use: works only on its arguments and on the files it creates (any thread).

#include "report/workbook_writer.h"
#include "store/results.h"

#include <QList>
#include <QString>
#include <QStringList>

// "检验", "标定", "配置下载".
QString RecordKindText(RecordKind kind);

// The titles of the columns, in their order.
QStringList RecordsCsvHeader();

// One field as it stands in the file: quoted, with its quotes doubled, when it holds a comma, a
// quote or a line break; as it is otherwise.
QString CsvQuoted(const QString& text);

// The whole file's text, without the byte-order mark.
QString RecordsCsvText(const QList<UnitRecord>& records);

// Writes the file under path, replacing what is there as ReplaceFile does: a failure leaves the
// target as it was and nothing behind.
ExportResult WriteRecordsCsv(const QString& path, const QList<UnitRecord>& records);
