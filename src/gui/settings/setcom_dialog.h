#pragma once
// TSetComForm "系统通信设置": chooses the port and the line settings. It opens preselected from the
// SetCom section of Config.ini and, on "确定", stores the choice there and hands it to the main
// window, which uses it at the next opening of the port. GUI thread only.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <optional>

class QComboBox;
class QLineEdit;
class UpDown;

// The list items of the line settings, index = value stored and used.
QStringList BaudRateItems(); // "1200" .. "38400"
QStringList ParityItems();   // "N无", "O奇", "E偶"
QStringList DataBitsItems(); // "6", "7", "8"
QStringList StopBitsItems(); // "1", "2"

// The status bar's port text: port, baud rate, parity label, data bits and stop bits joined by
// "," ("COM1,9600,N无,8,1"); an index outside its table gives an empty field.
QString PortStatusText(const QString& port, int baudIndex, int parityIndex, int dataBitsIndex,
                       int stopBitsIndex);

// What "确定" hands to the main window.
struct SerialChoice {
    int portIndex = -1;
    QString portName; // the entry's text, blanks trimmed; empty without a selection
    int baudIndex = -1;
    int parityIndex = -1;
    int dataBitsIndex = -1;
    int stopBitsIndex = -1;
    int address = 1;          // as typed, unreduced (stored in the file like this)
    quint8 moduleAddress = 1; // the address modulo 256
    QString portText;         // the ComText of the choice
};

// The choice the saved SetCom section makes among the ports present, as the window takes it at
// start-up: the stored device path where there is one (even while that device is away, so that
// opening names it), else the entry at the stored index of the sorted list. Nothing when a line
// setting lies outside its table. Throws ConversionError for a key that is missing or no number.
std::optional<SerialChoice> SavedSerialChoice(const QString& dataDir, const QStringList& ports);

class TSetComForm : public QDialog {
    Q_OBJECT
public:
    // ports: the ports present, in any order; the list shows them sorted as text. Loading errors
    // of Config.ini are shown through the message seam and leave the lists without a selection.
    TSetComForm(const QString& dataDir, const QStringList& ports, QWidget* parent = nullptr);

    // "确定": validates, stores SetCom, keeps the choice and accepts. A field that does not
    // convert shows the conversion error and returns false with nothing written.
    bool BitBtn1Click();
    // "取消".
    void BitBtn2Click();
    const SerialChoice& choice() const { return choice_; }

private:
    void FormCreate(const QStringList& ports);

    QString dataDir_;
    QComboBox* comList_ = nullptr;
    QComboBox* baudList_ = nullptr;
    QComboBox* parityList_ = nullptr;
    QComboBox* dataBitsList_ = nullptr;
    QComboBox* stopBitsList_ = nullptr;
    QLineEdit* editAddr_ = nullptr;
    UpDown* upDownAddr_ = nullptr;
    SerialChoice choice_;
};
