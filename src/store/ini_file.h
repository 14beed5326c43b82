#pragma once
// A small INI file in the GBK code page, read and written the way the Windows profile functions
// do it: sections in brackets, key=value lines, keys and sections matched without regard to case.
// A file that opens with a UTF-8 byte-order mark is read and written as UTF-8 and keeps its mark.
// Every access opens the file afresh; nothing is cached, so a hand edit is seen at the next read.
// Writing a key changes only the lines of the keys written (and adds the missing ones): every
// other line (other keys, comments, blank lines) comes back byte for byte with its line end,
// even where its bytes are not valid in the file's code page.

#include <QList>
#include <QPair>
#include <QString>

// The value of a key, trimmed; std::nullopt-like: found is false when the file, the section or
// the key is missing.
struct IniValue {
    bool found = false;
    QString text;
};

IniValue ReadIniValue(const QString& path, const QString& section, const QString& key);

// Writes the given keys of one section in one rewrite of the file: existing keys are replaced in
// place, new keys are appended to the section in the given order, a missing section is appended
// to the file. Throws ConversionError naming the file when it cannot be written; the old file is
// then untouched (the new text is written beside it and renamed over it).
void WriteIniValues(const QString& path, const QString& section,
                    const QList<QPair<QString, QString>>& values);
