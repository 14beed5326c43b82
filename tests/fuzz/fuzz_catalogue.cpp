// The input as one of the seed tables (outpar.csv, dl645_97.csv or dl645_07.csv, chosen by the
// first byte) beside the shipped other two: the table reader and the catalogue loaders refuse a
// malformed file with a ConversionError only, and the simulated module's measurement model,
// which takes the tables as its register map, loads them and fills every register and item.

#include "common/conversion.h"
#include "measurement.h"
#include "store/catalogue.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <stdexcept>

#ifndef KX_FUZZ_DATA_DIR
#error "KX_FUZZ_DATA_DIR names the shipped data folder"
#endif

namespace {

const char* const kTables[] = {kOutparFile, kDlt645Items1997File, kDlt645Items2007File};

void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        __builtin_trap();
}

QByteArray Shipped(const char* name) {
    QFile file(QDir(QStringLiteral(KX_FUZZ_DATA_DIR)).filePath(QLatin1String(name)));
    if (!file.open(QIODevice::ReadOnly)) __builtin_trap();
    return file.readAll();
}

template <typename Load> void Tolerate(Load load) {
    try {
        load();
    } catch (const ConversionError& e) {
        if (e.text().isEmpty()) __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    static QTemporaryDir folder;
    if (!folder.isValid()) __builtin_trap();
    const QDir dir(folder.path());
    const int which = data[0] % 3;
    for (int t = 0; t < 3; ++t) {
        const QByteArray bytes = t == which ? QByteArray(reinterpret_cast<const char*>(data + 1),
                                                         static_cast<qsizetype>(size - 1))
                                            : Shipped(kTables[t]);
        Write(dir.filePath(QLatin1String(kTables[t])), bytes);
    }
    const QString path = dir.filePath(QLatin1String(kTables[which]));

    Tolerate([&] {
        const DataTable table = ReadDataTable(path);
        for (qsizetype r = 0; r < table.rows.size(); ++r) {
            if (table.rows[r].size() != table.columns.size()) __builtin_trap();
            for (const QString& column : table.columns)
                table.field(r, column);
        }
    });
    Tolerate([&] { LoadOutputCatalogue(path); });
    Tolerate([&] { LoadDlt645Items(path); });

    try {
        Measurement model(dir.path());
        RegisterFile regs;
        model.refresh(regs);
        model.advance(61, regs);
        for (const Dlt645Item& item : LoadDlt645Items(dir.filePath(kDlt645Items1997File))) {
            bool ok = false;
            const uint di = item.infonum.mid(2).toUInt(&ok, 16);
            if (ok) model.read1997(static_cast<uint16_t>(di), regs);
        }
        for (const Dlt645Item& item : LoadDlt645Items(dir.filePath(kDlt645Items2007File))) {
            bool ok = false;
            const uint di = item.infonum.mid(2).toUInt(&ok, 16);
            if (ok) model.read2007(di, regs);
        }
    } catch (const ConversionError& e) {
        if (e.text().isEmpty()) __builtin_trap();
    }
    return 0;
}
