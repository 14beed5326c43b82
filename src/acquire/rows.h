#pragma once
// One row of the real-time grid as the engine produces it: the name of column 1, the value text of
// column 2 and whether the value failed its accuracy check (shown in red).

#include <QList>
#include <QString>

struct AcquiredRow {
    QString name;
    QString value;
    bool checkFailed = false;

    bool operator==(const AcquiredRow&) const = default;
};

// The text shown for a value that cannot be decoded (status codes outside their list, a value
// whose registers or bytes are missing, a scale of zero).
inline QString UndecodableText() {
    return QStringLiteral("解析错误");
}
