#include "recording_messages.h"

RecordingMessages::RecordingMessages() : previous_(&Ui()) {
    InstallMessages(this);
}
RecordingMessages::~RecordingMessages() {
    InstallMessages(previous_);
}

void RecordingMessages::inform(QWidget*, const QString& text, const QString&) {
    shown << QStringLiteral("inform: ") + text;
}

void RecordingMessages::error(QWidget*, const QString& text) {
    shown << QStringLiteral("error: ") + text;
}

bool RecordingMessages::ask(QWidget*, const QString& text, const QString&) {
    shown << QStringLiteral("ask: ") + text;
    return answers.isEmpty() ? false : answers.takeFirst();
}

bool RecordingMessages::confirm(QWidget*, const QString& text, const QString&) {
    if (confirmAll) return true;
    shown << QStringLiteral("confirm: ") + text;
    return answers.isEmpty() ? false : answers.takeFirst();
}

QString RecordingMessages::saveFileName(QWidget*, const QString& proposed, const QString&) {
    shown << QStringLiteral("save: ") + proposed;
    return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
}

QString RecordingMessages::existingDirectory(QWidget*, const QString& caption) {
    shown << QStringLiteral("folder: ") + caption;
    return folders.isEmpty() ? QString() : folders.takeFirst();
}
