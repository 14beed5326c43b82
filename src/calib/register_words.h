#pragma once
// Register words as an operation wrote them or read them back (register -> word), the runs of
// consecutive registers they travel in, their "name=value" lines for a unit record, and the
// registers whose word read back is not the word written. Pure values: any thread.

#include <QString>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

using RegisterWords = std::map<uint16_t, uint16_t>;

// Consecutive registers from first.
struct WordRun {
    uint16_t first = 0;
    std::vector<uint16_t> words;
    bool operator==(const WordRun&) const = default;
};

// Puts words at first, first + 1, ... into into (a later block wins where two overlap).
void AddWords(RegisterWords& into, uint16_t first, const std::vector<uint16_t>& words);

// The runs of consecutive registers, none longer than maxWords, in register order.
std::vector<WordRun> RunsOf(const RegisterWords& words, std::size_t maxWords);

// "<prefix><register>=<word>" per register, in register order, each line ended by '\n'.
QString WordLines(const QString& prefix, const RegisterWords& words);

// The registers of those lines that start with prefix; a line whose register or word is not a
// number is skipped. Empty when no line carries the prefix.
RegisterWords WordsFromLines(const QString& prefix, const QString& lines);

// A register whose word read back (none: it did not come back) differs from the word expected.
struct WordDifference {
    uint16_t reg = 0;
    uint16_t expected = 0;
    std::optional<uint16_t> actual;
    bool operator==(const WordDifference&) const = default;
};
// Every register of expected whose word in actual differs or is missing, in register order.
std::vector<WordDifference> CompareWords(const RegisterWords& expected,
                                         const RegisterWords& actual);
// "写入 12000=20000 读回 5" ("读回 无" for a register that did not come back).
QString DifferenceLine(const WordDifference& difference);
