#pragma once
// The read-back of a configuration download: what the module holds after the last write is read
// with the page's one-shot reads (full windows, no fast polling) and compared field by field with
// what was written, so a module that did not keep a value is caught before the download is called
// a success. Pure functions over the words apart from ReadBackDownload; callable from any one
// thread at a time (a job of the device session in the program).

#include "calib/configuration_blocks.h"
#include "calib/register_words.h"
#include "link/link.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// How a field of the configuration page sits in its register words.
enum class FieldPart {
    Word,     // the whole word, unsigned decimal
    HighByte, // a segment's hour, the meter-reading day
    LowByte,  // a segment's minute, the meter-reading hour
    Tenths,   // a limit in percent, sent x 10
    Hex,      // a serial number or hardware version: four hexadecimal digits
    Rated32,  // a rating: 32 bits low word first at reg and reg + 1, divided by scale
};

// A field as the user knows it: the caption beside its control ("启动电流").
struct DownloadField {
    QString name;
    uint16_t reg = 0;
    FieldPart part = FieldPart::Word;
    int scale = 1; // Rated32 only
};

struct FieldDifference {
    QString name;
    QString written;
    QString readBack;
    bool operator==(const FieldDifference&) const = default;
};
// The field's value in words as the page shows it; nullopt when a register of it is missing.
std::optional<QString> FieldValueText(const DownloadField& field, const RegisterWords& words);

// "写入 启动电流=10 读回 7"
QString DifferenceLine(const FieldDifference& difference);

// The fields whose value read back is not the value written, in the order of fields; then every
// written register that no field covers, named by its number ("278", "11301"). A register that did
// not come back reads "无". Fields on registers that were not written are skipped.
std::vector<FieldDifference> CompareDownload(const std::vector<DownloadField>& fields,
                                             const RegisterWords& written,
                                             const RegisterWords& readBack);

// The words a download wrote: the user blocks and the calibration block the download confirmed
// (the first blocksWritten of the five), and the output-parameter list when it was written.
RegisterWords DownloadedWords(const ConfigurationBlocks& blocks, std::size_t blocksWritten,
                              const std::vector<uint16_t>& list);

// Reads back what a download writes: the 44 words from 260 with ReadRegisters, the 30 words from
// 11002 and listWords words from 11300 (in reads of at most 125) with ReadCalibrationRegisters.
// False at the first read that fails or comes back short; what came back so far stays in out.
bool ReadBackDownload(Link& link, uint8_t address, std::size_t listWords, RegisterWords& out);
