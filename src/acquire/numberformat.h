#pragma once
// Fixed-point number patterns as the module's parameter catalogue writes them ("0.0 V", "0.000",
// "0.00 %"): '0' is a digit that is always shown, '#' a digit shown only when significant, the
// first '.' is the decimal point, text in single or double quotes and every other character is
// copied. The value is rounded half away from zero to the number of digit places after the point,
// from its 15-significant-digit decimal form (so 2.675 with "0.00" gives 2.68, as a user expects).
// An empty pattern gives the general form with up to 15 significant digits.

#include <QString>

QString FormatNumber(double value, const QString& pattern);
