#pragma once
// TSetCheckForm "检验参数配置": the accuracy classes and rated values of the data check (section
// SetCheck of Config.ini). It does not touch the main window: the check reads the file when it
// starts. GUI thread only.

#include <QDialog>

class QLineEdit;

class TSetCheckForm : public QDialog {
    Q_OBJECT
public:
    // Loads SetCheck into the fields. Throws ConversionError when the section is incomplete or
    // holds a text that is not a number: the dialog then does not open.
    explicit TSetCheckForm(const QString& dataDir, QWidget* parent = nullptr);

    // "确定": converts all nine fields, stores them and accepts. A field that does not convert
    // shows the conversion error and returns false with nothing written.
    bool BitBtn1Click();
    // "取消".
    void BitBtn2Click();

private:
    QString dataDir_;
    // In the order of the file: U, I, JDF, JDU, JDI, JDC, JDP, JDQ, JDS.
    QLineEdit* fields_[9] = {};
};
