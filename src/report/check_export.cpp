#include "check_export.h"

#include "common/conversion.h"

#include <QFileInfo>
#include <array>

namespace {

template <std::size_t N> QString Piece(const std::array<const char16_t*, N>& pieces, int index) {
    if (index < 0 || index >= static_cast<int>(N)) return {};
    return QString::fromUtf16(pieces[static_cast<std::size_t>(index)]);
}

const std::array<const char16_t*, 5> kVoltagePieces = {
    u"检验条件(电压: 0%;",   u"检验条件(电压: 10%;",  u"检验条件(电压: 50%;",
    u"检验条件(电压: 100%;", u"检验条件(电压: 120%;",
};
const std::array<const char16_t*, 5> kCurrentPieces = {
    u"电流: 0%;", u"电流: 1%;", u"电流: 50%;", u"电流: 100%;", u"电流: 120%;",
};
const std::array<const char16_t*, 6> kAnglePieces = {
    u"角度: 0°;", u"角度: 30°;", u"角度: 60°;", u"角度: 90°;", u"角度: 300°;", u"角度: 330°;",
};
const std::array<const char16_t*, 5> kFrequencyPieces = {
    u"频率: 45Hz)", u"频率: 50Hz)", u"频率: 55Hz)", u"频率: 60Hz)", u"频率: 65Hz)",
};

} // namespace

QString RatedValuesLine(const ExportSettings& s) {
    return QStringLiteral("额定值(电压：") + FloatToText(s.U) + QStringLiteral("V; 电流：") +
           FloatToText(s.I) + QStringLiteral("A)");
}

QString AccuracyLine(const ExportSettings& s) {
    return QStringLiteral("准确度(电压：") + FloatToText(s.JDU) + QStringLiteral("级; 电流：") +
           FloatToText(s.JDI) + QStringLiteral("级; 频率：") + FloatToText(s.JDF) +
           QStringLiteral("Hz; 功率因数：") + FloatToText(s.JDC) +
           QStringLiteral("级; 有功功率：") + FloatToText(s.JDP) +
           QStringLiteral("级; 无功功率：") + FloatToText(s.JDQ) +
           QStringLiteral("级; 视在功率：") + FloatToText(s.JDS) + QStringLiteral("级)");
}

QString TestConditionsLine(const ExportTestPoint& p) {
    return Piece(kVoltagePieces, p.voltage) + Piece(kCurrentPieces, p.current) +
           Piece(kAnglePieces, p.angle) + Piece(kFrequencyPieces, p.frequency);
}

ExportHeaderLines BuildHeaderLines(const ExportSettings& settings, const ExportTestPoint& point) {
    return {RatedValuesLine(settings), AccuracyLine(settings), TestConditionsLine(point)};
}

bool GridHasExportableData(int gridRowCount) {
    return gridRowCount >= 4;
}

QString NoDataMessage() {
    return QStringLiteral("无数据，不能导出保存！！");
}
QString ProposedExportFileName() {
    return QStringLiteral("Excel.xlsx");
}
QString ExportDefaultSuffix() {
    return QStringLiteral("xlsx");
}
QString ExportFileFilter() {
    return QStringLiteral("Excel 工作簿 (*.xlsx)");
}
QString OverwriteQuestion() {
    return QStringLiteral("文件已经存在,是否覆盖?");
}
QString OverwriteCaption() {
    return QStringLiteral("导出提示");
}
QString ExportSucceededMessage() {
    return QStringLiteral("数据导出成功！");
}
QString ExportFailedMessage() {
    return QStringLiteral("数据导出失败！！");
}

QString WithExportSuffix(const QString& chosenPath) {
    if (chosenPath.isEmpty() || !QFileInfo(chosenPath).suffix().isEmpty()) return chosenPath;
    // "name." has an empty suffix too; do not make it "name..xlsx".
    if (chosenPath.endsWith(QLatin1Char('.'))) return chosenPath + ExportDefaultSuffix();
    return chosenPath + QLatin1Char('.') + ExportDefaultSuffix();
}

bool NeedsOverwriteQuestion(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}
