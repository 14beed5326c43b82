#pragma once
// The seed tables under data/: the output-parameter catalogue and the two DL/T 645 item tables.
// The product database seeds its tables from them and the simulated module reads them as its own
// register map, so the two cannot disagree.
//
// File form: UTF-8 text, the first line names the columns, fields separated by commas (no
// quoting; no field holds a comma), blanks around fields ignored, lines starting with '#' and
// empty lines skipped.

#include <QList>
#include <QString>
#include <QStringList>

struct DataTable {
    QStringList columns;
    QList<QStringList> rows; // each row has exactly columns.size() fields
    // Field of a row by column name; empty when the column does not exist.
    QString field(qsizetype row, const QString& column) const;
};

// Reads a data file; throws ConversionError naming the file and line on a malformed file.
DataTable ReadDataTable(const QString& path);

// One row of the output-parameter catalogue (table Outpar), in catalogue order.
struct OutputParameter {
    QString csmc;    // name, the key
    int addr = 0;    // first register in the module
    int zs = 1;      // number of consecutive registers
    int fh = 0;      // 1: signed
    QString dw;      // unit or number pattern
    int bl = 1;      // divisor, or 1/2/3 for grid state, state bits, date-time
    QString checkmc; // accuracy-check quantity, empty for none
};

// One DL/T 645 data item (tables DL645Data_97 and DL645Data_07), in polling order.
struct Dlt645Item {
    QString infonum;    // 1997: "0x9010" (DI1 DI0); 2007: "0x00010000" (DI3 first)
    QString dataFormat; // value template, e.g. "XXXXXX.XX"
    QString csmc;
    QString dw;
    QString checkmc;
};

QList<OutputParameter> LoadOutputCatalogue(const QString& path);
QList<Dlt645Item> LoadDlt645Items(const QString& path);

// File names inside a data folder.
inline constexpr const char* kOutparFile = "outpar.csv";
inline constexpr const char* kDlt645Items1997File = "dl645_97.csv";
inline constexpr const char* kDlt645Items2007File = "dl645_07.csv";
