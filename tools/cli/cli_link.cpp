#include "cli_link.h"

#include "cli_station.h"

#include "common/conversion.h"
#include "link/open_failure.h"
#include "store/settings.h"

#include <QDateTime>
#include <QFileInfo>

LineChoice LoadLine(const QString& dataDir, const QString& port) {
    if (port.trimmed().isEmpty()) throw CliFailure{kExitUsage, QStringLiteral("--port is empty")};
    if (!IsNetworkPort(port) && !QFileInfo::exists(port))
        throw CliFailure{kExitUsage, QStringLiteral("--port: unknown port %1").arg(port)};
    SavedSerialSettings saved;
    try {
        saved = LoadSerialSettings(dataDir);
    } catch (const ConversionError& e) {
        throw CliFailure{kExitUsage, SettingsPath(dataDir) + QStringLiteral(": ") + e.text()};
    }
    LineChoice line;
    line.PortName = port;
    line.BaudIndex = saved.baudrate;
    line.ParityIndex = saved.parity;
    line.DataBitsIndex = saved.databit;
    line.StopBitsIndex = saved.stopbits;
    // The window sends to the address as a byte, as typed modulo 256.
    line.ModuleAddress = quint8(saved.address);
    return line;
}

CliLink::CliLink(bool trace) : trace_(trace) {
    if (trace_) link_.SetTrafficLog(&traffic_);
}

CliLink::~CliLink() {
    link_.Close();
    link_.SetTrafficLog(nullptr);
}

void CliLink::Open(const LineChoice& line) {
    OpenFailure failure;
    if (!link_.Open(line.PortName, line.BaudIndex, line.ParityIndex, line.DataBitsIndex,
                    line.StopBitsIndex, &failure))
        throw CliFailure{kExitCommunication, OpenFailureMessage(failure)};
    if (const QString warning = link_.Warning(); !warning.isEmpty()) {
        Err() << line.PortName << ": " << warning << '\n';
        Err().flush();
    }
}

bool CliLink::Reopen(const LineChoice& line) {
    link_.Close();
    return link_.Open(line.PortName, line.BaudIndex, line.ParityIndex, line.DataBitsIndex,
                      line.StopBitsIndex);
}

void CliLink::FlushTrace() {
    if (!trace_) return;
    for (const Exchange& e : traffic_.Since(printed_)) {
        const QString time =
            QDateTime::fromMSecsSinceEpoch(e.startedMs).toString(QStringLiteral("hh:mm:ss.zzz"));
        Err() << QStringLiteral("%1 #%2 发送 %3  %4\n")
                     .arg(time)
                     .arg(e.sequence)
                     .arg(QString::fromStdString(HexText(e.request)),
                          QString::fromStdString(DecodeFrame(e.protocol, true, e.request)));
        const QString decoded =
            e.reply.empty() ? QStringLiteral("无应答")
                            : QString::fromStdString(DecodeFrame(e.protocol, false, e.reply));
        Err() << QStringLiteral("%1 #%2 接收 %3  %4  %5 ms %6\n")
                     .arg(time)
                     .arg(e.sequence)
                     .arg(QString::fromStdString(HexText(e.reply)), decoded)
                     .arg(QString::number(e.roundTripUs / 1000.0, 'f', 1),
                          QString::fromStdString(OutcomeText(e.outcome)));
        printed_ = e.sequence;
    }
    Err().flush();
}
