#include "calib/configuration_download.h"

#include "common/conversion.h"
#include "link/modbus.h"
#include "store/database.h"

#include <QCoreApplication>
#include <QStringList>

std::vector<DownloadField> ConfigurationFieldTable() {
    std::vector<DownloadField> f;
    for (int n = 1; n <= 12; ++n) {
        const uint16_t reg = uint16_t(n <= 4 ? 260 + 2 * (n - 1) : 288 + 2 * (n - 5));
        f.push_back({QStringLiteral("时段%1时").arg(n), reg, FieldPart::HighByte});
        f.push_back({QStringLiteral("时段%1分").arg(n), reg, FieldPart::LowByte});
        f.push_back({QStringLiteral("时段%1费率号").arg(n), uint16_t(reg + 1), FieldPart::Word});
    }
    const auto add = [&](const char* name, int reg, FieldPart part, int scale = 1) {
        f.push_back({QString::fromUtf8(name), uint16_t(reg), part, scale});
    };
    add("抄表(日)", 268, FieldPart::HighByte);
    add("抄表(时)", 268, FieldPart::LowByte);
    add("脉冲输出方式", 270, FieldPart::Word);
    add("脉冲常数", 271, FieldPart::Word);
    add("启动电流", 272, FieldPart::Word);
    add("电压变比PT", 274, FieldPart::Word);
    add("电流变比CT", 275, FieldPart::Word);
    add("CT个数", 276, FieldPart::Word);
    add("谐波计算方式", 277, FieldPart::Word);
    add("过压限值", 279, FieldPart::Tenths);
    add("欠压限值", 280, FieldPart::Tenths);
    add("断相限值", 281, FieldPart::Tenths);
    add("过欠压/断相阀值", 282, FieldPart::Tenths);
    add("计算需量方式", 283, FieldPart::Word);
    add("费率数", 286, FieldPart::Word);
    add("时段数", 287, FieldPart::Word);
    add("电压额定值", kCalibrationBlockRegister, FieldPart::Rated32, kRatedVoltageScale);
    add("电流额定值", kCalibrationBlockRegister + 2, FieldPart::Rated32, kRatedCurrentScale);
    for (int n = 0; n < 3; ++n) {
        f.push_back(
            {QStringLiteral("产品序列号%1").arg(n + 1), uint16_t(11008 + n), FieldPart::Hex});
        f.push_back(
            {QStringLiteral("硬件版本号%1").arg(n + 1), uint16_t(11029 + n), FieldPart::Hex});
    }
    return f;
}

ConfigurationFields DefaultConfigurationFields() {
    ConfigurationFields f;
    static const int hours[] = {1, 7, 13, 19};
    for (int n = 0; n < 12; ++n)
        f.segments[std::size_t(n)] = {n < 4 ? hours[n] : 0, 0, n < 4 ? n + 1 : 0};
    f.readingDay = 1;
    f.readingHour = 1;
    f.tariffs = 4;
    f.segmentCount = 4;
    f.pulseMode = 0;
    f.pulseConstant = 3600;
    f.startCurrent = 10;
    f.pt = 1;
    f.ct = 1;
    f.ctCount = 0;
    f.harmonic = 0;
    f.overVoltage = 125;
    f.underVoltage = 70;
    f.phaseBreak = 50;
    f.threshold = 5;
    f.demandMethod = 0;
    return f;
}

void SetDefaultIdentity(CalibrationFields& f, const QDateTime& now) {
    const QDate date = now.date();
    const auto twoDigits = [](int v) {
        return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
    };
    f.ratedVoltage = 220;
    f.ratedCurrent = 5;
    f.serialNumbers = {QString::number(date.year() - 2000) + twoDigits(date.month()),
                       twoDigits(date.day()) + QStringLiteral("01"), QStringLiteral("0001")};
    f.hardwareVersions = {QStringLiteral("0001"), QStringLiteral("0002"), QStringLiteral("0003")};
}

bool SetSegmentField(std::array<TimeSegment, 12>& segments, const FieldRanges& r,
                     const QString& name, const QString& text) {
    for (int n = 1; n <= 12; ++n) {
        TimeSegment& s = segments[std::size_t(n - 1)];
        if (name == QStringLiteral("时段%1时").arg(n)) {
            s.hour = FieldToInt(name, text, r.hour);
            return true;
        }
        if (name == QStringLiteral("时段%1分").arg(n)) {
            s.minute = FieldToInt(name, text, r.minute);
            return true;
        }
        if (name == QStringLiteral("时段%1费率号").arg(n)) {
            s.tariff = FieldToInt(name, text, r.tariff);
            return true;
        }
    }
    return false;
}

bool SetConfigurationField(ConfigurationFields& f, CalibrationFields& c, const QString& name,
                           const QString& text, QString& error) {
    const FieldRanges& r = kModbusFieldRanges;
    // The lists of the page, by their number of choices.
    constexpr FieldRange kTwoChoices{0, 1};
    try {
        if (SetSegmentField(f.segments, r, name, text)) return true;
        for (int n = 1; n <= 3; ++n) {
            if (name == QStringLiteral("产品序列号%1").arg(n) ||
                name == QStringLiteral("硬件版本号%1").arg(n)) {
                HexWord(name, text); // refused here, where the name is known
                auto& list =
                    name.startsWith(QStringLiteral("产品")) ? c.serialNumbers : c.hardwareVersions;
                list[std::size_t(n - 1)] = text;
                return true;
            }
        }
        const struct {
            const char* name;
            int* field;
            FieldRange range;
        } ints[] = {{"抄表(日)", &f.readingDay, r.readingDay},
                    {"抄表(时)", &f.readingHour, r.readingHour},
                    {"脉冲输出方式", &f.pulseMode, kTwoChoices},
                    {"脉冲常数", &f.pulseConstant, r.pulseConstant},
                    {"启动电流", &f.startCurrent, r.startCurrent},
                    {"电压变比PT", &f.pt, r.pt},
                    {"电流变比CT", &f.ct, r.ct},
                    {"CT个数", &f.ctCount, kTwoChoices},
                    {"谐波计算方式", &f.harmonic, kTwoChoices},
                    {"过压限值", &f.overVoltage, r.limit},
                    {"欠压限值", &f.underVoltage, r.limit},
                    {"断相限值", &f.phaseBreak, r.limit},
                    {"过欠压/断相阀值", &f.threshold, r.limit},
                    {"计算需量方式", &f.demandMethod, kTwoChoices},
                    {"费率数", &f.tariffs, r.tariffs},
                    {"时段数", &f.segmentCount, r.segmentCount}};
        for (const auto& i : ints)
            if (name == QString::fromUtf8(i.name))
                return *i.field = FieldToInt(name, text, i.range), true;
        const struct {
            const char* name;
            double* field;
            int scale;
        } ratings[] = {{"电压额定值", &c.ratedVoltage, kRatedVoltageScale},
                       {"电流额定值", &c.ratedCurrent, kRatedCurrentScale}};
        for (const auto& i : ratings) {
            if (name != QString::fromUtf8(i.name)) continue;
            const double value = FieldToFloat(name, text);
            if (!RatingFits(value, i.scale))
                throw FieldError(name, text,
                                 QCoreApplication::translate("Conversion", "超出范围（0～%1）")
                                     .arg(FloatToText(2147483647.0 / i.scale)));
            *i.field = value;
            return true;
        }
    } catch (const ConversionError& e) {
        error = e.text();
        return false;
    }
    error = QStringLiteral("unknown field %1").arg(name);
    return false;
}

OutputList GatherOutputList(ProductDatabase& db, const QString& scheme) {
    OutputList list;
    QStringList names;
    if (!db.SelectSchemeParameters(scheme, names)) return list;
    list.selected = true;
    std::vector<uint16_t> addresses;
    for (const QString& name : names) {
        std::optional<OutputParameterRow> row;
        // A parameter missing from the catalogue has no address to publish: the list would
        // shift every later parameter, so the download fails instead.
        if (!db.SelectParameter(name.trimmed(), row) || !row) return list;
        for (int k = 0; k < row->parameter.zs; ++k)
            addresses.push_back(uint16_t(row->parameter.addr + k));
    }
    // Empty when there are more addresses than the module's list holds.
    list.block = OutputListBlock(addresses);
    return list;
}

DownloadResult WriteDownload(Link& link, uint8_t address, const ConfigurationBlocks& blocks,
                             const OutputList& list, DownloadProgress& progress,
                             DownloadOutcome& outcome) {
    progress.Step();
    if (!WriteConfigurationBlocks(link, address, blocks, progress, &outcome.blocksWritten))
        return DownloadResult::BlocksFailed;
    if (!list.selected) return DownloadResult::ListFailed;
    progress.Step();
    if (list.block.empty()) return DownloadResult::ListFailed;
    progress.Step();
    if (!WriteCalibrationRegisters(link, address, kOutputListRegister, uint16_t(list.block.size()),
                                   list.block))
        return DownloadResult::ListFailed;
    outcome.listWritten = true;
    progress.Step();
    progress.Wait(10);
    return DownloadResult::Done;
}

void VerifyDownload(Link& link, uint8_t address, std::size_t listWords,
                    const std::vector<DownloadField>& fields, DownloadOutcome& outcome,
                    const std::function<void(const QString&)>& log) {
    outcome.readBack = ReadBackDownload(link, address, listWords, outcome.held);
    if (!outcome.readBack) {
        log(QCoreApplication::translate("Configuration", "下载配置后读回失败"));
        return;
    }
    outcome.differences = CompareDownload(fields, outcome.written, outcome.held);
    for (const FieldDifference& d : outcome.differences)
        log(DifferenceLine(d));
}

QString DownloadMessage(const DownloadOutcome& o) {
    switch (o.result) {
    case DownloadResult::BlocksFailed:
        return QCoreApplication::translate("Configuration", "下载配置数据失败！");
    case DownloadResult::ListFailed:
        return QCoreApplication::translate("Configuration", "下载输出参数配置数据失败！");
    case DownloadResult::Done:
        break;
    }
    if (!o.readBack)
        return QCoreApplication::translate("Configuration", "下载配置数据后读回失败！");
    if (o.differences.empty())
        return QCoreApplication::translate("Configuration", "下载配置数据成功！");
    QStringList lines{QCoreApplication::translate("Configuration", "下载配置数据读回不一致！")};
    for (const FieldDifference& d : o.differences)
        lines << DifferenceLine(d);
    return lines.join(QLatin1Char('\n'));
}

QString DownloadDetails(const DownloadOutcome& o) {
    QString details = WordLines(QStringLiteral("written."), o.written) +
                      WordLines(QStringLiteral("read."), o.held);
    for (const FieldDifference& d : o.differences)
        details += QStringLiteral("diff.%1=写入 %2 读回 %3\n").arg(d.name, d.written, d.readBack);
    return details;
}
