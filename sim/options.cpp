#include "options.h"

#include "command_shell.h"
#include "common/address_list.h"
#include "common/conversion.h"

#include <QDir>

QString DefaultLinkFolder() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    return (runtime.isEmpty() ? QStringLiteral("/tmp") : QString::fromLocal8Bit(runtime)) +
           "/kx7410-sim";
}

QString UsageText() {
    return QStringLiteral(
               "Usage: kx7410-sim [--link PATH] [--address LIST] [options]\n"
               "Plays the KX7410M3 module on a pseudo-terminal. Prints the slave device path as "
               "its\n"
               "first output line and serves until SIGINT/SIGTERM or the quit command.\n"
               "\n"
               "Options:\n"
               "  --link PATH          symbolic link to the slave side (default %1/ttyKX0)\n"
               "  --tcp [HOST:]PORT    serve the line on TCP instead of a pty, raw, as a serial\n"
               "                       device server does (127.0.0.1 unless HOST; port 0: a free\n"
               "                       one); the first output line is tcp://HOST:PORT\n"
               "  --rfc2217 [HOST:]PORT the same with Telnet COM port control (RFC 2217): the "
               "line\n"
               "                       settings the host sets, parity included, must be the\n"
               "                       module's; the first output line is rfc2217://HOST:PORT\n"
               "  --address LIST       module address 1..255 (default 1); a list (1-8, or 1,3,5)\n"
               "                       puts one module at each address on the line\n"
               "  --protocol N         0 Modbus RTU, 1 DL/T 645-1997, 2 DL/T 645-2007, 3 亚奥, 4 "
               "大唐\n"
               "                       (default: from --state, else 0)\n"
               "  --format N           frame format 0 N,2S  1 O,1S  2 E,1S  3 N,1S (default 3)\n"
               "  --baud-index N       0 1200, 1 2400, 2 4800, 3 9600, 4 19200, 5 38400 (default "
               "3)\n"
               "  --data DIR           catalogue data files (default: those the host ships)\n"
               "  --state FILE         flash image: loaded at start, written by a flash commit\n"
               "  --model NAME         set up as the host's configuration download and protocol\n"
               "                       switch leave it for this product model: output list,\n"
               "                       scales, enables, protocol and frame format\n"
               "  --db FILE            product database for --model (default: the host's "
               "Config.db)\n"
               "  --voltage PCT        test point voltage, % of rated (default 100)\n"
               "  --current PCT        test point current, % of rated (default 100)\n"
               "  --angle DEG          angle by which the current lags (default 0)\n"
               "  --frequency HZ       (default 50)\n"
               "  --rated-voltage V    rated voltage when the module holds none (default 220)\n"
               "  --rated-current A    rated current when the module holds none (default 5)\n"
               "  --error [A:]NAME=PCT error on a quantity or parameter, repeatable (e.g. Pa=1);\n"
               "                       with A: on the module at address A only (3:Pa=5)\n"
               "  --fault A:FLAG       misbehaviour of the module at A only: silent, badcrc,\n"
               "                       short, late, fe or wrongaddr (e.g. 5:silent)\n"
               "  --silent --badcrc --short --late --fe --wrongaddr\n"
               "                       start misbehaving (see the commands of the same names)\n"
               "  --late-ms N          delay of a late reply (default 1500)\n"
               "  --powercycle         start as just switched on (Modbus RTU 9600 8N1 for the "
               "window)\n"
               "  --power-window S     length of the power-on window in seconds (default 10)\n"
               "  --pace               send replies at the line's speed after a turnaround\n"
               "  --turnaround-ms N    turnaround before a paced reply (default 3)\n"
               "  --jitter-ms N        up to N ms more turnaround and a pause of up to N ms\n"
               "                       inside every reply, which then arrives in two pieces\n"
               "  --help               this text\n"
               "\n"
               "Line settings: the baud rate and stop bits the host sets on the pseudo-terminal "
               "are\n"
               "compared with the module's; parity cannot travel over a pseudo-terminal, so "
               "formats\n"
               "1 and 2 are matched on their one stop bit. A module at one stop bit also hears "
               "two;\n"
               "a module at two stop bits does not hear one. Requests that do not match are not\n"
               "answered.\n"
               "\n"
               "Answers: Modbus 0x03/0x30/0x33 reads of up to 127 registers, 0x06, 0x10 (up to "
               "123),\n"
               "0x40 (up to 495); address 0 writes without answering. DL/T 645 at the meter "
               "address\n"
               "BCD(address) 00 00 00 00 00, the edition of the protocol in force only; the time\n"
               "broadcast to 99 99 99 99 99 99 sets the clock and is not answered. 亚奥 commands "
               "1, 4,\n"
               "6, 7, 9 (the 30 calibration words from 11002), 0x11 (the 12 raw words from "
               "10000),\n"
               "0x12; the poll carries at most 127 words. 大唐 poll 0x30 and clear 0x31. A flash\n"
               "commit (0xAA55 to 13001) saves registers 260-303, 11002-11031, 11300-11499 and\n"
               "12000-12299 to the --state file.\n"
               "\n")
               .arg(DefaultLinkFolder()) +
           CommandShell::helpText();
}

namespace {

int intIn(const QString& text, int low, int high, const QString& name) {
    const int v = StrToInt(text);
    if (v < low || v > high)
        throw ConversionError(QString("%1 must be %2..%3").arg(name).arg(low).arg(high));
    return v;
}

} // namespace

bool ParseOptions(const QStringList& args, SimOptions& o, QString& error) {
    try {
        for (qsizetype i = 0; i < args.size(); ++i) {
            QString name = args[i];
            QString value;
            bool hasInline = false;
            if (name.startsWith("--") && name.contains('=')) {
                value = name.mid(name.indexOf('=') + 1);
                name = name.left(name.indexOf('='));
                hasInline = true;
            }
            auto takeValue = [&]() -> QString {
                if (hasInline) return value;
                if (i + 1 >= args.size()) throw ConversionError(name + " needs a value");
                return args[++i];
            };
            auto flag = [&](bool& target) {
                if (hasInline) throw ConversionError(name + " takes no value");
                target = true;
            };
            if (name == "--help" || name == "-h")
                flag(o.help);
            else if (name == "--link")
                o.link = takeValue();
            else if (name == "--tcp")
                o.tcp = takeValue();
            else if (name == "--rfc2217") {
                o.tcp = takeValue();
                o.rfc2217 = true;
            } else if (name == "--address") {
                QString why;
                if (!ParseAddressList(takeValue(), o.addresses, why))
                    throw ConversionError("--address: " + why);
                o.module.address = o.addresses.front();
            } else if (name == "--protocol")
                o.module.protocol = intIn(takeValue(), 0, 4, name);
            else if (name == "--format")
                o.module.frameFormat = intIn(takeValue(), 0, 3, name);
            else if (name == "--baud-index")
                o.module.baudIndex = intIn(takeValue(), 0, 5, name);
            else if (name == "--data")
                o.module.dataDir = takeValue();
            else if (name == "--state")
                o.module.statePath = takeValue();
            else if (name == "--model")
                o.model = takeValue();
            else if (name == "--db")
                o.database = takeValue();
            else if (name == "--voltage")
                o.point.voltagePct = StrToFloat(takeValue());
            else if (name == "--current")
                o.point.currentPct = StrToFloat(takeValue());
            else if (name == "--angle")
                o.point.angleDeg = StrToFloat(takeValue());
            else if (name == "--frequency")
                o.point.frequencyHz = StrToFloat(takeValue());
            else if (name == "--rated-voltage")
                o.point.ratedVoltage = StrToFloat(takeValue());
            else if (name == "--rated-current")
                o.point.ratedCurrent = StrToFloat(takeValue());
            else if (name == "--error") {
                const QString v = takeValue();
                const qsizetype eq = v.indexOf('=');
                if (eq <= 0) throw ConversionError("--error needs [A:]NAME=PCT");
                const qsizetype colon = v.left(eq).indexOf(':');
                if (colon < 0) {
                    o.errors.append({v.left(eq), StrToFloat(v.mid(eq + 1))});
                } else {
                    o.unitErrors.append({intIn(v.left(colon), 1, 255, name),
                                         v.mid(colon + 1, eq - colon - 1),
                                         StrToFloat(v.mid(eq + 1))});
                }
            } else if (name == "--fault") {
                const QString v = takeValue();
                const qsizetype colon = v.indexOf(':');
                static const QStringList flags{"silent", "badcrc", "short",
                                               "late",   "fe",     "wrongaddr"};
                if (colon <= 0 || !flags.contains(v.mid(colon + 1)))
                    throw ConversionError("--fault needs A:" + flags.join('|'));
                o.unitFaults.append({intIn(v.left(colon), 1, 255, name), v.mid(colon + 1)});
            } else if (name == "--silent")
                flag(o.misbehaviour.silent);
            else if (name == "--badcrc")
                flag(o.misbehaviour.badChecksum);
            else if (name == "--short")
                flag(o.misbehaviour.shortReply);
            else if (name == "--late")
                flag(o.misbehaviour.late);
            else if (name == "--fe")
                flag(o.misbehaviour.fePrefix);
            else if (name == "--wrongaddr")
                flag(o.misbehaviour.wrongAddress);
            else if (name == "--late-ms")
                o.module.lateMs = intIn(takeValue(), 0, 60000, name);
            else if (name == "--powercycle")
                flag(o.powerCycle);
            else if (name == "--power-window")
                o.module.powerWindowS = StrToFloat(takeValue());
            else if (name == "--pace")
                flag(o.pace);
            else if (name == "--turnaround-ms")
                o.turnaroundMs = intIn(takeValue(), 0, 1000, name);
            else if (name == "--jitter-ms")
                o.jitterMs = intIn(takeValue(), 0, 1000, name);
            else
                throw ConversionError("unknown option " + name);
        }
        for (const auto& e : o.unitErrors)
            if (!o.addresses.contains(e.address))
                throw ConversionError(QString("--error: no module at address %1").arg(e.address));
        for (const auto& f : o.unitFaults)
            if (!o.addresses.contains(f.first))
                throw ConversionError(QString("--fault: no module at address %1").arg(f.first));
        if (o.addresses.size() > 1 && !o.module.statePath.isEmpty())
            throw ConversionError("--state keeps one module's flash: give one --address");
        if (o.point.frequencyHz <= 0 || o.point.ratedVoltage <= 0 || o.point.ratedCurrent <= 0 ||
            o.module.powerWindowS < 0)
            throw ConversionError("frequency, rated values and the power window must be positive");
    } catch (const ConversionError& e) {
        error = e.text();
        return false;
    }
    return true;
}
