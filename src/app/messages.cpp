#include "app/messages.h"

#include <QFileDialog>
#include <QMessageBox>

namespace {
QtMessages defaultMessages;
Messages* installed = &defaultMessages;
} // namespace

Messages& Ui() {
    return *installed;
}
void InstallMessages(Messages* messages) {
    installed = messages ? messages : &defaultMessages;
}

void QtMessages::inform(QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox::information(parent, caption, text);
}

void QtMessages::error(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, QString(), text);
}

bool QtMessages::ask(QWidget* parent, const QString& text, const QString& caption) {
    return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

QString QtMessages::saveFileName(QWidget* parent, const QString& proposed, const QString& filter) {
    return QFileDialog::getSaveFileName(parent, QString(), proposed, filter);
}

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

QString RecordingMessages::saveFileName(QWidget*, const QString& proposed, const QString&) {
    shown << QStringLiteral("save: ") + proposed;
    return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
}
