#pragma once
// Import of an existing Jet database (Config.mdb) into a new Config.db. The Jet file is read with
// the mdbtools programs (mdb-tables, mdb-export), which ignore the database password.

#include "store/catalogue.h"

#include <QMap>
#include <QString>
#include <QStringList>

// Tables of a Jet file, in the file's order. Returns false with *error set when the file cannot
// be read.
bool ListMdbTables(const QString& mdbFile, QStringList& tables, QString* error);

// One table of a Jet file, columns as the file names them, every field as text (empty for NULL).
bool ReadMdbTable(const QString& mdbFile, const QString& table, DataTable& out, QString* error);

// CSV as mdb-export writes it: header line, comma-separated, fields optionally in double quotes
// with doubled quotes inside, quoted fields may hold commas and line breaks.
// Throws ConversionError on a row whose field count differs from the header's.
DataTable ParseCsv(const QByteArray& utf8);

// Writes the tables (keyed by table name, case-insensitive) into a new database file with the
// schema of Config.db. Every one of the seven tables must be present; IDs are kept. A number
// column may hold an integral real ("10.00") or be empty (NULL). Returns an error text or empty;
// on error no file is left behind. An existing output file is refused.
QString ImportTables(const QMap<QString, DataTable>& tables, const QString& outFile);

// ListMdbTables + ReadMdbTable of the seven tables + ImportTables. A Jet file without one of the
// tables gives an error naming the missing ones.
QString ImportMdb(const QString& mdbFile, const QString& outFile);
