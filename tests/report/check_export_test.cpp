#include "report/check_export.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

namespace {

TEST(ExportHeader, RatedValuesUseShortestNumbers) {
    ExportSettings s;
    s.U = 220;
    s.I = 5;
    EXPECT_EQ(RatedValuesLine(s), QStringLiteral("额定值(电压：220V; 电流：5A)"));
    s.U = 57.7;
    s.I = 1.5;
    EXPECT_EQ(RatedValuesLine(s), QStringLiteral("额定值(电压：57.7V; 电流：1.5A)"));
}

TEST(ExportHeader, AccuracyLineQuotesEveryClassInOrder) {
    ExportSettings s;
    s.JDU = 0.2;
    s.JDI = 0.5;
    s.JDF = 0.02;
    s.JDC = 1;
    s.JDP = 0.25;
    s.JDQ = 2;
    s.JDS = 0.1;
    EXPECT_EQ(AccuracyLine(s),
              QStringLiteral("准确度(电压：0.2级; 电流：0.5级; 频率：0.02Hz; 功率因数：1级; "
                             "有功功率：0.25级; 无功功率：2级; 视在功率：0.1级)"));
}

struct PointCase {
    ExportTestPoint point;
    const char16_t* line;
};

void PrintTo(const PointCase& c, std::ostream* os) {
    *os << c.point.voltage << ',' << c.point.current << ',' << c.point.angle << ','
        << c.point.frequency;
}

class TestConditions : public ::testing::TestWithParam<PointCase> {};

TEST_P(TestConditions, JoinsThePieceOfEachCheckedButton) {
    EXPECT_EQ(TestConditionsLine(GetParam().point), QString::fromUtf16(GetParam().line));
}

INSTANTIATE_TEST_SUITE_P(
    Report, TestConditions,
    ::testing::Values(
        PointCase{{0, 0, 0, 0}, u"检验条件(电压: 0%;电流: 0%;角度: 0°;频率: 45Hz)"},
        PointCase{{3, 3, 2, 1}, u"检验条件(电压: 100%;电流: 100%;角度: 60°;频率: 50Hz)"},
        PointCase{{4, 4, 5, 4}, u"检验条件(电压: 120%;电流: 120%;角度: 330°;频率: 65Hz)"},
        PointCase{{1, 1, 4, 2}, u"检验条件(电压: 10%;电流: 1%;角度: 300°;频率: 55Hz)"},
        PointCase{{2, 2, 3, 3}, u"检验条件(电压: 50%;电流: 50%;角度: 90°;频率: 60Hz)"},
        // a group without a checked button adds nothing, the others keep their pieces
        PointCase{{-1, 3, 1, 1}, u"电流: 100%;角度: 30°;频率: 50Hz)"},
        PointCase{{3, -1, -1, 0}, u"检验条件(电压: 100%;频率: 45Hz)"},
        PointCase{{5, 5, 6, 5}, u""}, // positions past the last button
        PointCase{{-1, -1, -1, -1}, u""}));

TEST(ExportFlow, RefusesGridsWithoutASecondDataRow) {
    // title, status and the first data row are always there; only four or more rows hold data
    for (int rows : {0, 1, 2, 3})
        EXPECT_FALSE(GridHasExportableData(rows)) << rows;
    for (int rows : {4, 5, 202})
        EXPECT_TRUE(GridHasExportableData(rows)) << rows;
    EXPECT_EQ(NoDataMessage(), QStringLiteral("无数据，不能导出保存！！"));
}

TEST(ExportFlow, ChosenNameGetsTheWorkbookSuffixOnlyWhenItHasNone) {
    EXPECT_EQ(WithExportSuffix(ProposedExportFileName()), QStringLiteral("Excel.xlsx"));
    EXPECT_EQ(WithExportSuffix(QStringLiteral("/tmp/a/report")),
              QStringLiteral("/tmp/a/report.xlsx"));
    EXPECT_EQ(WithExportSuffix(QStringLiteral("/tmp/a/report.")),
              QStringLiteral("/tmp/a/report.xlsx"));
    EXPECT_EQ(WithExportSuffix(QStringLiteral("/tmp/a.d/report")),
              QStringLiteral("/tmp/a.d/report.xlsx"));
    EXPECT_EQ(WithExportSuffix(QStringLiteral("/tmp/a/report.XLSX")),
              QStringLiteral("/tmp/a/report.XLSX"));
    EXPECT_EQ(WithExportSuffix(QString()), QString());
}

TEST(ExportFlow, AsksBeforeReplacingAnythingThatExists) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("Excel.xlsx"));
    EXPECT_FALSE(NeedsOverwriteQuestion(file));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_TRUE(NeedsOverwriteQuestion(file));
    EXPECT_TRUE(NeedsOverwriteQuestion(dir.path()));
    EXPECT_EQ(OverwriteQuestion(), QStringLiteral("文件已经存在,是否覆盖?"));
    EXPECT_EQ(OverwriteCaption(), QStringLiteral("导出提示"));
}

} // namespace
