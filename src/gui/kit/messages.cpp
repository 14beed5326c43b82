#include "gui/kit/messages.h"

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

std::unique_ptr<QMessageBox> NewConfirmBox(QWidget* parent, const QString& text,
                                           const QString& caption) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::Question, caption, text,
                                             QMessageBox::Yes | QMessageBox::No, parent);
    box->setDefaultButton(QMessageBox::No);
    box->setEscapeButton(QMessageBox::No);
    return box;
}

bool QtMessages::confirm(QWidget* parent, const QString& text, const QString& caption) {
    return NewConfirmBox(parent, text, caption)->exec() == QMessageBox::Yes;
}

std::unique_ptr<QFileDialog> NewSaveFileDialog(QWidget* parent, const QString& proposed,
                                               const QString& filter) {
    auto dialog = std::make_unique<QFileDialog>(parent, QString(), proposed, filter);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    return dialog;
}

QString QtMessages::saveFileName(QWidget* parent, const QString& proposed, const QString& filter) {
    const std::unique_ptr<QFileDialog> dialog = NewSaveFileDialog(parent, proposed, filter);
    if (dialog->exec() != QDialog::Accepted) return QString();
    const QStringList chosen = dialog->selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}

QString QtMessages::existingDirectory(QWidget* parent, const QString& caption) {
    return QFileDialog::getExistingDirectory(parent, caption);
}
