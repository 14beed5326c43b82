#include "store/ini_file.h"

#include "common/conversion.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace {
struct IniText {
    QStringList lines;
    bool crlf = true; // a new file gets the line ends of the Windows original
};

bool ReadIniText(const QString& path, IniText& out) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray bytes = file.readAll();
    QStringDecoder gbk("GBK");
    const QString text = gbk.decode(bytes);
    out.crlf = bytes.contains("\r\n") || !bytes.contains('\n');
    out.lines = text.split(QLatin1Char('\n'));
    for (QString& line : out.lines)
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    if (!out.lines.isEmpty() && out.lines.last().isEmpty()) out.lines.removeLast();
    return true;
}

// "[name]" with blanks around: the section name, else a null string.
QString SectionName(const QString& line) {
    const QString t = line.trimmed();
    if (t.size() >= 2 && t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']')))
        return t.mid(1, t.size() - 2).trimmed();
    return QString();
}

// The key of a "key=value" line, else a null string (comments start with ';').
QString KeyOf(const QString& line) {
    const QString t = line.trimmed();
    if (t.startsWith(QLatin1Char(';'))) return QString();
    const qsizetype eq = t.indexOf(QLatin1Char('='));
    if (eq <= 0) return QString();
    return t.left(eq).trimmed();
}

QString ValueOf(const QString& line) {
    return line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed();
}

bool Same(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}
} // namespace

IniValue ReadIniValue(const QString& path, const QString& section, const QString& key) {
    IniText ini;
    if (!ReadIniText(path, ini)) return {};
    bool inSection = false;
    for (const QString& line : ini.lines) {
        const QString name = SectionName(line);
        if (!name.isNull()) {
            inSection = Same(name, section);
            continue;
        }
        if (inSection && Same(KeyOf(line), key)) return {true, ValueOf(line)};
    }
    return {};
}

void WriteIniValues(const QString& path, const QString& section,
                    const QList<QPair<QString, QString>>& values) {
    IniText ini;
    ReadIniText(path, ini); // a missing file is written new

    QList<bool> done(values.size(), false);
    qsizetype sectionEnd = -1; // index after the last key line of the section
    bool inSection = false;
    for (qsizetype i = 0; i < ini.lines.size(); ++i) {
        const QString name = SectionName(ini.lines[i]);
        if (!name.isNull()) {
            inSection = Same(name, section);
            if (inSection && sectionEnd < 0) sectionEnd = i + 1;
            continue;
        }
        if (!inSection) continue;
        const QString key = KeyOf(ini.lines[i]);
        if (key.isNull()) continue;
        sectionEnd = i + 1;
        for (qsizetype v = 0; v < values.size(); ++v) {
            if (Same(key, values[v].first)) {
                ini.lines[i] = key + QLatin1Char('=') + values[v].second;
                done[v] = true;
            }
        }
    }
    QStringList added;
    for (qsizetype v = 0; v < values.size(); ++v)
        if (!done[v]) added.append(values[v].first + QLatin1Char('=') + values[v].second);
    if (sectionEnd < 0) {
        if (!ini.lines.isEmpty() && !ini.lines.last().trimmed().isEmpty())
            ini.lines.append(QString());
        ini.lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
        ini.lines.append(added);
    } else {
        for (qsizetype a = 0; a < added.size(); ++a)
            ini.lines.insert(sectionEnd + a, added[a]);
    }

    const QString eol = ini.crlf ? QStringLiteral("\r\n") : QStringLiteral("\n");
    QStringEncoder gbk("GBK");
    const QByteArray bytes = gbk.encode(ini.lines.join(eol) + eol);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw ConversionError(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
}
