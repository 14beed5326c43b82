#include "gui/kit/messages.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class MessagesTest : public QObject {
    Q_OBJECT
private slots:
    void saveDialogLeavesTheOverwriteQuestionToTheWindows();
    void aQuestionBeforeAnUndoableStepDefaultsToNo();
};

// The export page asks "文件已经存在,是否覆盖?" itself; the dialog must not ask first in its own
// words. Accepting an existing file goes through without a question of the dialog's (one would
// be a modal box, so the option is checked before).
void MessagesTest::saveDialogLeavesTheOverwriteQuestionToTheWindows() {
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("Excel.xlsx"));
    QFile file(existing);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    QWidget window;
    const std::unique_ptr<QFileDialog> dialog =
        NewSaveFileDialog(&window, existing, QStringLiteral("Excel 工作簿 (*.xlsx)"));
    QVERIFY(dialog->testOption(QFileDialog::DontConfirmOverwrite));
    QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
    QCOMPARE(dialog->nameFilters(), QStringList{QStringLiteral("Excel 工作簿 (*.xlsx)")});
    QCOMPARE(dialog->directory().absolutePath(), QDir(dir.path()).absolutePath());

    dialog->open();
    static_cast<QDialog*>(dialog.get())->accept(); // what its Save button does

    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(dialog->selectedFiles(), QStringList{existing});
}

// Enter or Escape on the question before clearing energy or writing calibration data answers 否.
void MessagesTest::aQuestionBeforeAnUndoableStepDefaultsToNo() {
    QWidget window;
    const std::unique_ptr<QMessageBox> box = NewConfirmBox(
        &window, QStringLiteral("确定清除电能数据吗？"), QStringLiteral("清除电能数据"));
    QCOMPARE(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
    QCOMPARE(box->escapeButton(), static_cast<QAbstractButton*>(box->button(QMessageBox::No)));
    box->open();
    QTest::keyClick(box.get(), Qt::Key_Return);
    QCOMPARE(box->result(), int(QMessageBox::No));
}

QTEST_MAIN(MessagesTest)
#include "messages_test.moc"
