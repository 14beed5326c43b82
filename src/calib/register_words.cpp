#include "calib/register_words.h"

#include <QStringList>

void AddWords(RegisterWords& into, uint16_t first, const std::vector<uint16_t>& words) {
    for (std::size_t i = 0; i < words.size(); ++i)
        into[uint16_t(first + i)] = words[i];
}

std::vector<WordRun> RunsOf(const RegisterWords& words, std::size_t maxWords) {
    std::vector<WordRun> runs;
    for (const auto& [reg, word] : words) {
        const bool follows = !runs.empty() && runs.back().words.size() < maxWords &&
                             uint32_t(runs.back().first) + runs.back().words.size() == reg;
        if (!follows) runs.push_back({reg, {}});
        runs.back().words.push_back(word);
    }
    return runs;
}

QString WordLines(const QString& prefix, const RegisterWords& words) {
    QString text;
    for (const auto& [reg, word] : words)
        text += QStringLiteral("%1%2=%3\n").arg(prefix).arg(reg).arg(word);
    return text;
}

RegisterWords WordsFromLines(const QString& prefix, const QString& lines) {
    RegisterWords words;
    for (const QString& line : lines.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (!line.startsWith(prefix)) continue;
        const QString rest = line.mid(prefix.size());
        const qsizetype eq = rest.indexOf(QLatin1Char('='));
        if (eq < 0) continue;
        bool regOk = false;
        bool wordOk = false;
        const uint reg = rest.left(eq).toUInt(&regOk);
        const uint word = rest.mid(eq + 1).trimmed().toUInt(&wordOk);
        if (!regOk || !wordOk || reg > 0xFFFF || word > 0xFFFF) continue;
        words[uint16_t(reg)] = uint16_t(word);
    }
    return words;
}

std::vector<WordDifference> CompareWords(const RegisterWords& expected,
                                         const RegisterWords& actual) {
    std::vector<WordDifference> differences;
    for (const auto& [reg, word] : expected) {
        const auto found = actual.find(reg);
        if (found == actual.end())
            differences.push_back({reg, word, std::nullopt});
        else if (found->second != word)
            differences.push_back({reg, word, found->second});
    }
    return differences;
}

QString DifferenceLine(const WordDifference& difference) {
    return QStringLiteral("写入 %1=%2 读回 %3")
        .arg(difference.reg)
        .arg(difference.expected)
        .arg(difference.actual ? QString::number(*difference.actual) : QStringLiteral("无"));
}
