#include "calib/calibration_backup.h"

#include "calib/calibration.h"
#include "calib/configuration_blocks.h"
#include "link/modbus.h"

#include <QCoreApplication>

namespace {

const QString kBackupPrefix = QStringLiteral("backup.");
// ReadCalibrationRegisters takes at most 125 words; the backed-up runs are shorter anyway.
constexpr std::size_t kMaxRunWords = 125;

bool ReadRun(Link& link, uint8_t address, uint16_t first, uint16_t count, RegisterWords& into) {
    std::vector<uint16_t> words;
    if (!ReadAllWords(link, address, ReadKind::Calibration, first, count, words)) return false;
    words.resize(count);
    AddWords(into, first, words);
    return true;
}

} // namespace

std::vector<std::pair<uint16_t, uint16_t>> CalibrationAreaRanges(bool segmented) {
    std::vector<std::pair<uint16_t, uint16_t>> ranges{
        {kCalibrationBlockRegister, kCalibrationBlockWords},
        {SegmentBase(1), calib::kSegmentWords}};
    if (segmented) {
        ranges.emplace_back(SegmentBase(2), calib::kSegmentWords);
        ranges.emplace_back(SegmentBase(3), calib::kSegmentWords);
    }
    return ranges;
}

std::optional<RegisterWords>
ReadCalibrationArea(Link& link, uint8_t address,
                    const std::vector<std::pair<uint16_t, uint16_t>>& ranges) {
    RegisterWords area;
    for (const auto& [first, count] : ranges)
        if (!ReadRun(link, address, first, count, area)) return std::nullopt;
    return area;
}

QString BackupDetails(const RegisterWords& area) {
    return WordLines(kBackupPrefix, area);
}

RegisterWords BackupFromDetails(const QString& details) {
    return WordsFromLines(kBackupPrefix, details);
}

RestoreOutcome RestoreCalibrationArea(Link& link, uint8_t address, const RegisterWords& backup) {
    RestoreOutcome outcome;
    const std::vector<WordRun> runs = RunsOf(backup, kMaxRunWords);
    for (const WordRun& run : runs)
        if (!WriteCalibrationRegisters(link, address, run.first, uint16_t(run.words.size()),
                                       run.words))
            return outcome;
    outcome.written = true;
    RegisterWords held;
    for (const WordRun& run : runs)
        if (!ReadRun(link, address, run.first, uint16_t(run.words.size()), held)) return outcome;
    outcome.readBack = true;
    outcome.differences = CompareWords(backup, held);
    return outcome;
}

QString BackupReadFailedText() {
    return QCoreApplication::translate("Calibration", "读标定数据备份失败,本步未写入!!");
}

QString BackupStoreFailedText() {
    return QCoreApplication::translate("Calibration", "保存标定数据备份失败,本步未写入!!");
}
