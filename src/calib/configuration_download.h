#pragma once
// The configuration download as the window's 下载配置 and the command line run it: the fields of
// the calibration page by their captions and registers, their defaults (默认值), the scheme's
// output-parameter list, the writes with their waits, the read-back compared field by field, the
// outcome message and the record's details. Callable from any one thread at a time (a job of the
// device session in the program), GatherOutputList on the thread that owns the database.

#include "calib/configuration_blocks.h"
#include "calib/download_check.h"
#include "calib/register_words.h"
#include "link/link.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <vector>

class ProductDatabase;

// The fields of the download by the captions beside their controls ("启动电流") and where each
// sits in the registers, in the page's order.
std::vector<DownloadField> ConfigurationFieldTable();

// What 默认值 puts in the fields: a schedule of four segments from 1, 7, 13 and 19 o'clock,
// reading on day 1 at 1 o'clock, pulse constant 3600, start current 10, limits 125, 70, 50 and 5.
ConfigurationFields DefaultConfigurationFields();
// And the identity: 220 V, 5 A, serial numbers from the date (YYMM, DD01, 0001), versions 0001,
// 0002, 0003. The product's part (model name, scales, enables) is left as it is.
void SetDefaultIdentity(CalibrationFields& fields, const QDateTime& now);

// Sets segment n's "时段<n>时", "时段<n>分" or "时段<n>费率号" from text within r's ranges; false
// when name is none of them. Throws ConversionError naming the field for text that is not one.
bool SetSegmentField(std::array<TimeSegment, 12>& segments, const FieldRanges& r,
                     const QString& name, const QString& text);

// Sets the field named as ConfigurationFieldTable names it ("时段3时", "电压额定值") from text, as
// the page converts it; false with the reason naming the field otherwise.
bool SetConfigurationField(ConfigurationFields& fields, CalibrationFields& calibration,
                           const QString& name, const QString& text, QString& error);

// The scheme's output-parameter list as the download sends it, read from the database before the
// download starts, so the list written is that of the model the download began with.
struct OutputList {
    bool selected = false;       // the scheme's parameter names were read
    std::vector<uint16_t> block; // count and addresses; empty when it cannot be formed
};
OutputList GatherOutputList(ProductDatabase& db, const QString& scheme);

enum class DownloadResult { Done, BlocksFailed, ListFailed };

// What a download did: how far it got, what the module confirmed, and what it holds afterwards.
struct DownloadOutcome {
    DownloadResult result = DownloadResult::BlocksFailed;
    std::size_t blocksWritten = 0; // of the five configuration blocks
    bool listWritten = false;
    bool readBack = false; // every written block came back
    RegisterWords written;
    RegisterWords held;
    std::vector<FieldDifference> differences;
    bool verified() const {
        return result == DownloadResult::Done && readBack && differences.empty();
    }
};

// The configuration blocks with their waits, then the list; outcome.written is filled with what
// the module confirmed.
DownloadResult WriteDownload(Link& link, uint8_t address, const ConfigurationBlocks& blocks,
                             const OutputList& list, DownloadProgress& progress,
                             DownloadOutcome& outcome);

// After the download's own frames and waits: a module that answered every write may still not
// keep a value, so what it holds is read back and compared field by field; each difference (or
// the failed read-back) goes to log.
void VerifyDownload(Link& link, uint8_t address, std::size_t listWords,
                    const std::vector<DownloadField>& fields, DownloadOutcome& outcome,
                    const std::function<void(const QString&)>& log);

// The outcome message: a download whose read-back failed or differs is not a success, and says
// which fields the module did not keep.
QString DownloadMessage(const DownloadOutcome& o);

// The record's details: what was written and read back, register by register, and the fields
// that differ.
QString DownloadDetails(const DownloadOutcome& o);
