#include "store/settings.h"

#include "common/conversion.h"
#include "store/ini_file.h"

#include <QCoreApplication>
#include <QDir>

namespace {
const QString kSetCom = QStringLiteral("SetCom");
const QString kSetCheck = QStringLiteral("SetCheck");
const QString kSysInfo = QStringLiteral("SysInfo");

// The text of a key that must be present.
QString RequiredText(const QString& dir, const QString& section, const QString& key) {
    const QString path = SettingsPath(dir);
    const IniValue v = ReadIniValue(path, section, key);
    if (!v.found)
        throw ConversionError(QStringLiteral("%1: key %2 of section [%3] is missing ('' is not a "
                                             "valid value)")
                                  .arg(QDir::toNativeSeparators(path), key, section));
    return v.text;
}

// Adds the file and the key to the conversion's own message.
template <typename Convert>
auto Converted(const QString& dir, const QString& section, const QString& key, Convert convert) {
    const QString text = RequiredText(dir, section, key);
    try {
        return convert(text);
    } catch (const ConversionError& e) {
        throw ConversionError(
            QStringLiteral("%1: [%2] %3: %4")
                .arg(QDir::toNativeSeparators(SettingsPath(dir)), section, key, e.text()));
    }
}

int ReadInt(const QString& dir, const QString& section, const QString& key) {
    return Converted(dir, section, key, [](const QString& t) { return StrToInt(t); });
}

double ReadReal(const QString& dir, const QString& section, const QString& key) {
    return Converted(dir, section, key, [](const QString& t) { return StrToFloat(t); });
}
} // namespace

QString SettingsPath(const QString& dir) {
    return QDir(dir).filePath(kSettingsFile);
}

SavedSerialSettings LoadSerialSettings(const QString& dir) {
    SavedSerialSettings s;
    s.port = ReadInt(dir, kSetCom, "port");
    s.baudrate = ReadInt(dir, kSetCom, "baudrate");
    s.parity = ReadInt(dir, kSetCom, "parity");
    s.databit = ReadInt(dir, kSetCom, "databit");
    s.stopbits = ReadInt(dir, kSetCom, "stopbits");
    s.address = ReadInt(dir, kSetCom, "address");
    return s;
}

namespace {
QList<QPair<QString, QString>> SerialKeys(const SavedSerialSettings& s) {
    const auto n = [](int v) { return QString::number(v); };
    return {{"port", n(s.port)},       {"baudrate", n(s.baudrate)}, {"parity", n(s.parity)},
            {"databit", n(s.databit)}, {"stopbits", n(s.stopbits)}, {"address", n(s.address)}};
}
} // namespace

void SaveSerialSettings(const QString& dir, const SavedSerialSettings& s) {
    WriteIniValues(SettingsPath(dir), kSetCom, SerialKeys(s));
}

void SaveSerialSettings(const QString& dir, const SavedSerialSettings& s, const QString& portName) {
    WriteIniValues(SettingsPath(dir), kSetCom,
                   SerialKeys(s) << qMakePair(QStringLiteral("portname"), portName));
}

QString LoadPortName(const QString& dir) {
    return ReadIniValue(SettingsPath(dir), kSetCom, "portname").text;
}

QStringList LoadRecentPorts(const QString& dir) {
    QStringList ports;
    for (const QString& port :
         ReadIniValue(SettingsPath(dir), kSetCom, "recentports").text.split(QLatin1Char('|')))
        if (!port.trimmed().isEmpty() && !ports.contains(port.trimmed())) ports << port.trimmed();
    return ports.mid(0, kMaxRecentPorts);
}

void AddRecentPort(const QString& dir, const QString& port) {
    QStringList ports = LoadRecentPorts(dir);
    ports.removeAll(port.trimmed());
    ports.prepend(port.trimmed());
    WriteIniValues(SettingsPath(dir), kSetCom,
                   {qMakePair(QStringLiteral("recentports"),
                              ports.mid(0, kMaxRecentPorts).join(QLatin1Char('|')))});
}

SavedCheckSettings LoadCheckSettings(const QString& dir) {
    SavedCheckSettings s;
    s.U = ReadReal(dir, kSetCheck, "U");
    s.I = ReadReal(dir, kSetCheck, "I");
    s.JDF = ReadReal(dir, kSetCheck, "JDF");
    s.JDU = ReadReal(dir, kSetCheck, "JDU");
    s.JDI = ReadReal(dir, kSetCheck, "JDI");
    s.JDC = ReadReal(dir, kSetCheck, "JDC");
    s.JDP = ReadReal(dir, kSetCheck, "JDP");
    s.JDQ = ReadReal(dir, kSetCheck, "JDQ");
    s.JDS = ReadReal(dir, kSetCheck, "JDS");
    return s;
}

void SaveCheckSettings(const QString& dir, const SavedCheckSettings& s) {
    WriteIniValues(SettingsPath(dir), kSetCheck,
                   {{"U", FloatToText(s.U)},
                    {"I", FloatToText(s.I)},
                    {"JDF", FloatToText(s.JDF)},
                    {"JDU", FloatToText(s.JDU)},
                    {"JDI", FloatToText(s.JDI)},
                    {"JDC", FloatToText(s.JDC)},
                    {"JDP", FloatToText(s.JDP)},
                    {"JDQ", FloatToText(s.JDQ)},
                    {"JDS", FloatToText(s.JDS)}});
}

PollSettings LoadPollSettings(const QString& dir) {
    PollSettings s;
    const QString path = SettingsPath(dir);
    if (ReadIniValue(path, kSetCheck, "FastPoll").found)
        s.fastPoll = ReadInt(dir, kSetCheck, "FastPoll") != 0;
    if (ReadIniValue(path, kSetCheck, "PollPauseMs").found) {
        s.pauseMs = ReadInt(dir, kSetCheck, "PollPauseMs");
        if (s.pauseMs < 0 || s.pauseMs > kMaxPollPauseMs)
            throw ConversionError(
                QCoreApplication::translate("Settings", "%1: [%2] %3: %4 超出范围（0～%5）")
                    .arg(QDir::toNativeSeparators(path), kSetCheck, QStringLiteral("PollPauseMs"))
                    .arg(s.pauseMs)
                    .arg(kMaxPollPauseMs));
    }
    return s;
}

int LoadSettleCycles(const QString& dir) {
    if (!ReadIniValue(SettingsPath(dir), kSetCheck, "SettleCycles").found) return 3;
    const int cycles = ReadInt(dir, kSetCheck, "SettleCycles");
    if (cycles < 1 || cycles > 1000)
        throw ConversionError(
            QCoreApplication::translate("Settings", "%1: [%2] %3: %4 超出范围（1～1000）")
                .arg(QDir::toNativeSeparators(SettingsPath(dir)), kSetCheck,
                     QStringLiteral("SettleCycles"))
                .arg(cycles));
    return cycles;
}

QString LoadOperator(const QString& dir) {
    return ReadIniValue(SettingsPath(dir), kSysInfo, "Operator").text;
}

void SaveOperator(const QString& dir, const QString& name) {
    WriteIniValues(SettingsPath(dir), kSysInfo, {{"Operator", name}});
}

QString LoadLastUser(const QString& dir) {
    return ReadIniValue(SettingsPath(dir), kSysInfo, "User").text;
}

void SaveLastUser(const QString& dir, const QString& user) {
    WriteIniValues(SettingsPath(dir), kSysInfo, {{"User", user}});
}

bool LoadEngineeringMode(const QString& dir) {
    if (!ReadIniValue(SettingsPath(dir), kSysInfo, "Engineering").found) return false;
    return ReadInt(dir, kSysInfo, "Engineering") != 0;
}
