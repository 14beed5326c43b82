#include "store/ini_file.h"

#include "common/conversion.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace {
const QByteArray kUtf8Bom("\xEF\xBB\xBF");

// A line as the file holds it. Lines the program does not change are written back from their
// bytes: decoding and encoding again would replace what is not valid in the code page.
struct IniLine {
    QByteArray bytes; // without the line end
    QByteArray end;   // "\r\n", "\n", or nothing on a last line without one
    QString text;
};

struct IniText {
    bool utf8 = false;       // the file opens with a UTF-8 byte-order mark: UTF-8 (else GBK)
    QByteArray eol = "\r\n"; // for new lines; a new file gets those of the Windows original
    QList<IniLine> lines;

    QString Decode(const QByteArray& bytes) const {
        if (utf8) return QString::fromUtf8(bytes);
        QStringDecoder gbk("GBK");
        return gbk.decode(bytes);
    }
    QByteArray Encode(const QString& text) const {
        if (utf8) return text.toUtf8();
        QStringEncoder gbk("GBK");
        return gbk.encode(text);
    }
    IniLine Line(const QString& text) const { return {Encode(text), eol, text}; }
};

bool ReadIniText(const QString& path, IniText& out) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    QByteArray bytes = file.readAll();
    out.utf8 = bytes.startsWith(kUtf8Bom);
    if (out.utf8) bytes.remove(0, kUtf8Bom.size());
    out.eol =
        bytes.contains("\r\n") || !bytes.contains('\n') ? QByteArray("\r\n") : QByteArray("\n");
    qsizetype from = 0;
    while (from < bytes.size()) {
        const qsizetype newline = bytes.indexOf('\n', from);
        IniLine line;
        if (newline < 0) {
            line.bytes = bytes.mid(from);
            from = bytes.size();
        } else {
            const bool cr = newline > from && bytes.at(newline - 1) == '\r';
            line.bytes = bytes.mid(from, newline - from - (cr ? 1 : 0));
            line.end = cr ? QByteArray("\r\n") : QByteArray("\n");
            from = newline + 1;
        }
        line.text = out.Decode(line.bytes);
        out.lines.append(line);
    }
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
    for (const IniLine& line : ini.lines) {
        const QString name = SectionName(line.text);
        if (!name.isNull()) {
            inSection = Same(name, section);
            continue;
        }
        if (inSection && Same(KeyOf(line.text), key)) return {true, ValueOf(line.text)};
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
        const QString name = SectionName(ini.lines[i].text);
        if (!name.isNull()) {
            inSection = Same(name, section);
            if (inSection && sectionEnd < 0) sectionEnd = i + 1;
            continue;
        }
        if (!inSection) continue;
        const QString key = KeyOf(ini.lines[i].text);
        if (key.isNull()) continue;
        sectionEnd = i + 1;
        for (qsizetype v = 0; v < values.size(); ++v) {
            if (!Same(key, values[v].first)) continue;
            done[v] = true;
            // A key that keeps its value keeps its line as it was written.
            if (ValueOf(ini.lines[i].text) != values[v].second) {
                const QString text = key + QLatin1Char('=') + values[v].second;
                ini.lines[i].bytes = ini.Encode(text);
                ini.lines[i].text = text;
            }
        }
    }
    QList<IniLine> added;
    for (qsizetype v = 0; v < values.size(); ++v)
        if (!done[v]) added.append(ini.Line(values[v].first + QLatin1Char('=') + values[v].second));
    if (sectionEnd < 0) {
        if (!ini.lines.isEmpty() && !ini.lines.last().text.trimmed().isEmpty())
            ini.lines.append(ini.Line(QString()));
        ini.lines.append(ini.Line(QLatin1Char('[') + section + QLatin1Char(']')));
        ini.lines.append(added);
    } else {
        for (qsizetype a = 0; a < added.size(); ++a)
            ini.lines.insert(sectionEnd + a, added[a]);
    }

    QByteArray bytes = ini.utf8 ? kUtf8Bom : QByteArray();
    for (qsizetype i = 0; i < ini.lines.size(); ++i) {
        const IniLine& line = ini.lines[i];
        // A last line without its end gets one when lines now follow it.
        bytes += line.bytes + (line.end.isEmpty() && i + 1 < ini.lines.size() ? ini.eol : line.end);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw ConversionError(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
}
