#include "admin/admin_rules.h"

#include "admin_fixture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

// ---- Model names and new products ----------------------------------------------------------

struct NameCase {
    const char* entry;
    bool accepted;
};

class ModelNameRule : public testing::TestWithParam<NameCase> {};

TEST_P(ModelNameRule, FollowsTheExample) {
    EXPECT_EQ(IsValidModelName(QString::fromUtf8(GetParam().entry)), GetParam().accepted)
        << GetParam().entry;
}

INSTANTIATE_TEST_SUITE_P(
    Names, ModelNameRule,
    testing::Values(NameCase{"KX2953B35-01", true}, NameCase{"KX7410M31-01", true},
                    NameCase{"KX2953B35-0", true},         // only the tenth character is fixed
                    NameCase{"KXabcdefg-", true},          // ten characters are enough
                    NameCase{"KY2953B35-01", false},       // second character
                    NameCase{"XK2953B35-01", false},       // first character
                    NameCase{"kx2953B35-01", false},       // letter case counts
                    NameCase{"KX2953B35_01", false},       // no hyphen in tenth place
                    NameCase{"KX2953B3-01", false},        // hyphen in ninth place
                    NameCase{"KX2953", false},             // no tenth character
                    NameCase{"KX2953B35", false},          // nine characters
                    NameCase{" KX2953B35-01", false},      // blanks count where they stand
                    NameCase{"KX中文中文中文中-01", true}, // characters, not bytes
                    NameCase{"", false}));

struct ProductCase {
    const char* name;
    const char* pt;
    const char* ct;
    QString refusal; // empty: accepted; "conversion": a conversion error
};

class NewProductCheck : public testing::TestWithParam<ProductCase> {};

TEST_P(NewProductCheck, RefusesInTheOrderOfTheChecks) {
    const ProductCase& c = GetParam();
    ProductEntry entry;
    entry.name = QString::fromUtf8(c.name);
    entry.pt = QString::fromUtf8(c.pt);
    entry.ct = QString::fromUtf8(c.ct);
    bool conversion = false;
    const QString refusal = CheckNewProduct(entry, &conversion);
    if (c.refusal == QLatin1String("conversion")) {
        EXPECT_TRUE(conversion);
        EXPECT_FALSE(refusal.isEmpty());
    } else {
        EXPECT_FALSE(conversion);
        EXPECT_EQ(refusal, c.refusal) << c.name << " " << c.pt << " " << c.ct;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Entries, NewProductCheck,
    testing::Values(ProductCase{"KX2953B35-09", "1", "1", {}},
                    ProductCase{"KX2953B35-09", "5000", "9999", {}},
                    ProductCase{"KX2953B35-09", "00", "1", {}},     // only the text "0" is refused
                    ProductCase{"KX2953B35-09", "0x10", "$1F", {}}, // the runtime's number forms
                    ProductCase{"", "1", "1", AdminText::ProductIncomplete},
                    ProductCase{"KX2953B35-09", "", "1", AdminText::ProductIncomplete},
                    ProductCase{"KX2953B35-09", "1", "", AdminText::ProductIncomplete},
                    ProductCase{"KX2953B35-09", "0", "1", AdminText::RatioZero},
                    ProductCase{"KX2953B35-09", "1", "0", AdminText::RatioZero},
                    ProductCase{"KY2953", "0", "1", AdminText::RatioZero}, // zero before the name
                    ProductCase{"KY2953B35-01", "1", "1", AdminText::ModelNameFormat},
                    ProductCase{"KX2953B35_01", "1", "1", AdminText::ModelNameFormat},
                    ProductCase{"KX2953", "1", "1", AdminText::ModelNameFormat},
                    ProductCase{"KX2953", "abc", "1",
                                AdminText::ModelNameFormat}, // name before numbers
                    ProductCase{"KX2953B35-09", "abc", "1", QStringLiteral("conversion")},
                    ProductCase{"KX2953B35-09", "1", "1.5", QStringLiteral("conversion")},
                    ProductCase{"KX2953B35-09", " ", "1", QStringLiteral("conversion")}));

TEST(ProductOfEntry, TrimsNamesAndConvertsRatios) {
    ProductEntry e{QStringLiteral("  KX2953B35-09 "),
                   QStringLiteral(" 亚奥方式 "),
                   1,
                   2,
                   QStringLiteral("0x10"),
                   QStringLiteral("00"),
                   1,
                   1};
    const ProductModel m = ProductOfEntry(e);
    EXPECT_EQ(m.cpxh, QStringLiteral("KX2953B35-09"));
    EXPECT_EQ(m.fs, QStringLiteral("亚奥方式"));
    EXPECT_EQ(m.upt, 16);
    EXPECT_EQ(m.ict, 0);
    EXPECT_EQ(m.btlgs, 1);
    EXPECT_EQ(m.jxms, 2);
}

// ---- Grid -----------------------------------------------------------------------------------

TEST(Protocols, NamesAndNumbersBothWays) {
    const QStringList names = ProtocolNames();
    ASSERT_EQ(names, (QStringList{"ModBus_RTU", "DLT645-1997", "DLT645-2007",
                                  QStringLiteral("亚奥协议"), QStringLiteral("大唐协议")}));
    for (int i = 0; i < names.size(); ++i) {
        EXPECT_EQ(ProtocolName(i), names[i]);
        EXPECT_EQ(ProtocolNumber(names[i]), i);
    }
    EXPECT_EQ(ProtocolName(-1), QString());
    EXPECT_EQ(ProtocolName(5), QString());
    EXPECT_EQ(ProtocolNumber(QStringLiteral("modbus_rtu")), -1);
}

TEST(GridLayout, FixedCellsAndDropDownLists) {
    const QStringList flags{"0xAA55", "0x0000"};
    for (int row = 0; row < kGridRows; ++row)
        for (int column = 0; column < kGridColumns; ++column) {
            const bool fixed = row == 0 || column == 0 || (row == 2 && column >= 2);
            EXPECT_EQ(IsGridFixedCell(row, column), fixed) << row << "," << column;
            QStringList expected;
            if (row == 1 && column >= 2 && column % 2 == 0) expected = flags;
            if (row == 3 && column >= 5) expected = flags;
            if (row == 3 && column == 3) expected = ProtocolNames();
            EXPECT_EQ(GridCellList(row, column), expected) << row << "," << column;
        }
    EXPECT_EQ(GridHeadings(0).size(), 8);
    EXPECT_EQ(GridHeadings(0).first(), QStringLiteral("方式(修改/新建)"));
    EXPECT_EQ(GridHeadings(2).last(), QStringLiteral("功率因数方向使能"));
}

namespace {
SchemeCells GoodCells(const QString& protocol = QStringLiteral("ModBus_RTU")) {
    SchemeCells c;
    c.values[0] = {"0xAA55", "10", "0x0000", "1", "0xAA55", "100", "0x0000"};
    c.values[1] = {"1000", protocol, "80", "0x0000", "0xAA55", "0x0000", "0xAA55"};
    return c;
}
} // namespace

TEST(SchemeCellsRoundTrip, CellsOfAStoredSchemeGiveItBack) {
    Scheme s;
    s.fs = QStringLiteral("方式");
    s.ublfx = "0xAA55";
    s.ubl = 10;
    s.iblfx = "43605";
    s.ibl = 2;
    s.pblfx = "0x0000";
    s.pbl = 3;
    s.eblfx = "0xAA55";
    s.ebl = 4;
    s.txxy = 4;
    s.sdbjxs = 85;
    s.cslxsn = "0xAA55";
    s.fdbdsn = "0x0000";
    s.csfhsn = "0xAA55";
    s.glysfxsn = "0x0000";
    const SchemeCells cells = CellsOfScheme(s);
    EXPECT_EQ(cells.at(1, 4), QStringLiteral("43605")); // a direction shows as stored
    EXPECT_EQ(cells.at(3, 3), QStringLiteral("大唐协议"));
    const Scheme back = SchemeOfCells(QStringLiteral(" 方式 "), cells);
    EXPECT_EQ(back.fs, s.fs);
    EXPECT_EQ(back.ubl, 10);
    EXPECT_EQ(back.iblfx, s.iblfx);
    EXPECT_EQ(back.ebl, 4);
    EXPECT_EQ(back.txxy, 4);
    EXPECT_EQ(back.sdbjxs, 85);
    EXPECT_EQ(back.glysfxsn, s.glysfxsn);
    s.txxy = 9;
    EXPECT_EQ(CellsOfScheme(s).at(3, 3), QString());
}

TEST(SchemeCellsRoundTrip, NumberCellsTakeTheRuntimeForms) {
    SchemeCells c = GoodCells();
    c.at(1, 3) = QStringLiteral(" 0x10");
    c.at(3, 4) = QStringLiteral("$1F");
    c.at(1, 2) = QStringLiteral(" 0xAA55 ");
    const Scheme s = SchemeOfCells(QStringLiteral("x"), c);
    EXPECT_EQ(s.ubl, 16);
    EXPECT_EQ(s.sdbjxs, 31);
    EXPECT_EQ(s.ublfx, QStringLiteral("0xAA55"));
}

class WithDatabase : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.ok()) << folder.openError().toStdString(); }
    AdminFolder folder;
    const QStringList some{QStringLiteral("A相电压"), QStringLiteral("总有功功率")};
};

class SchemeCheck : public WithDatabase {};

TEST_F(SchemeCheck, AcceptsACompleteScheme) {
    EXPECT_EQ(CheckScheme(folder.db(), GoodCells(), some), QString());
}

struct CellCase {
    int row;
    int column;
    const char* text;
    bool conversion; // false: the empty-cell message
};

class SchemeCellCheck : public WithDatabase, public testing::WithParamInterface<CellCase> {};

TEST_P(SchemeCellCheck, RefusesAnEmptyOrNonNumberCell) {
    SchemeCells cells = GoodCells();
    cells.at(GetParam().row, GetParam().column) = QString::fromUtf8(GetParam().text);
    bool conversion = false;
    const QString refusal = CheckScheme(folder.db(), cells, some, &conversion);
    EXPECT_EQ(conversion, GetParam().conversion);
    if (GetParam().conversion)
        EXPECT_FALSE(refusal.isEmpty());
    else
        EXPECT_EQ(refusal, AdminText::EmptyCell);
}

INSTANTIATE_TEST_SUITE_P(Cells, SchemeCellCheck,
                         testing::Values(CellCase{1, 2, "", false}, CellCase{1, 8, "", false},
                                         CellCase{3, 2, "", false}, CellCase{3, 3, "", false},
                                         CellCase{3, 8, "", false}, CellCase{1, 3, "ten", true},
                                         CellCase{1, 5, "1.5", true}, CellCase{1, 7, "1e3", true},
                                         CellCase{3, 2, "12abc", true}, CellCase{3, 4, " ", true}));

TEST_F(SchemeCheck, NoParametersComesFirst) {
    SchemeCells cells = GoodCells();
    cells.at(1, 2).clear();
    EXPECT_EQ(CheckScheme(folder.db(), cells, {}), AdminText::NoParameters);
}

TEST_F(SchemeCheck, EmptyCellComesBeforeANonNumber) {
    SchemeCells cells = GoodCells();
    cells.at(1, 3) = QStringLiteral("ten");
    cells.at(3, 8).clear();
    EXPECT_EQ(CheckScheme(folder.db(), cells, some), AdminText::EmptyCell);
}

struct LimitCase {
    int extraRegisters; // one added catalogue entry of this size, beside the others listed
    const char* protocol;
    bool refused;
};

class YaaoLimit : public WithDatabase, public testing::WithParamInterface<LimitCase> {};

// A 亚奥 scheme may hold at most 127 registers; other protocols have no limit here.
TEST_P(YaaoLimit, CountsTheRegistersOfTheList) {
    ASSERT_TRUE(folder.AddParameter(QStringLiteral("大块"), GetParam().extraRegisters));
    // 总有功功率 2 + 日期时间 3 + A相电压 1 = 6 registers beside the added one.
    const QStringList list{QStringLiteral("总有功功率"), QStringLiteral("大块"),
                           QStringLiteral("日期时间"), QStringLiteral("A相电压")};
    int count = 0;
    ASSERT_TRUE(CountRegisters(folder.db(), list, count));
    EXPECT_EQ(count, GetParam().extraRegisters + 6);
    const QString refusal =
        CheckScheme(folder.db(), GoodCells(QString::fromUtf8(GetParam().protocol)), list);
    EXPECT_EQ(refusal, GetParam().refused ? AdminText::YaaoTooManyRegisters : QString());
}

INSTANTIATE_TEST_SUITE_P(Registers, YaaoLimit,
                         testing::Values(LimitCase{121, "亚奥协议", false},
                                         LimitCase{122, "亚奥协议", true},
                                         LimitCase{200, "亚奥协议", true},
                                         LimitCase{122, "ModBus_RTU", false},
                                         LimitCase{200, "大唐协议", false}));

TEST_F(SchemeCheck, UnknownParametersCountNothing) {
    int count = -1;
    ASSERT_TRUE(
        CountRegisters(folder.db(), {QStringLiteral("没有"), QStringLiteral("日期时间")}, count));
    EXPECT_EQ(count, 3);
}

TEST_F(SchemeCheck, AFailedRegisterQueryUsesTheHalfWidthMessage) {
    folder.db().SetFaultHook([](int statement) { return statement == 5; });
    EXPECT_EQ(CheckScheme(folder.db(), GoodCells(QStringLiteral("亚奥协议")), some),
              AdminText::DatabaseFailedHalf);
    // Other protocols do not count, so they do not ask.
    EXPECT_EQ(CheckScheme(folder.db(), GoodCells(), some), QString());
}

// ---- Login ----------------------------------------------------------------------------------

struct LoginCase {
    const char* user;
    const char* password;
    LoginResult result;
};

class LoginCheck : public WithDatabase, public testing::WithParamInterface<LoginCase> {};

TEST_P(LoginCheck, AgainstTheAccountTable) {
    EXPECT_EQ(CheckLogin(folder.db(), QString::fromUtf8(GetParam().user),
                         QString::fromUtf8(GetParam().password)),
              GetParam().result)
        << GetParam().user << " / " << GetParam().password;
}

INSTANTIATE_TEST_SUITE_P(
    Accounts, LoginCheck,
    testing::Values(LoginCase{"admin", "admin123", LoginResult::Success},
                    LoginCase{"  admin\t", " admin123  ", LoginResult::Success},
                    LoginCase{"admin", "admin", LoginResult::WrongPassword},
                    LoginCase{"admin", "", LoginResult::WrongPassword},
                    LoginCase{"nobody", "admin123", LoginResult::UnknownUser},
                    LoginCase{"", "", LoginResult::UnknownUser},
                    LoginCase{"ad'min", "x", LoginResult::UnknownUser},
                    // Injection strings are names and passwords like any other.
                    LoginCase{"' or '1'='1", "' or '1'='1", LoginResult::UnknownUser},
                    LoginCase{"admin' --", "", LoginResult::UnknownUser},
                    LoginCase{"admin", "' or '1'='1", LoginResult::WrongPassword},
                    LoginCase{"admin", "x' or 'a'='a", LoginResult::WrongPassword}));

class LoginFailure : public WithDatabase {};

TEST_F(LoginFailure, ADatabaseFailureOfEitherQuery) {
    for (int failing : {23, 24}) {
        folder.db().SetFaultHook([failing](int statement) { return statement == failing; });
        EXPECT_EQ(CheckLogin(folder.db(), QStringLiteral("admin"), QStringLiteral("admin123")),
                  LoginResult::DatabaseError)
            << failing;
    }
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the database's connections need an application
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
