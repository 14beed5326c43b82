#pragma once
// Replacing a file safely, for every export of this folder: the new contents are written under a
// temporary name beside the target (".<name>.XXXXXX.part"), flushed to disk and renamed over the
// target only once complete, so that a failure at any point leaves the target as it was (absent,
// or the old file) and nothing partial behind. Temporary files of earlier exports to the same
// target that died before their rename are removed first.
//
// Thread use: works only on its arguments and on the files it creates (any thread).

#include <QString>
#include <functional>

struct ExportResult {
    bool ok = false;
    QString detail; // why it failed, for a log; the user is shown ExportFailedMessage()
};

// write fills the file named by its argument (created empty, closed) and returns why it could
// not, empty when all went in. The replaced file's permissions carry over to the new one; a new
// file gets those of a new document.
ExportResult ReplaceFile(const QString& path, const std::function<QString(const QString&)>& write);
