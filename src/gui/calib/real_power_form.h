#pragma once
// TRealPowerForm "请填写当前频率下": asks for the reference source's true active power before a
// 60-degree power compensation. "确定" refuses an empty field and keeps the dialog open; otherwise
// it stores the value and closes. Tests install an answerer that fills the field and presses
// "确定" on the constructed dialog instead of running it modally. GUI thread only.

#include <QDialog>

#include <functional>

class QLineEdit;
class QPushButton;

class TRealPowerForm : public QDialog {
    Q_OBJECT
public:
    // sourceActivePower receives the value on "确定"; it keeps its value otherwise.
    TRealPowerForm(double& sourceActivePower, QWidget* parent = nullptr);

    // "确定": an empty field shows "请填写源的真实有功功率值！", a text that is not a number the
    // conversion error; both leave the dialog open. True when the value was taken.
    bool BitBtn1Click();
    QLineEdit* LE_RealPower() const { return edit_; }

    // Shows the dialog modally and destroys it when it closes; the outcome is not examined.
    static void Run(double& sourceActivePower, QWidget* parent);
    // Tests: called with the dialog in place of the modal run (null restores the modal run).
    using Answerer = std::function<void(TRealPowerForm&)>;
    static void SetAnswerer(Answerer answerer);

private:
    double& target_;
    QLineEdit* edit_ = nullptr;
    QPushButton* ok_ = nullptr;
};
