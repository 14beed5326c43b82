#include "command_shell.h"

#include "common/conversion.h"

#include <QStringList>

namespace {

int toInt(const QString& text) {
    return StrToInt(text);
}

// "on"/"off" (also 1/0).
std::optional<bool> onOff(const QString& text) {
    const QString t = text.toLower();
    if (t == "on" || t == "1") return true;
    if (t == "off" || t == "0") return false;
    return std::nullopt;
}

bool* flagOf(Misbehaviour& m, const QString& name) {
    if (name == "silent") return &m.silent;
    if (name == "badcrc") return &m.badChecksum;
    if (name == "short") return &m.shortReply;
    if (name == "late") return &m.late;
    if (name == "fe") return &m.fePrefix;
    if (name == "wrongaddr") return &m.wrongAddress;
    return nullptr;
}

QString valuesLine(const std::vector<uint16_t>& values) {
    QStringList parts{"ok"};
    for (uint16_t v : values)
        parts << QString::number(v);
    return parts.join(' ');
}

} // namespace

QString CommandShell::helpText() {
    return QStringLiteral(
        "Commands on standard input (one per line; each answers one line, \"ok ...\" or\n"
        "\"error <reason>\"; numbers are decimal, or hexadecimal after 0x or $):\n"
        "  point U% I% ANGLE FREQ        set the reference-source test point (voltage and current\n"
        "                                in % of rated, angle in degrees, frequency in Hz)\n"
        "  point KEY=VALUE ...           the same by keys u, i, angle, freq, un (rated V), in "
        "(rated A);\n"
        "                                keys not given keep their value\n"
        "  error NAME PCT                add PCT % error to a check quantity or parameter (0 "
        "removes)\n"
        "  silent on|off                 hear nothing, answer nothing\n"
        "  badcrc on|off                 corrupt the checksum of every reply\n"
        "  short on|off                  send only the first half of every reply\n"
        "  late on|off                   answer after the host's read window (see --late-ms)\n"
        "  fe on|off                     put FE FE FE FE before every reply\n"
        "  wrongaddr on|off              answer in the name of address+1\n"
        "  powercycle                    switch off and on: Modbus RTU at 9600 8N1 for the "
        "power-on\n"
        "                                window, whatever the configuration\n"
        "  get ADDR [COUNT]              answer \"ok V1 V2 ...\": registers as a Modbus read sees "
        "them\n"
        "  set ADDR V1 [V2 ...]          write registers as a Modbus write would\n"
        "  stuck ADDR VALUE|off          register ADDR holds VALUE and ignores every write (the\n"
        "                                write is still answered); off lets it keep writes again\n"
        "  protocol N                    0 Modbus RTU, 1 DL/T 645-1997, 2 DL/T 645-2007, 3 亚奥, 4 "
        "大唐\n"
        "  format N                      frame format: 0 N,2S  1 O,1S  2 E,1S  3 N,1S\n"
        "  baud N                        baud index: 0 1200, 1 2400, 2 4800, 3 9600, 4 19200, 5 "
        "38400\n"
        "  address N                     module address 1..255\n"
        "  status                        answer \"ok address=.. protocol=.. format=.. baud=.. "
        "window=0|1\"\n"
        "  stats                         answer \"ok requests=N replies=M\": frames heard and "
        "answered\n"
        "  line                          answer \"ok baud=.. parity=.. stop=..\": the line as the\n"
        "                                host set it (parity -1: not carried by a pty)\n"
        "  last                          answer \"ok\" and the bytes of the last frame heard "
        "(hex)\n"
        "  quit                          answer \"ok\", remove the link and end\n"
        "With several modules (--address 1-8) a command goes to all of them and the first "
        "answers;\n"
        "\"@A COMMAND\" (e.g. \"@3 silent on\") goes to the module at address A alone.\n");
}

CommandShell::Result CommandShell::execute(const QString& line, double now) {
    // "@A command" talks to the module at address A alone; a command without it goes to every
    // module on the line (the reference source feeds them all), and the first one answers.
    const QString trimmed = line.trimmed();
    if (trimmed.startsWith('@')) {
        const qsizetype blank = trimmed.indexOf(' ');
        bool ok = false;
        const int address = trimmed.mid(1, blank < 0 ? -1 : blank - 1).toInt(&ok);
        if (!ok || blank < 0) return {"error @ADDRESS COMMAND"};
        for (Module* module : modules_)
            if (module->address() == address)
                return executeOn(*module, trimmed.mid(blank + 1), now);
        return {QString("error no module at address %1").arg(address)};
    }
    Result first;
    for (std::size_t i = 0; i < modules_.size(); ++i) {
        Result result = executeOn(*modules_[i], trimmed, now);
        if (i == 0 || (result.line.startsWith("error") && !first.line.startsWith("error")))
            first = result;
    }
    return first;
}

CommandShell::Result CommandShell::executeOn(Module& module, const QString& line, double now) {
    const QStringList words = line.simplified().split(' ', Qt::SkipEmptyParts);
    if (words.isEmpty()) return {"error empty command"};
    const QString cmd = words[0].toLower();
    const QStringList args = words.mid(1);
    module.advanceTo(now);
    try {
        if (cmd == "quit" || cmd == "exit") return {"ok", true};
        if (cmd == "point") {
            SourcePoint p = module.measurement().testPoint();
            if (args.isEmpty()) return {"error point needs values"};
            if (!args[0].contains('=')) {
                if (args.size() != 4) return {"error point U% I% ANGLE FREQ"};
                p.voltagePct = StrToFloat(args[0]);
                p.currentPct = StrToFloat(args[1]);
                p.angleDeg = StrToFloat(args[2]);
                p.frequencyHz = StrToFloat(args[3]);
            } else {
                for (const QString& kv : args) {
                    const qsizetype eq = kv.indexOf('=');
                    const QString key = kv.left(eq).toLower();
                    const double v = StrToFloat(kv.mid(eq + 1));
                    if (key == "u")
                        p.voltagePct = v;
                    else if (key == "i")
                        p.currentPct = v;
                    else if (key == "angle")
                        p.angleDeg = v;
                    else if (key == "freq")
                        p.frequencyHz = v;
                    else if (key == "un")
                        p.ratedVoltage = v;
                    else if (key == "in")
                        p.ratedCurrent = v;
                    else
                        return {"error unknown key " + key};
                }
            }
            if (p.frequencyHz <= 0 || p.ratedVoltage <= 0 || p.ratedCurrent <= 0)
                return {"error frequency and rated values must be positive"};
            module.measurement().setTestPoint(p);
            return {"ok"};
        }
        if (cmd == "error") {
            if (args.size() != 2) return {"error error NAME PCT"};
            module.measurement().setError(args[0], StrToFloat(args[1]));
            return {"ok"};
        }
        if (bool* flag = flagOf(module.misbehaviour(), cmd)) {
            const auto v = args.size() == 1 ? onOff(args[0]) : std::nullopt;
            if (!v) return {"error " + cmd + " on|off"};
            *flag = *v;
            return {"ok"};
        }
        if (cmd == "powercycle") {
            module.powerCycle(now);
            return {"ok"};
        }
        if (cmd == "get") {
            if (args.isEmpty() || args.size() > 2) return {"error get ADDR [COUNT]"};
            const int addr = toInt(args[0]);
            const int count = args.size() == 2 ? toInt(args[1]) : 1;
            if (addr < 0 || count < 1 || count > 1000 || addr + count > 65536)
                return {"error register range"};
            return {valuesLine(module.readView(addr, count))};
        }
        if (cmd == "set") {
            if (args.size() < 2) return {"error set ADDR V1 [V2 ...]"};
            const int addr = toInt(args[0]);
            std::vector<uint16_t> values;
            for (qsizetype i = 1; i < args.size(); ++i) {
                const int v = toInt(args[i]);
                if (v < 0 || v > 0xFFFF) return {"error value out of range"};
                values.push_back(uint16_t(v));
            }
            if (!module.writeRegisters(addr, values)) return {"error value refused"};
            return {"ok"};
        }
        if (cmd == "stuck") {
            if (args.size() != 2) return {"error stuck ADDR VALUE|off"};
            const int addr = toInt(args[0]);
            if (addr < 0 || addr > 0xFFFF) return {"error register range"};
            if (args[1].toLower() == "off") {
                module.release(addr);
                return {"ok"};
            }
            const int v = toInt(args[1]);
            if (v < 0 || v > 0xFFFF) return {"error value out of range"};
            module.stick(addr, uint16_t(v));
            return {"ok"};
        }
        if (cmd == "protocol" || cmd == "format") {
            if (args.size() != 1) return {"error " + cmd + " N"};
            const int v = toInt(args[0]);
            const uint16_t word = uint16_t(v);
            if (v < 0 || v > (cmd == "protocol" ? 4 : 3) ||
                !module.writeRegisters(cmd == "protocol" ? simreg::kProtocol : simreg::kFrameFormat,
                                       std::span(&word, 1)))
                return {"error " + cmd + " out of range"};
            return {"ok"};
        }
        if (cmd == "baud") {
            if (args.size() != 1 || !module.setBaudIndex(toInt(args[0])))
                return {"error baud index 0..5"};
            return {"ok"};
        }
        if (cmd == "address") {
            const int v = args.size() == 1 ? toInt(args[0]) : 0;
            if (v < 1 || v > 255) return {"error address 1..255"};
            module.setAddress(v);
            return {"ok"};
        }
        if (cmd == "status") {
            return {QString("ok address=%1 protocol=%2 format=%3 baud=%4 window=%5")
                        .arg(module.address())
                        .arg(module.activeProtocol(now))
                        .arg(module.activeFrameFormat(now))
                        .arg(module.activeBaud(now))
                        .arg(module.inPowerWindow(now) ? 1 : 0)};
        }
        if (cmd == "stats")
            return {QString("ok requests=%1 replies=%2")
                        .arg(module.requestCount())
                        .arg(module.replyCount())};
        if (cmd == "last") {
            QString line = "ok";
            for (uint8_t b : module.lastRequest())
                line += QString(" %1").arg(b, 2, 16, QChar('0')).toUpper();
            return {line};
        }
        if (cmd == "help") return {"ok see --help"};
    } catch (const ConversionError& e) {
        return {"error " + e.text()};
    }
    return {"error unknown command " + cmd};
}
