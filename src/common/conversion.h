#pragma once
// Number conversions with the behaviour of the original runtime: the texts of Config.ini and of
// the database columns ("0xAA55", " 12", "$1F") read exactly as the module's installed files
// expect. A text that is not a number throws ConversionError, caught by the handler that started
// the operation and shown to the user.

#include <QString>
#include <stdexcept>

class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(const QString& message);
    QString text() const { return QString::fromUtf8(what()); }
};

// Integer parser: leading blanks, an optional sign, then decimal digits or hexadecimal digits after
// "$", "x", "X", "0x" or "0X". Nothing may follow the digits. Hexadecimal values up to 0xFFFFFFFF
// wrap into 32 bits as the runtime does; decimal values must fit in 32 bits.
int StrToInt(const QString& text);

// Real parser: blanks around, optional sign, digits with a "." and an optional exponent.
double StrToFloat(const QString& text);

// Shortest decimal text of a real, 15 significant digits at most ("0.2", "220").
QString FloatToText(double value);
