#pragma once
// One row of the real-time grid as the engine produces it: the name of column 1, the value text of
// column 2 and whether the value failed its accuracy check (shown in red), and for a row that
// names a check quantity the figures of its judgement, for the verdict panel and the record.

#include "acquire/check.h"

#include <QList>
#include <QString>

#include <utility>

struct AcquiredRow {
    AcquiredRow() = default;
    AcquiredRow(QString rowName, QString rowValue, bool failed = false)
        : name(std::move(rowName)), value(std::move(rowValue)), checkFailed(failed) {}

    QString name;
    QString value;
    bool checkFailed = false;
    QString quantity;    // the check quantity ("Pa"); empty for a row that is not checked
    QuantityCheck check; // its figures (check.checked false when it could not be judged)
    QString unit;        // of check.expected and check.measured

    // Rows are the same when the grid shows them the same; the figures behind a judgement
    // follow from the value and are compared where they matter (the verdict, the record).
    bool operator==(const AcquiredRow& other) const {
        return name == other.name && value == other.value && checkFailed == other.checkFailed;
    }
};

// The text shown for a value that cannot be decoded (status codes outside their list, a value
// whose registers or bytes are missing, a scale of zero).
inline QString UndecodableText() {
    return QStringLiteral("解析错误");
}
