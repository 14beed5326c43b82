#include "gui/calib/station_record.h"

#include "gui/kit/messages.h"
#include "gui/main/main_form.h"
#include "link/serial_link.h"
#include "store/ini_file.h"
#include "store/settings.h"

#include <QCoreApplication>
#include <QSysInfo>

namespace {

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

} // namespace

UnitRecord StationRecord(const TMainForm& form, RecordKind kind) {
    UnitRecord record;
    record.kind = kind;
    record.model = form.station().product().ModelName;
    // Absent key or file: the record says nobody was named rather than refusing the operation.
    record.operatorName = ReadIniValue(SettingsPath(form.dataDir()), QStringLiteral("SysInfo"),
                                       QStringLiteral("Operator"))
                              .text;
    record.station = QSysInfo::machineHostName();
    record.softwareVersion = QCoreApplication::applicationVersion().isEmpty()
                                 ? QStringLiteral("1.0")
                                 : QCoreApplication::applicationVersion();
    const LineChoice& line = form.station().line();
    record.port = line.PortName;
    record.lineSettings = LineSettingsText(line);
    record.protocol = QLatin1String(kModbusProtocolName);
    record.address = line.ModuleAddress;
    return record;
}

bool StoreRecord(TMainForm& form, UnitRecord& record) {
    if (form.results().Add(record)) return true;
    Ui().error(&form, form.results().lastError());
    return false;
}
