#pragma once
// Records as JSON objects for scripts: one object per unit with its identity, points and every
// quantity (figures as numbers, null where a figure could not be judged), and the verdict both
// as a keyword ("pass", "fail", "not answering", "not settled") and as the window's text.

#include "store/results.h"

#include <QJsonObject>
#include <QString>

// "pass", "fail", "not answering", "not settled".
QString VerdictKeyword(Verdict verdict);
QJsonObject RecordJson(const UnitRecord& record);
// One line of compact JSON (no line break inside).
QString JsonLine(const QJsonObject& object);
