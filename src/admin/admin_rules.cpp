#include "admin/admin_rules.h"

#include "common/conversion.h"

#include <optional>

LoginResult CheckLogin(ProductDatabase& db, const QString& user, const QString& password) {
    const QString name = user.trimmed();
    std::optional<UserAccount> account;
    if (!db.SelectUser(name, account)) return LoginResult::DatabaseError;
    if (!account) return LoginResult::UnknownUser;
    bool matches = false;
    if (!db.MatchLogin(name, password.trimmed(), matches)) return LoginResult::DatabaseError;
    return matches ? LoginResult::Success : LoginResult::WrongPassword;
}

QStringList FlagItems() {
    return {QString::fromLatin1(kFlagOnText), QString::fromLatin1(kFlagOffText)};
}

QStringList ProtocolNames() {
    return {QStringLiteral("ModBus_RTU"), QStringLiteral("DLT645-1997"),
            QStringLiteral("DLT645-2007"), QStringLiteral("亚奥协议"), QStringLiteral("大唐协议")};
}

QString ProtocolName(int txxy) {
    const QStringList names = ProtocolNames();
    return txxy >= 0 && txxy < names.size() ? names[txxy] : QString();
}

int ProtocolNumber(const QString& name) {
    return static_cast<int>(ProtocolNames().indexOf(name));
}

QString& SchemeCells::at(int row, int column) {
    return values[row == 1 ? 0 : 1][column - 2];
}

const QString& SchemeCells::at(int row, int column) const {
    return values[row == 1 ? 0 : 1][column - 2];
}

SchemeCells CellsOfScheme(const Scheme& s) {
    SchemeCells c;
    c.values[0] = {s.ublfx, QString::number(s.ubl), s.iblfx, QString::number(s.ibl),
                   s.pblfx, QString::number(s.pbl), s.eblfx};
    c.values[1] = {QString::number(s.ebl),
                   ProtocolName(s.txxy),
                   QString::number(s.sdbjxs),
                   s.cslxsn,
                   s.fdbdsn,
                   s.csfhsn,
                   s.glysfxsn};
    return c;
}

Scheme SchemeOfCells(const QString& name, const SchemeCells& c) {
    const auto text = [&](int row, int column) { return c.at(row, column).trimmed(); };
    const auto number = [&](int row, int column) { return StrToInt(c.at(row, column)); };
    Scheme s;
    s.fs = name.trimmed();
    s.ublfx = text(1, 2);
    s.ubl = number(1, 3);
    s.iblfx = text(1, 4);
    s.ibl = number(1, 5);
    s.pblfx = text(1, 6);
    s.pbl = number(1, 7);
    s.eblfx = text(1, 8);
    s.ebl = number(3, 2);
    s.txxy = ProtocolNumber(text(3, 3));
    s.sdbjxs = number(3, 4);
    s.cslxsn = text(3, 5);
    s.fdbdsn = text(3, 6);
    s.csfhsn = text(3, 7);
    s.glysfxsn = text(3, 8);
    return s;
}

bool CountRegisters(ProductDatabase& db, const QStringList& parameters, int& count) {
    count = 0;
    for (const QString& name : parameters) {
        std::optional<OutputParameterRow> row;
        if (!db.SelectParameter(name, row)) return false;
        if (row) count += row->parameter.zs;
    }
    return true;
}

QString CheckScheme(ProductDatabase& db, const SchemeCells& cells, const QStringList& parameters,
                    bool* conversion) {
    if (conversion) *conversion = false;
    if (parameters.isEmpty()) return AdminText::NoParameters;
    for (int column = 2; column <= 8; ++column)
        if (cells.at(1, column).isEmpty() || cells.at(3, column).isEmpty())
            return AdminText::EmptyCell;
    // Every number is read before anything is written, so a typing error cannot leave a
    // scheme half-saved.
    try {
        SchemeOfCells(QStringLiteral("-"), cells);
    } catch (const ConversionError& e) {
        if (conversion) *conversion = true;
        return e.text();
    }
    if (cells.at(3, 3) == ProtocolName(kYaaoProtocol)) {
        int registers = 0;
        if (!CountRegisters(db, parameters, registers)) return AdminText::DatabaseFailedHalf;
        if (registers > kYaaoMaxRegisters) return AdminText::YaaoTooManyRegisters;
    }
    return QString();
}

bool IsValidModelName(const QString& entry) {
    return entry.size() >= 10 && entry[0] == QLatin1Char('K') && entry[1] == QLatin1Char('X') &&
           entry[9] == QLatin1Char('-');
}

QString CheckNewProduct(const ProductEntry& entry, bool* conversion) {
    if (conversion) *conversion = false;
    if (entry.name.isEmpty() || entry.pt.isEmpty() || entry.ct.isEmpty())
        return AdminText::ProductIncomplete;
    if (entry.pt == QLatin1String("0") || entry.ct == QLatin1String("0"))
        return AdminText::RatioZero;
    if (!IsValidModelName(entry.name)) return AdminText::ModelNameFormat;
    try {
        ProductOfEntry(entry);
    } catch (const ConversionError& e) {
        if (conversion) *conversion = true;
        return e.text();
    }
    return QString();
}

ProductModel ProductOfEntry(const ProductEntry& entry) {
    ProductModel m;
    m.cpxh = entry.name.trimmed();
    m.fs = entry.scheme.trimmed();
    m.btlgs = entry.btlgs;
    m.jxms = entry.jxms;
    m.upt = StrToInt(entry.pt);
    m.ict = StrToInt(entry.ct);
    m.ctnum = entry.ctnum;
    m.xljsfs = entry.xljsfs;
    return m;
}

bool IsGridFixedCell(int row, int column) {
    return row == 0 || column == 0 || (row == 2 && column >= 2);
}

QStringList GridCellList(int row, int column) {
    if (row == 1 && (column == 2 || column == 4 || column == 6 || column == 8)) return FlagItems();
    if (row == 3 && column >= 5 && column <= 8) return FlagItems();
    if (row == 3 && column == 3) return ProtocolNames();
    return {};
}

QStringList GridHeadings(int row) {
    if (row == 0)
        return {QCoreApplication::translate("Admin", "方式(修改/新建)"),
                QCoreApplication::translate("Admin", "电压倍率方向"),
                QCoreApplication::translate("Admin", "电压倍率"),
                QCoreApplication::translate("Admin", "电流倍率方向"),
                QCoreApplication::translate("Admin", "电流倍率"),
                QCoreApplication::translate("Admin", "功率倍率方向"),
                QCoreApplication::translate("Admin", "功率倍率"),
                QCoreApplication::translate("Admin", "电能倍率方向")};
    if (row == 2)
        return {QString(),
                QCoreApplication::translate("Admin", "电能倍率"),
                QCoreApplication::translate("Admin", "通讯协议"),
                QCoreApplication::translate("Admin", "市电报警系数"),
                QCoreApplication::translate("Admin", "参数类型使能"),
                QCoreApplication::translate("Admin", "分段标定使能"),
                QCoreApplication::translate("Admin", "参数符号位使能"),
                QCoreApplication::translate("Admin", "功率因数方向使能")};
    return {};
}
