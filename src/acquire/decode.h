#pragma once
// Decoding of the module's output registers into grid rows, and the harmonic display. Pure
// functions over plain values: the reading thread loads the scheme and the parameter rows from
// the database and hands them in with the words it read.

#include "acquire/check.h"
#include "acquire/rows.h"
#include "store/catalogue.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <span>

// The twelve scheme values the decoding uses, each as read from the scheme row and kept in
// 16 bits. Directions and enables are 0xAA55 (on / multiply) or 0 (off / divide).
struct SchemeScales {
    int ubl = 1, ublfx = 0;
    int ibl = 1, iblfx = 0;
    int pbl = 1, pblfx = 0;
    int ebl = 1, eblfx = 0;
    int cslxsn = 0;   // measured values come as relative codes (10000 = rated)
    int csfhsn = 0;   // one-register power values marked signed are signed
    int glysfxsn = 0; // loaded with the scheme; the decoding does not use it
    int txxy = 0;     // protocol
};

inline constexpr int kPattern = 0xAA55;

// Decodes the parameter whose first register is image[position] and advances position by the
// registers it takes (grid state and state bits 1, date-time 3, numbers ZS). A value whose
// registers lie beyond the image, or that cannot be scaled (a zero factor or divisor), or whose
// sign/width columns are out of range, is shown as UndecodableText() and marked failed.
AcquiredRow DecodeParameter(const SchemeScales& scheme, const OutputParameter& parameter,
                            std::span<const uint16_t> image, qsizetype& position,
                            const CheckSettings& settings, const TestPoint& point);

// All parameters of a scheme in list order, the registers read from the first one on.
QList<AcquiredRow> DecodeRegisters(const SchemeScales& scheme,
                                   const QList<OutputParameter>& parameters,
                                   std::span<const uint16_t> image, const CheckSettings& settings,
                                   const TestPoint& point);

// Number of registers a parameter takes in the image (what DecodeParameter advances by).
int RegistersTaken(const OutputParameter& parameter);

// Text of a grid-state code (0 normal, 1 phase missing, 2 outage); both the register and the
// DL/T 645 forms of the word show it.
QString GridStateText(int code);

// A run of registers read by one request.
struct RegisterBlock {
    int start = 0;
    int count = 0;
    bool operator==(const RegisterBlock&) const = default;
};

// The module answers at most 127 registers per request.
inline constexpr int kMaxBlockRegisters = 127;

// Splits a run of registers into requests of at most 127 registers, in order: 127 registers are
// one block, 128 are (start, 127) and (start + 127, 1). A run longer than 254 takes further
// blocks rather than one request the module would refuse. An empty run gives no block.
QList<RegisterBlock> PlanRegisterBlocks(int start, int count);

// The 195 row names of the harmonic display; the register at 1000 + i is shown under name i.
const QStringList& HarmonicNames();
inline constexpr int kHarmonicRegisterStart = 1000;
inline constexpr int kHarmonicRegisterCount = 195;

// Value text of one harmonic register: the K-factor rows in tenths ("1.7"), the contents in
// hundredths of a percent ("12.34 %").
QString HarmonicValueText(const QString& name, uint16_t word);

// The rows of the harmonic display for the words read from register 1000 on; names beyond the
// words given show UndecodableText(), marked failed. No accuracy check applies.
QList<AcquiredRow> ShowHarmonics(std::span<const uint16_t> image);
