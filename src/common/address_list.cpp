#include "common/address_list.h"

#include <QStringList>

namespace {

bool ParseAddress(const QString& text, int& address, QString& error) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    if (!ok || v < 1 || v > 255) {
        error = QStringLiteral("address \"%1\" is not 1..255").arg(text.trimmed());
        return false;
    }
    address = v;
    return true;
}

} // namespace

bool ParseAddressList(const QString& text, QList<int>& addresses, QString& error) {
    addresses.clear();
    QList<int> out;
    if (text.trimmed().isEmpty()) {
        error = QStringLiteral("empty address list");
        return false;
    }
    for (const QString& part : text.split(QLatin1Char(','))) {
        const qsizetype dash = part.indexOf(QLatin1Char('-'));
        int first = 0;
        int last = 0;
        if (dash < 0) {
            if (!ParseAddress(part, first, error)) return false;
            last = first;
        } else {
            if (!ParseAddress(part.left(dash), first, error) ||
                !ParseAddress(part.mid(dash + 1), last, error))
                return false;
            if (last < first) {
                error = QStringLiteral("address range \"%1\" runs backwards").arg(part.trimmed());
                return false;
            }
        }
        for (int a = first; a <= last; ++a) {
            if (out.contains(a)) {
                error = QStringLiteral("address %1 is given twice").arg(a);
                return false;
            }
            out.append(a);
        }
    }
    addresses = out;
    return true;
}
