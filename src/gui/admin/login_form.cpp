#include "gui/admin/login_form.h"

#include "admin/admin_rules.h"
#include "common/conversion.h"
#include "gui/kit/help_viewer.h"
#include "gui/kit/messages.h"
#include "store/settings.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

TLoginForm::TLoginForm(const QString& dataDir, ProductDatabase& db, QWidget* parent)
    : QDialog(parent), dataDir_(dataDir), db_(db) {
    setObjectName(QStringLiteral("LoginForm"));
    AddHelpKey(this, QStringLiteral("admin"));
    setWindowTitle(tr("用户登录"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    auto* outer = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(48, 48));
    auto* greeting = new QLabel(tr("        欢迎登陆        请输入相关信息"), this);
    greeting->setObjectName(QStringLiteral("Label2"));
    top->addWidget(picture);
    top->addWidget(greeting, 1);
    outer->addLayout(top);

    auto* form = new QFormLayout;
    txtUser_ = new QLineEdit(this);
    txtUser_->setObjectName(QStringLiteral("txtUser"));
    txtPassword_ = new QLineEdit(this);
    txtPassword_->setObjectName(QStringLiteral("txtPassword"));
    txtPassword_->setEchoMode(QLineEdit::Password);
    form->addRow(tr("用 户 名："), txtUser_);
    form->addRow(tr("密      码："), txtPassword_);
    outer->addLayout(form);

    userNameCheckBox_ = new QCheckBox(tr("保存登陆名"), this);
    userNameCheckBox_->setObjectName(QStringLiteral("UserName_CheckBox"));
    userNameCheckBox_->setChecked(true);
    outer->addWidget(userNameCheckBox_);

    auto* buttons = new QHBoxLayout;
    auto* logon =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), tr("登    录"), this);
    logon->setObjectName(QStringLiteral("BitBtn_Logon"));
    auto* exit =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), tr("取    消"), this);
    exit->setObjectName(QStringLiteral("BitBtn_Exit"));
    // Enter is handled by the fields themselves; a default button would log on a second time.
    for (QPushButton* b : {logon, exit}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    buttons->addStretch();
    buttons->addWidget(logon);
    buttons->addWidget(exit);
    outer->addLayout(buttons);
    connect(logon, &QPushButton::clicked, this, [this] { BitBtn_LogonClick(); });
    connect(exit, &QPushButton::clicked, this, &TLoginForm::BitBtn_ExitClick);

    txtUser_->installEventFilter(this);
    txtPassword_->installEventFilter(this);

    QString remembered;
    try {
        remembered = LoadLastUser(dataDir_).trimmed();
    } catch (const ConversionError& e) {
        Ui().error(this, e.text());
    }
    if (!remembered.isEmpty()) txtUser_->setText(remembered);
    setFixedSize(sizeHint());
}

bool TLoginForm::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == txtUser_ || watched == txtPassword_) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            BitBtn_LogonClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool TLoginForm::BitBtn_LogonClick() {
    const QString user = txtUser_->text().trimmed();
    switch (CheckLogin(db_, user, txtPassword_->text())) {
    case LoginResult::DatabaseError:
        Ui().inform(this, AdminText::DatabaseFailed);
        return false;
    case LoginResult::UnknownUser:
        Ui().inform(this, AdminText::UnknownUser);
        txtUser_->clear();
        txtUser_->setFocus();
        return false;
    case LoginResult::WrongPassword:
        Ui().inform(this, AdminText::WrongPassword);
        txtPassword_->clear();
        txtPassword_->setFocus();
        return false;
    case LoginResult::Success:
        break;
    }
    try {
        SaveLastUser(dataDir_, userNameCheckBox_->isChecked() ? user : QString());
    } catch (const ConversionError& e) {
        // The name is only remembered for convenience; the login itself stands.
        Ui().error(this, e.text());
    }
    hide();
    accept();
    return true;
}

void TLoginForm::BitBtn_ExitClick() {
    reject();
}
