#pragma once
// The backup of a module's calibration area and its restore. Before a calibration first writes,
// the registers it may overwrite are read (the calibration configuration block at 11002 and the
// segments in use from 12000, 12100, 12200) and kept as "backup.<register>=<word>" lines of a unit
// record; the restore writes those words back with the calibration's own write function and reads
// them again to prove they stuck. Callable from any one thread at a time (a job of the device
// session in the program).

#include "calib/register_words.h"
#include "link/link.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace calib {
// A segment's words from its base: VIP data (9), the power compensation of 50 and 60 Hz (12) and
// the voltage angle coefficients of both frequencies (6).
inline constexpr uint16_t kSegmentWords = 27;
} // namespace calib

// First register and count of each range a calibration writes: the calibration configuration
// block and segment 1, and segments 2 and 3 for a scheme with segmented calibration.
std::vector<std::pair<uint16_t, uint16_t>> CalibrationAreaRanges(bool segmented);

// Reads the ranges with ReadCalibrationRegisters, as the module answers its calibration area.
// Empty at the first read that fails or comes back short: half an area is no backup.
std::optional<RegisterWords>
ReadCalibrationArea(Link& link, uint8_t address,
                    const std::vector<std::pair<uint16_t, uint16_t>>& ranges);

// The record lines of a backup and back; BackupFromDetails is empty for a record without one.
QString BackupDetails(const RegisterWords& area);
RegisterWords BackupFromDetails(const QString& details);

// "读标定数据备份失败,本步未写入!!" and "保存标定数据备份失败,本步未写入!!": a step that cannot
// take or keep its backup writes nothing.
QString BackupReadFailedText();
QString BackupStoreFailedText();

struct RestoreOutcome {
    bool written = false;  // every run was written
    bool readBack = false; // and read again
    std::vector<WordDifference> differences;
    bool restored() const { return written && readBack && differences.empty(); }
};
// Writes the backed-up words in runs of consecutive registers with WriteCalibrationRegisters, then
// reads each run back and compares. Stops at the first write or read that fails.
RestoreOutcome RestoreCalibrationArea(Link& link, uint8_t address, const RegisterWords& backup);
