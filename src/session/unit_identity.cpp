#include "session/unit_identity.h"

#include "link/serial_link.h"
#include "store/ini_file.h"
#include "store/settings.h"

#include <QCoreApplication>
#include <QSysInfo>

QString LineSettingsText(const LineChoice& line) {
    const LineSettings s =
        LineSettingsFor(line.BaudIndex, line.ParityIndex, line.DataBitsIndex, line.StopBitsIndex);
    static const char* const parity[] = {"N", "O", "E"};
    return QStringLiteral("%1,%2,%3,%4")
        .arg(s.baudRate)
        .arg(QLatin1String(parity[s.parity >= 0 && s.parity < 3 ? s.parity : 0]))
        .arg(s.dataBits)
        .arg(s.stopBits);
}

UnitRecord StationRecordFor(const QString& dataDir, const LineChoice& line, const QString& model,
                            RecordKind kind) {
    UnitRecord record;
    record.kind = kind;
    record.model = model;
    // Absent key or file: the record says nobody was named rather than refusing the operation.
    record.operatorName =
        ReadIniValue(SettingsPath(dataDir), QStringLiteral("SysInfo"), QStringLiteral("Operator"))
            .text;
    record.station = QSysInfo::machineHostName();
    record.softwareVersion = QCoreApplication::applicationVersion().isEmpty()
                                 ? QStringLiteral("1.0")
                                 : QCoreApplication::applicationVersion();
    record.port = line.PortName;
    record.lineSettings = LineSettingsText(line);
    record.protocol = QLatin1String(kModbusProtocolName);
    record.address = line.ModuleAddress;
    return record;
}
