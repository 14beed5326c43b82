#include "calib/download_check.h"

#include "common/conversion.h"

#include <QCoreApplication>

#include <algorithm>
#include <optional>
#include <set>

namespace {

// ReadCalibrationRegisters takes a reply of at most 256 bytes: 125 words with the frame around.
constexpr std::size_t kMaxReadWords = 125;

std::optional<uint16_t> WordAt(const RegisterWords& words, uint16_t reg) {
    const auto found = words.find(reg);
    if (found == words.end()) return std::nullopt;
    return found->second;
}

} // namespace

std::optional<QString> FieldValueText(const DownloadField& field, const RegisterWords& words) {
    const std::optional<uint16_t> word = WordAt(words, field.reg);
    if (!word) return std::nullopt;
    switch (field.part) {
    case FieldPart::Word:
        return QString::number(*word);
    case FieldPart::HighByte:
        return QString::number(*word >> 8);
    case FieldPart::LowByte:
        return QString::number(*word & 0xFF);
    case FieldPart::Tenths:
        // Not the page's integer division: 1251 and 1250 both show 125 there, yet differ.
        return FloatToText(*word / 10.0);
    case FieldPart::Hex:
        return QStringLiteral("%1").arg(*word, 4, 16, QLatin1Char('0')).toUpper();
    case FieldPart::Rated32: {
        const std::optional<uint16_t> high = WordAt(words, uint16_t(field.reg + 1));
        if (!high) return std::nullopt;
        return FloatToText(LowWordFirst(*word, *high) / double(std::max(field.scale, 1)));
    }
    }
    return std::nullopt;
}

QString DifferenceLine(const FieldDifference& difference) {
    return QCoreApplication::translate("Configuration", "写入 %1=%2 读回 %3")
        .arg(difference.name, difference.written, difference.readBack);
}

std::vector<FieldDifference> CompareDownload(const std::vector<DownloadField>& fields,
                                             const RegisterWords& written,
                                             const RegisterWords& readBack) {
    std::vector<FieldDifference> differences;
    std::set<uint16_t> covered;
    const QString missing = QStringLiteral("无");
    for (const DownloadField& field : fields) {
        const std::optional<QString> sent = FieldValueText(field, written);
        if (!sent) continue;
        covered.insert(field.reg);
        if (field.part == FieldPart::Rated32) covered.insert(uint16_t(field.reg + 1));
        const std::optional<QString> held = FieldValueText(field, readBack);
        if (held != sent) differences.push_back({field.name, *sent, held.value_or(missing)});
    }
    for (const auto& [reg, word] : written) {
        if (covered.count(reg)) continue;
        const std::optional<uint16_t> held = WordAt(readBack, reg);
        if (held != word)
            differences.push_back({QString::number(reg), QString::number(word),
                                   held ? QString::number(*held) : missing});
    }
    return differences;
}

RegisterWords DownloadedWords(const ConfigurationBlocks& blocks, std::size_t blocksWritten,
                              const std::vector<uint16_t>& list) {
    RegisterWords words;
    std::size_t n = 0;
    for (const auto& [first, block] : blocks.user)
        if (n++ < blocksWritten) AddWords(words, first, block);
    if (n < blocksWritten) AddWords(words, kCalibrationBlockRegister, blocks.calibration);
    AddWords(words, kOutputListRegister, list);
    return words;
}

bool ReadBackDownload(Link& link, uint8_t address, std::size_t listWords, RegisterWords& out) {
    const auto read = [&](ReadKind kind, uint16_t first, std::size_t count) {
        std::vector<uint16_t> words;
        if (!ReadAllWords(link, address, kind, first, uint16_t(count), words)) return false;
        words.resize(count);
        AddWords(out, first, words);
        return true;
    };
    if (!read(ReadKind::Registers, kUserBlock1Register, kUserReadBackWords)) return false;
    if (!read(ReadKind::Calibration, kCalibrationBlockRegister, kCalibrationBlockWords))
        return false;
    for (std::size_t done = 0; done < listWords; done += kMaxReadWords)
        if (!read(ReadKind::Calibration, uint16_t(kOutputListRegister + done),
                  std::min(kMaxReadWords, listWords - done)))
            return false;
    return true;
}
