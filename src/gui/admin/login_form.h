#pragma once
// TLoginForm "用户登录": the administrator's login in front of the management window. It opens
// with the remembered name of Config.ini (SysInfo/User), checks the name and password against
// usertable and, on success, remembers the name on request and accepts; the caller then opens
// the management window. GUI thread only.

#include <QDialog>
#include <QString>

class ProductDatabase;
class QCheckBox;
class QLineEdit;

class TLoginForm : public QDialog {
    Q_OBJECT
public:
    TLoginForm(const QString& dataDir, ProductDatabase& db, QWidget* parent = nullptr);

    // "登    录" (and Enter in either field). True when the login succeeded and the dialog was
    // accepted; a refusal shows its message and leaves the dialog open.
    bool BitBtn_LogonClick();
    // "取    消".
    void BitBtn_ExitClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString dataDir_;
    ProductDatabase& db_;
    QLineEdit* txtUser_ = nullptr;
    QLineEdit* txtPassword_ = nullptr;
    QCheckBox* userNameCheckBox_ = nullptr;
};
