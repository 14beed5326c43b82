#include "gui/admin/administration.h"
#include "gui/admin/login_form.h"
#include "gui/admin/management_form.h"
#include "gui/kit/messages.h"
#include "recording_messages.h"
#include "store/settings.h"

#include "admin_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

class LoginFormTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void opensWithTheRememberedName_data();
    void opensWithTheRememberedName();
    void controls();
    void logon_data();
    void logon();
    void refusalPutsTheFocusOnTheEmptiedField();
    void enterInEitherFieldLogsOnOnce_data();
    void enterInEitherFieldLogsOnOnce();
    void databaseFailureKeepsTheFields_data();
    void databaseFailureKeepsTheFields();
    void cancelCloses();
    void administrationRunsTheManagementWindowAfterALogin();
    void administrationStopsAtARefusedLogin();

private:
    std::unique_ptr<AdminFolder> folder_;
};

namespace {
QLineEdit* Edit(QWidget& w, const char* name) {
    return w.findChild<QLineEdit*>(QLatin1String(name));
}
} // namespace

void LoginFormTest::init() {
    folder_ = std::make_unique<AdminFolder>();
    QVERIFY2(folder_->ok(), qPrintable(folder_->openError()));
}

void LoginFormTest::opensWithTheRememberedName_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("name") << "admin"
                          << "admin";
    QTest::newRow("blanks around") << "  管理员 " << QStringLiteral("管理员");
    QTest::newRow("empty") << ""
                           << "";
}

void LoginFormTest::opensWithTheRememberedName() {
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    RecordingMessages messages;
    SaveLastUser(folder_->path(), stored);
    TLoginForm form(folder_->path(), folder_->db());
    QCOMPARE(Edit(form, "txtUser")->text(), shown);
    QCOMPARE(Edit(form, "txtPassword")->text(), QString());
    QCOMPARE(messages.shown, QStringList());
}

void LoginFormTest::controls() {
    TLoginForm form(folder_->path(), folder_->db());
    QCOMPARE(form.windowTitle(), QStringLiteral("用户登录"));
    QCOMPARE(Edit(form, "txtPassword")->echoMode(), QLineEdit::Password);
    auto* remember = form.findChild<QCheckBox*>("UserName_CheckBox");
    QVERIFY(remember && remember->isChecked());
    QCOMPARE(remember->text(), QStringLiteral("保存登陆名"));
    QCOMPARE(form.findChild<QPushButton*>("BitBtn_Logon")->text(), QStringLiteral("登    录"));
    QCOMPARE(form.findChild<QPushButton*>("BitBtn_Exit")->text(), QStringLiteral("取    消"));
}

void LoginFormTest::logon_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("remember");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("userAfter");
    QTest::addColumn<QString>("passwordAfter");
    QTest::addColumn<QString>("remembered"); // SysInfo/User afterwards ("old" was there before)

    const QStringList none;
    const QString unknown = QStringLiteral("inform: 对不起，用户名不存在！");
    const QString wrong = QStringLiteral("inform: 对不起，密码不正确！");
    QTest::newRow("success, remembered") << "admin"
                                         << "admin123" << true << none << true << "admin"
                                         << "admin123"
                                         << "admin";
    QTest::newRow("success, not remembered") << "admin"
                                             << "admin123" << false << none << true << "admin"
                                             << "admin123"
                                             << "";
    QTest::newRow("blanks trimmed") << "  admin "
                                    << "\tadmin123  " << true << none << true << "  admin "
                                    << "\tadmin123  "
                                    << "admin";
    QTest::newRow("unknown user") << "nobody"
                                  << "admin123" << true << QStringList{unknown} << false << ""
                                  << "admin123"
                                  << "old";
    QTest::newRow("empty user") << ""
                                << "" << true << QStringList{unknown} << false << ""
                                << ""
                                << "old";
    QTest::newRow("wrong password") << "admin"
                                    << "Admin123" << true << QStringList{wrong} << false << "admin"
                                    << ""
                                    << "old";
    QTest::newRow("injection as user")
        << "' or '1'='1"
        << "' or '1'='1" << true << QStringList{unknown} << false << ""
        << "' or '1'='1"
        << "old";
    QTest::newRow("injection as password")
        << "admin"
        << "' or '1'='1" << true << QStringList{wrong} << false << "admin"
        << ""
        << "old";
    QTest::newRow("quote in the name") << "ad'min"
                                       << "x" << true << QStringList{unknown} << false << ""
                                       << "x"
                                       << "old";
}

void LoginFormTest::logon() {
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, remember);
    QFETCH(QStringList, shown);
    QFETCH(bool, accepted);
    QFETCH(QString, userAfter);
    QFETCH(QString, passwordAfter);
    QFETCH(QString, remembered);
    SaveLastUser(folder_->path(), QStringLiteral("old"));
    RecordingMessages messages;
    TLoginForm form(folder_->path(), folder_->db());
    form.show();
    Edit(form, "txtUser")->setText(user);
    Edit(form, "txtPassword")->setText(password);
    form.findChild<QCheckBox*>("UserName_CheckBox")->setChecked(remember);
    QTest::mouseClick(form.findChild<QPushButton*>("BitBtn_Logon"), Qt::LeftButton);
    QCOMPARE(messages.shown, shown);
    QCOMPARE(form.result() == QDialog::Accepted, accepted);
    QCOMPARE(form.isVisible(), !accepted);
    QCOMPARE(Edit(form, "txtUser")->text(), userAfter);
    QCOMPARE(Edit(form, "txtPassword")->text(), passwordAfter);
    QCOMPARE(LoadLastUser(folder_->path()), remembered);
    if (accepted) {
        // The next dialog opens with what was remembered.
        TLoginForm next(folder_->path(), folder_->db());
        QCOMPARE(Edit(next, "txtUser")->text(), remembered);
    }
}

void LoginFormTest::refusalPutsTheFocusOnTheEmptiedField() {
    RecordingMessages messages;
    TLoginForm form(folder_->path(), folder_->db());
    form.show();
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowActive(&form));
    Edit(form, "txtUser")->setText(QStringLiteral("admin"));
    Edit(form, "txtPassword")->setText(QStringLiteral("bad"));
    Edit(form, "txtUser")->setFocus();
    form.BitBtn_LogonClick();
    QCOMPARE(QApplication::focusWidget(), Edit(form, "txtPassword"));
    Edit(form, "txtUser")->setText(QStringLiteral("nobody"));
    form.BitBtn_LogonClick();
    QCOMPARE(QApplication::focusWidget(), Edit(form, "txtUser"));
}

void LoginFormTest::enterInEitherFieldLogsOnOnce_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("key");
    QTest::newRow("return in user") << "txtUser" << int(Qt::Key_Return);
    QTest::newRow("enter in user") << "txtUser" << int(Qt::Key_Enter);
    QTest::newRow("return in password") << "txtPassword" << int(Qt::Key_Return);
}

void LoginFormTest::enterInEitherFieldLogsOnOnce() {
    QFETCH(QString, field);
    QFETCH(int, key);
    RecordingMessages messages;
    TLoginForm form(folder_->path(), folder_->db());
    form.show();
    Edit(form, "txtUser")->setText(QStringLiteral("admin"));
    Edit(form, "txtPassword")->setText(QStringLiteral("wrong"));
    QTest::keyClick(form.findChild<QLineEdit*>(field), Qt::Key(key));
    // One logon, not a second one through a default button.
    QCOMPARE(messages.shown, QStringList{QStringLiteral("inform: 对不起，密码不正确！")});
    Edit(form, "txtPassword")->setText(QStringLiteral("admin123"));
    QTest::keyClick(form.findChild<QLineEdit*>(field), Qt::Key(key));
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QCOMPARE(messages.shown.size(), 1);
}

void LoginFormTest::databaseFailureKeepsTheFields_data() {
    QTest::addColumn<int>("statement");
    QTest::newRow("user query") << 23;
    QTest::newRow("password query") << 24;
}

void LoginFormTest::databaseFailureKeepsTheFields() {
    QFETCH(int, statement);
    RecordingMessages messages;
    folder_->db().SetFaultHook([statement](int s) { return s == statement; });
    TLoginForm form(folder_->path(), folder_->db());
    form.show();
    Edit(form, "txtUser")->setText(QStringLiteral("admin"));
    Edit(form, "txtPassword")->setText(QStringLiteral("admin123"));
    QVERIFY(!form.BitBtn_LogonClick());
    QCOMPARE(messages.shown, QStringList{QStringLiteral("inform: 操作数据库失败！")});
    QCOMPARE(Edit(form, "txtUser")->text(), QStringLiteral("admin"));
    QCOMPARE(Edit(form, "txtPassword")->text(), QStringLiteral("admin123"));
    QVERIFY(form.isVisible());
}

void LoginFormTest::cancelCloses() {
    TLoginForm form(folder_->path(), folder_->db());
    form.show();
    QTest::mouseClick(form.findChild<QPushButton*>("BitBtn_Exit"), Qt::LeftButton);
    QCOMPARE(form.result(), int(QDialog::Rejected));
    QVERIFY(!form.isVisible());
}

void LoginFormTest::administrationRunsTheManagementWindowAfterALogin() {
    RecordingMessages messages;
    messages.answers << true; // delete the product
    QStringList opened;
    int changes = 0;
    const bool shown = RunAdministration(
        nullptr, folder_->path(), folder_->db(), [&] { ++changes; },
        [&](QDialog& dialog) {
            opened << dialog.objectName();
            if (auto* login = qobject_cast<TLoginForm*>(&dialog)) {
                Edit(*login, "txtUser")->setText(QStringLiteral("admin"));
                Edit(*login, "txtPassword")->setText(QStringLiteral("admin123"));
                login->BitBtn_LogonClick();
            } else if (auto* management = qobject_cast<TGlForm*>(&dialog)) {
                // Still inside the management window: nothing reloaded yet.
                management->BitBtn6Click();
                if (changes != 0) return -1;
                management->BitBtn5Click();
            }
            return dialog.result();
        });
    QVERIFY(shown);
    QCOMPARE(opened, (QStringList{"LoginForm", "GlForm"}));
    QCOMPARE(changes, 1);
    std::optional<ProductModel> gone;
    QVERIFY(folder_->db().SelectModel(QStringLiteral("KX2953B35-01"), gone));
    QVERIFY(!gone);
}

void LoginFormTest::administrationStopsAtARefusedLogin() {
    RecordingMessages messages;
    QStringList opened;
    int changes = 0;
    const bool shown = RunAdministration(
        nullptr, folder_->path(), folder_->db(), [&] { ++changes; },
        [&](QDialog& dialog) {
            opened << dialog.objectName();
            Edit(dialog, "txtUser")->setText(QStringLiteral("admin"));
            Edit(dialog, "txtPassword")->setText(QStringLiteral("guess"));
            static_cast<TLoginForm&>(dialog).BitBtn_LogonClick();
            static_cast<TLoginForm&>(dialog).BitBtn_ExitClick();
            return dialog.result();
        });
    QVERIFY(!shown);
    QCOMPARE(opened, QStringList{"LoginForm"});
    QCOMPARE(changes, 0);
}

QTEST_MAIN(LoginFormTest)
#include "login_form_test.moc"
