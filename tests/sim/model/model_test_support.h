#pragma once
// Test helpers: the host's rule for turning a catalogue row's registers back into a number,
// written out here on its own so that the model's encoding is checked against it.

#include "measurement.h"
#include "register_file.h"
#include "store/catalogue.h"

#include <QDir>
#include <QStringList>
#include <cmath>
#include <cstdint>

inline QString DataDir() {
    return QStringLiteral(KX_DATA_DIR);
}

// Scheme values as the host writes them into the calibration area.
struct Scaling {
    uint16_t uDir = 0xAA55, uFactor = 1, iDir = 0xAA55, iFactor = 1;
    uint16_t pDir = 0xAA55, pFactor = 1, eDir = 0xAA55, eFactor = 1;
    bool relativeCodes = false, signedPower = true;
    double ratedVoltage = 0, ratedCurrent = 0; // 0: leave the calibration area empty
};

inline void WriteScaling(RegisterFile& regs, const Scaling& s) {
    const uint16_t words[] = {s.uDir, s.uFactor, s.iDir, s.iFactor,
                              s.pDir, s.pFactor, s.eDir, s.eFactor};
    for (int k = 0; k < 8; ++k)
        regs.set(11015 + k, words[k]);
    regs.set(11025, s.relativeCodes ? 0xAA55 : 0);
    regs.set(11027, s.signedPower ? 0xAA55 : 0);
    const uint32_t v = uint32_t(s.ratedVoltage * 10), i = uint32_t(s.ratedCurrent * 1000);
    regs.set(11002, uint16_t(v & 0xFFFF));
    regs.set(11003, uint16_t(v >> 16));
    regs.set(11004, uint16_t(i & 0xFFFF));
    regs.set(11005, uint16_t(i >> 16));
}

struct Decoded {
    double value = 0; // what the host shows (or checks) as a number
    double z = 1;     // the divisor used, so the resolution is 1 / z
};

// The host's reading of a numeric catalogue row.
inline Decoded DecodeParameter(const OutputParameter& p, const RegisterFile& regs,
                               const Scaling& s) {
    static const QStringList units{"V", "A", "W", "Var", "VA", "kWh", "kVarh"};
    const bool isUnit = units.contains(p.dw);
    double z = p.bl;
    if (isUnit) {
        uint16_t dir, factor;
        if (p.dw == "V")
            dir = s.uDir, factor = s.uFactor;
        else if (p.dw == "A")
            dir = s.iDir, factor = s.iFactor;
        else if (p.dw == "kWh" || p.dw == "kVarh")
            dir = s.eDir, factor = s.eFactor;
        else
            dir = s.pDir, factor = s.pFactor;
        z = dir == 0xAA55 ? double(p.bl) / factor : double(p.bl) * factor;
    }
    const uint16_t w = regs.get(p.addr);
    double raw;
    if (p.zs == 2) {
        const uint32_t v = uint32_t(w) << 16 | regs.get(p.addr + 1);
        raw = p.fh == 1 ? double(int32_t(v)) : double(v);
    } else if (p.fh == 1) {
        const bool power = p.dw == "W" || p.dw == "Var" || p.dw == "VA";
        raw = (!power || s.signedPower) ? double(int16_t(w)) : double(w);
    } else {
        raw = w;
    }
    if (isUnit && s.relativeCodes) return {raw, 1};
    if (p.dw == "0.0000" && !s.relativeCodes) z = 1000;
    return {raw / z, z};
}

inline const OutputParameter* FindByCheck(const QList<OutputParameter>& cat, const QString& c) {
    for (const OutputParameter& p : cat)
        if (p.checkmc == c) return &p;
    return nullptr;
}
inline const OutputParameter* FindByName(const QList<OutputParameter>& cat, const QString& n) {
    for (const OutputParameter& p : cat)
        if (p.csmc == n) return &p;
    return nullptr;
}
