#include "common/conversion.h"

#include <QCoreApplication>

#include <cmath>
#include <limits>

ConversionError::ConversionError(const QString& message, const QString& field)
    : std::runtime_error(message.toUtf8().toStdString()), field_(field) {}

namespace {
[[noreturn]] void ThrowNotInteger(const QString& text) {
    throw ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

int HexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}
} // namespace

int StrToInt(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    bool hex = false;
    if (i < n && (text[i] == QLatin1Char('$') || text[i] == QLatin1Char('x') ||
                  text[i] == QLatin1Char('X'))) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == QLatin1Char('0') &&
               (text[i + 1] == QLatin1Char('x') || text[i + 1] == QLatin1Char('X'))) {
        hex = true;
        i += 2;
    }
    if (i >= n) ThrowNotInteger(text);
    quint64 value = 0;
    for (; i < n; ++i) {
        const int d =
            hex ? HexDigit(text[i])
                : (text[i].isDigit() && text[i].unicode() < 128 ? text[i].unicode() - '0' : -1);
        if (d < 0) ThrowNotInteger(text);
        value = value * (hex ? 16 : 10) + quint64(d);
        if (value > (hex ? 0xFFFFFFFFull : 0x80000000ull)) ThrowNotInteger(text);
    }
    if (hex) {
        const qint32 bits = qint32(quint32(value));
        return negative ? -bits : bits;
    }
    if (!negative && value > 0x7FFFFFFFull) ThrowNotInteger(text);
    return negative ? int(-qint64(value)) : int(value);
}

double StrToFloat(const QString& text) {
    const QString t = text.trimmed();
    bool ok = false;
    double value = 0;
    // QString::toDouble accepts exactly sign, digits, "." and exponent in the C locale; it also
    // takes "inf" and "nan", which are no numbers for a user.
    if (!t.isEmpty() && !t.contains(QLatin1String("inf"), Qt::CaseInsensitive) &&
        !t.contains(QLatin1String("nan"), Qt::CaseInsensitive))
        value = t.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        throw ConversionError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return value;
}

QString FloatToText(double value) {
    return QString::number(value, 'g', 15);
}

ConversionError FieldError(const QString& caption, const QString& text, const QString& fault) {
    // One pattern, so that a language that quotes differently can place the three parts.
    return ConversionError(
        QCoreApplication::translate("Conversion", "%1“%2”%3").arg(caption, text, fault), caption);
}

int FieldToInt(const QString& caption, const QString& text, FieldRange range) {
    int value = 0;
    try {
        value = StrToInt(text);
    } catch (const ConversionError&) {
        throw FieldError(caption, text,
                         QCoreApplication::translate("Conversion", "不是有效的整数"));
    }
    if (value < range.minimum || value > range.maximum)
        throw FieldError(caption, text,
                         QCoreApplication::translate("Conversion", "超出范围（%1～%2）")
                             .arg(range.minimum)
                             .arg(range.maximum));
    return value;
}

double FieldToFloat(const QString& caption, const QString& text) {
    try {
        return StrToFloat(text);
    } catch (const ConversionError&) {
        throw FieldError(caption, text,
                         QCoreApplication::translate("Conversion", "不是有效的数值"));
    }
}
