#pragma once
// Number conversions with the behaviour of the original runtime: the texts of Config.ini and of
// the database columns ("0xAA55", " 12", "$1F") read exactly as the module's installed files
// expect. A text that is not a number throws ConversionError, caught by the handler that started
// the operation and shown to the user.

#include <QString>
#include <stdexcept>

class ConversionError : public std::runtime_error {
public:
    // field: the caption of the page field whose text failed ("启动电流："), empty for a text
    // that belongs to no field (a file, a database column).
    explicit ConversionError(const QString& message, const QString& field = {});
    QString text() const { return QString::fromUtf8(what()); }
    const QString& field() const { return field_; }

private:
    QString field_;
};

// The values a field may hold where it is sent (a register, a data item, an up-down's bounds).
struct FieldRange {
    int minimum;
    int maximum;
};

// Integer parser: leading blanks, an optional sign, then decimal digits or hexadecimal digits after
// "$", "x", "X", "0x" or "0X". Nothing may follow the digits. Hexadecimal values up to 0xFFFFFFFF
// wrap into 32 bits as the runtime does; decimal values must fit in 32 bits.
int StrToInt(const QString& text);

// Real parser: blanks around, optional sign, digits with a "." and an optional exponent.
double StrToFloat(const QString& text);

// Shortest decimal text of a real, 15 significant digits at most ("0.2", "220").
QString FloatToText(double value);

// A page field's text through StrToInt, within range. A failure tells the user which field, by
// the caption beside it, and what was typed: 启动电流：“ab”不是有效的整数,
// 启动电流：“-5”超出范围（0～65535）.
int FieldToInt(const QString& caption, const QString& text, FieldRange range);
// A page field's text through StrToFloat: 电压额定值：“ab”不是有效的数值.
double FieldToFloat(const QString& caption, const QString& text);
// The failure of a page field: its caption, the text in Chinese quotes, then what is wrong
// with it ("不是有效的整数", "超出范围（0～65535）").
ConversionError FieldError(const QString& caption, const QString& text, const QString& fault);
