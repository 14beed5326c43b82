// The seed tables are the module's register map and the database's catalogue at once: they
// must be consistent with the host's check table, its decoding and its DL/T 645 templates.

#include "model_test_support.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>
#include <QStringConverter>

namespace {

const QSet<QString>& CheckQuantities() {
    static const QSet<QString> names{"P总", "Pa", "Pb", "Pc",  "Q总", "Qa",  "Qb",  "Qc", "S总",
                                     "Sa",  "Sb", "Sc", "C总", "Ca",  "Cb",  "Cc",  "Ua", "Ub",
                                     "Uc",  "Ia", "Ib", "Ic",  "F",   "Uab", "Ubc", "Uca"};
    return names;
}

const QStringList kTemplates{"XXXXXXXXXXXX",
                             "XXXXXX.XX",
                             "XXXXXX",
                             "XX.XXXX",
                             "XXXXX.X",
                             "XXXX",
                             "X.XXX",
                             "XX.XX",
                             "XXX.X",
                             "XX",
                             "MMDDHHmm",
                             "YYMMDDWW",
                             "hhmmss",
                             "DDhh",
                             "MMDDNN",
                             "hhmmNN",
                             "XXX",
                             "07XXX.XXX YYMMDDHHmm",
                             "07XX.XXXX YYMMDDHHmm",
                             "XXX.XXX",
                             "5XXXXXX.XX",
                             "4XX.XXXX",
                             "4X.XXX",
                             "3XXX.X",
                             "3XXX.XXX",
                             "5XX.XXXX",
                             "12XXXXXX.XX",
                             "5MMDDHHmm",
                             "07XX.XXXX",
                             "074XX.XXXX",
                             "07X.XXX",
                             "074X.XXX",
                             "31XX.XX",
                             "3XXXX",
                             "075XX.XXXX YYMMDDHHmm"};

// Templates that give one number, the only ones a check can judge.
const QStringList kNumberTemplates{"XXXXXX.XX", "XX.XXXX", "XXXXX.X", "X.XXX",     "XX.XX",
                                   "XXX.X",     "XXX",     "XXX.XXX", "07XX.XXXX", "07X.XXX"};

QList<OutputParameter> Catalogue() {
    return LoadOutputCatalogue(QDir(DataDir()).filePath(kOutparFile));
}
QList<Dlt645Item> Items(const char* file) {
    return LoadDlt645Items(QDir(DataDir()).filePath(file));
}

TEST(DataFiles, CatalogueCheckNamesAreKnownAndAllAreCovered) {
    QSet<QString> seen;
    for (const OutputParameter& p : Catalogue()) {
        if (p.checkmc.isEmpty()) continue;
        EXPECT_TRUE(CheckQuantities().contains(p.checkmc)) << p.checkmc.toStdString();
        EXPECT_FALSE(seen.contains(p.checkmc)) << "twice: " << p.checkmc.toStdString();
        seen.insert(p.checkmc);
    }
    EXPECT_EQ(seen, CheckQuantities());
}

TEST(DataFiles, CatalogueRowsHaveSoundLayouts) {
    static const QStringList units{"V", "A", "W", "Var", "VA", "kWh", "kVarh"};
    QSet<QString> names;
    std::map<int, QString> owner;
    for (const OutputParameter& p : Catalogue()) {
        const std::string n = p.csmc.toStdString();
        EXPECT_FALSE(names.contains(p.csmc)) << n;
        names.insert(p.csmc);
        EXPECT_TRUE(p.fh == 0 || p.fh == 1) << n;
        if (p.bl == 1 || p.bl == 2)
            EXPECT_EQ(p.zs, 1) << n;
        else if (p.bl == 3)
            EXPECT_EQ(p.zs, 3) << n;
        else {
            EXPECT_TRUE(p.zs == 1 || p.zs == 2) << n;
            EXPECT_GT(p.bl, 3) << n; // a divisor; 1..3 are the special kinds
            EXPECT_TRUE(units.contains(p.dw) || p.dw.contains('0')) << n;
        }
        for (int a = p.addr; a < p.addr + p.zs; ++a) {
            EXPECT_FALSE(owner.count(a)) << n << " overlaps " << owner[a].toStdString();
            owner[a] = p.csmc;
            const bool reserved = (a >= 257 && a <= 303) || a == 512 || a == 513 ||
                                  (a >= 1000 && a <= 1194) || (a >= 7035 && a <= 7056) ||
                                  a >= 10000;
            EXPECT_FALSE(reserved) << n << " at " << a;
        }
    }
    EXPECT_TRUE(names.contains("A相电压"));
}

TEST(DataFiles, CatalogueHasEveryKindOfValue) {
    bool grid = false, bits = false, date = false, kwh = false, kvarh = false, pattern = false;
    for (const OutputParameter& p : Catalogue()) {
        grid |= p.bl == 1;
        bits |= p.bl == 2;
        date |= p.bl == 3;
        kwh |= p.dw == "kWh" && p.zs == 2;
        kvarh |= p.dw == "kVarh" && p.zs == 2;
        pattern |= p.dw.contains('0') && p.bl > 3;
    }
    EXPECT_TRUE(grid && bits && date && kwh && kvarh && pattern);
}

TEST(DataFiles, ItemTablesAreWellFormed) {
    const struct {
        const char* file;
        QRegularExpression infonum;
    } tables[] = {{kDlt645Items1997File, QRegularExpression("^0x[0-9A-F]{4}$")},
                  {kDlt645Items2007File, QRegularExpression("^0x[0-9A-F]{8}$")}};
    for (const auto& t : tables) {
        QSet<QString> ids;
        for (const Dlt645Item& item : Items(t.file)) {
            const std::string n = item.csmc.toStdString();
            EXPECT_TRUE(t.infonum.match(item.infonum).hasMatch()) << item.infonum.toStdString();
            EXPECT_FALSE(ids.contains(item.infonum)) << item.infonum.toStdString();
            ids.insert(item.infonum);
            EXPECT_TRUE(kTemplates.contains(item.dataFormat)) << n;
            if (!item.checkmc.isEmpty()) {
                EXPECT_TRUE(CheckQuantities().contains(item.checkmc)) << n;
                EXPECT_TRUE(kNumberTemplates.contains(item.dataFormat)) << n;
            }
        }
    }
}

TEST(DataFiles, EveryTemplateIsUsed) {
    QSet<QString> used;
    for (const char* f : {kDlt645Items1997File, kDlt645Items2007File})
        for (const Dlt645Item& item : Items(f))
            used.insert(item.dataFormat);
    for (const QString& t : kTemplates)
        EXPECT_TRUE(used.contains(t)) << t.toStdString();
}

// The host names the rows of multi-row items from GBK byte slices of the item name; the
// slices must fall on whole characters.
TEST(DataFiles, MultiRowNamesSliceOnWholeCharacters) {
    QStringEncoder toGbk("GBK");
    QStringDecoder fromGbk("GBK");
    if (!toGbk.isValid() || !fromGbk.isValid()) GTEST_SKIP() << "no GBK codec";
    int multi = 0;
    for (const char* f : {kDlt645Items1997File, kDlt645Items2007File})
        for (const Dlt645Item& item : Items(f)) {
            const QByteArray gbk = toGbk(item.csmc);
            QByteArray slice;
            if (item.dataFormat == "12XXXXXX.XX")
                slice = gbk.mid(9, 12);
            else if (item.dataFormat == "31XX.XX")
                slice = gbk.mid(0, 7);
            else
                continue;
            ++multi;
            const QString text = fromGbk(slice);
            EXPECT_FALSE(fromGbk.hasError()) << item.csmc.toStdString();
            EXPECT_EQ(toGbk(text), slice) << item.csmc.toStdString();
            if (item.dataFormat == "31XX.XX")
                EXPECT_TRUE(QRegularExpression("^[ABC]相电[压流]$").match(text).hasMatch())
                    << text.toStdString();
            else
                EXPECT_EQ(text.size(), 6) << text.toStdString();
        }
    EXPECT_GE(multi, 3);
}

} // namespace
