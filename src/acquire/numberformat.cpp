#include "acquire/numberformat.h"

#include "common/conversion.h"

#include <QList>
#include <cmath>

namespace {

bool IsPlaceholder(QChar c) {
    return c == QLatin1Char('0') || c == QLatin1Char('#');
}

// Splits the pattern into its integer and fraction sections with quoted text unquoted into
// literal markers. Each element is either a placeholder or a literal character.
struct Piece {
    QChar c;
    bool placeholder;
};

void SplitPattern(const QString& pattern, QList<Piece>& intPart, QList<Piece>& fracPart,
                  bool& hasPoint) {
    hasPoint = false;
    QChar quote;
    for (const QChar c : pattern) {
        QList<Piece>& target = hasPoint ? fracPart : intPart;
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            else
                target.append({c, false});
            continue;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
        } else if (c == QLatin1Char('.') && !hasPoint) {
            hasPoint = true;
        } else {
            target.append({c, IsPlaceholder(c)});
        }
    }
}

// Digits of |value| rounded half away from zero at `decimals` places, from the 15-significant-digit
// decimal form. intDigits has no leading zeros ("" for zero); fracDigits has exactly `decimals`.
void RoundedDigits(double value, int decimals, QString& intDigits, QString& fracDigits) {
    const QString e = QString::number(std::fabs(value), 'e', 14); // d.dddddddddddddde+XX
    QString digits = e.left(1) + e.mid(2, 14);
    int exponent = e.mid(e.indexOf(QLatin1Char('e')) + 1).toInt();
    int intCount = exponent + 1; // digits before the point
    int keep = intCount + decimals;
    if (keep < 0) {
        digits.clear();
        keep = 0;
    } else if (keep < digits.size()) {
        const bool up = digits[keep].unicode() >= '5';
        digits.truncate(keep);
        if (up) {
            int k = keep - 1;
            while (k >= 0 && digits[k] == QLatin1Char('9')) {
                digits[k] = QLatin1Char('0');
                --k;
            }
            if (k >= 0) {
                digits[k] = QChar(digits[k].unicode() + 1);
            } else {
                digits.prepend(QLatin1Char('1'));
                ++intCount;
                ++keep;
            }
        }
    }
    while (digits.size() < keep)
        digits.append(QLatin1Char('0'));
    // Place the point: intCount may be zero or negative for values below 1.
    QString all = digits;
    int pointAt = intCount;
    if (pointAt < 0) {
        all.prepend(QString(-pointAt, QLatin1Char('0')));
        pointAt = 0;
    }
    intDigits = all.left(pointAt);
    fracDigits = all.mid(pointAt);
    while (fracDigits.size() < decimals)
        fracDigits.append(QLatin1Char('0'));
    fracDigits.truncate(decimals);
    qsizetype lead = 0;
    while (lead < intDigits.size() && intDigits[lead] == QLatin1Char('0'))
        ++lead;
    intDigits = intDigits.mid(lead);
}

} // namespace

QString FormatNumber(double value, const QString& pattern) {
    if (pattern.isEmpty() || !std::isfinite(value) || std::fabs(value) >= 1e18)
        return FloatToText(value);

    QList<Piece> intPart, fracPart;
    bool hasPoint = false;
    SplitPattern(pattern, intPart, fracPart, hasPoint);

    int decimals = 0;
    for (const Piece& p : fracPart)
        if (p.placeholder) ++decimals;
    QString intDigits, fracDigits;
    RoundedDigits(value, decimals, intDigits, fracDigits);

    // The minimum number of integer digits: the placeholders from the first '0' to the point.
    int placeholders = 0;
    int minDigits = 0;
    bool seenZero = false;
    for (const Piece& p : intPart) {
        if (!p.placeholder) continue;
        ++placeholders;
        if (p.c == QLatin1Char('0')) seenZero = true;
        if (seenZero) ++minDigits;
    }
    while (intDigits.size() < minDigits)
        intDigits.prepend(QLatin1Char('0'));

    // Trailing '#' places drop trailing zeros of the fraction.
    int shownDecimals = decimals;
    {
        int optionalTail = 0;
        for (qsizetype k = fracPart.size() - 1; k >= 0; --k) {
            if (!fracPart[k].placeholder) continue;
            if (fracPart[k].c != QLatin1Char('#')) break;
            ++optionalTail;
        }
        while (optionalTail > 0 && shownDecimals > 0 &&
               fracDigits[shownDecimals - 1] == QLatin1Char('0')) {
            --shownDecimals;
            --optionalTail;
        }
    }

    const bool negative = value < 0 && (intDigits.count(QLatin1Char('0')) != intDigits.size() ||
                                        fracDigits.count(QLatin1Char('0')) != fracDigits.size());

    QString out;
    if (negative) out.append(QLatin1Char('-'));
    // Integer section: digits right-aligned on the placeholders; surplus digits go to the first.
    int placeholderIndex = 0;
    const qsizetype surplus = intDigits.size() - placeholders;
    qsizetype next = 0;
    for (const Piece& p : intPart) {
        if (!p.placeholder) {
            out.append(p.c);
            continue;
        }
        qsizetype take = 1;
        if (placeholderIndex == 0 && surplus > 0) take = 1 + surplus;
        // Leading places with no digit to show stay empty.
        const qsizetype slotFromRight = placeholders - placeholderIndex; // 1-based
        if (surplus < 0 && slotFromRight > intDigits.size()) take = 0;
        out.append(intDigits.mid(next, take));
        next += take;
        ++placeholderIndex;
    }
    if (placeholders == 0) out.append(intDigits); // a pattern without integer places
    int fracIndex = 0;
    if (hasPoint && shownDecimals > 0) out.append(QLatin1Char('.'));
    for (const Piece& p : fracPart) {
        if (!p.placeholder) {
            out.append(p.c);
            continue;
        }
        if (fracIndex < shownDecimals) out.append(fracDigits[fracIndex]);
        ++fracIndex;
    }
    return out;
}
