#pragma once
// What the simulated module measures: a reference-source test point turned into the values of
// its measurement registers and DL/T 645 data items, encoded the way the output-parameter
// catalogue (data/outpar.csv) and the DL/T 645 item tables describe them, with the scale
// directions, factors and relative-code mode that the host wrote into the calibration area.

#include "register_file.h"

#include "store/catalogue.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

// The reference source, as the operator sets it.
struct SourcePoint {
    double voltagePct = 100; // of rated voltage
    double currentPct = 100; // of rated current
    double angleDeg = 0;     // current lags voltage by this angle
    double frequencyHz = 50;
    double ratedVoltage = 220; // V, used when the calibration area holds no rated values
    double ratedCurrent = 5;   // A
};

class Measurement {
public:
    // Loads outpar.csv, dl645_97.csv and dl645_07.csv from dataDir; throws ConversionError.
    explicit Measurement(const QString& dataDir);

    void setTestPoint(const SourcePoint& point) { point_ = point; }
    const SourcePoint& testPoint() const { return point_; }
    // Adds an error of percent to one check quantity (a CHECKMC name such as "Pa") or to one
    // catalogue parameter (a CSMC name); 0 removes it.
    void setError(const QString& name, double percent);

    // Advances time: energies and demand accumulate, the clock (registers 257..259) runs.
    void advance(double seconds, RegisterFile& regs);
    void clearEnergy();
    void clearDemand();
    void setEnergyBase(uint32_t base); // 亚奥 command 6 and the user download

    // Writes every measurement register into regs from the test point and the scaling held in
    // regs (calibration area 11002..11028): the catalogue's addresses, harmonics 1000..1194,
    // the curve block 7035..7056 and raw samples 10000..10011.
    void refresh(RegisterFile& regs) const;

    // Data bytes (before the 0x33 offset, least significant byte first as on the wire) of a
    // DL/T 645 read, or nullopt for an identifier the module does not know.
    std::optional<std::vector<uint8_t>> read1997(uint16_t di, const RegisterFile& regs) const;
    std::optional<std::vector<uint8_t>> read2007(uint32_t di, const RegisterFile& regs) const;

private:
    SourcePoint point_;
    QMap<QString, double> errors_;
    struct Snapshot; // every quantity at one instant, defined in measurement.cpp
    Snapshot snapshot(const RegisterFile& regs, bool withErrors = true) const;
    double errorFactor(const QString& name) const;
    struct ItemData; // what a DL/T 645 item reports, before its template lays it out
    std::optional<ItemData> itemData(uint32_t di2007, const Snapshot& s,
                                     const RegisterFile& regs) const;
    std::optional<std::vector<uint8_t>> readItem(const Dlt645Item& item,
                                                 std::optional<uint32_t> di2007, uint16_t di1997,
                                                 const RegisterFile& regs) const;

    QList<OutputParameter> catalogue_;
    QMap<uint16_t, Dlt645Item> items1997_;
    QMap<uint32_t, Dlt645Item> items2007_;

    // Energies in kWh / kVarh; the tariff registers split the forward active energy.
    double activeImport_ = 0, activeExport_ = 0, reactiveImport_ = 0, reactiveExport_ = 0;
    std::array<double, 4> activeImportRate_{};

    // Sliding demand window (seconds, W, var) and the maxima since the last clear: index 0 the
    // total, 1..4 the tariffs; the export maximum apart.
    struct DemandSample {
        double seconds, p, q;
    };
    std::deque<DemandSample> demandWindow_;
    double demandP_ = 0, demandQ_ = 0;
    std::array<double, 5> maxDemand_{};
    std::array<QDateTime, 5> maxDemandTime_;
    double maxDemandExport_ = 0;
    QDateTime maxDemandExportTime_;

    double clockFraction_ = 0; // part of a second not yet added to the clock registers
    double runSeconds_ = 0;    // time the module has been running
};
