#pragma once
// The window's share of the configuration operations: the download, read-back and clock buttons
// of the calibration page (Tab_CSPZ, and BitBtn15 of the real-time page), and the user page's
// download and service buttons with the two clear buttons of the real-time page. It finds the
// controls by name, gathers and converts every value an operation sends before the first write,
// runs the engine's blocks over the main window's link and reports through the message seam.
// GUI thread only.

#include <QObject>
#include <QString>

class TMainForm;
class QLineEdit;
class QComboBox;
struct ConfigurationFields;
struct CalibrationFields;
struct UserParameters;
struct FieldRange;

class ConfigurationController : public QObject {
    Q_OBJECT
public:
    explicit ConfigurationController(TMainForm& form);

    // Each returns false on the first failed transaction (what went before stays written); a
    // field that does not convert, or holds a value its register or data item cannot carry,
    // throws ConversionError before anything is sent.
    bool DownloadConfiguration();
    bool DownloadOutputParameterList();
    bool ReadConfiguration();

public slots:
    void BitBtn1Click(); // 下载配置
    void BitBtn6Click(); // 读取配置 (also BitBtn15)
    void BitBtn9Click(); // 校时
    void BitBtn3Click(); // 读时间
    void LE_StandVolChange();
    void BitBtn5Click();  // user download
    void BitBtn10Click(); // energy base
    void BitBtn11Click(); // read address
    void BitBtn12Click(); // read calibration data
    void BitBtn13Click(); // read raw data
    void BitBtn7Click();  // clear energy
    void BitBtn8Click();  // clear demand
    void AddUserLog(const QString& text);

private:
    QLineEdit* edit(const char* name) const;
    QComboBox* combo(const char* name) const;
    QLineEdit* userEdit(const char* name) const;
    QComboBox* userCombo(const char* name) const;
    // A field's value within range; a text that does not convert or a value outside the range
    // throws ConversionError naming the field by its caption.
    int value(const char* name, FieldRange range) const;
    int userValue(const char* name, FieldRange range) const;
    // A rating field whose value × scale must fit the module's 32-bit word.
    double rating(const char* name, int scale) const;
    ConfigurationFields GatherConfiguration() const;
    CalibrationFields GatherCalibration() const;
    UserParameters GatherUserParameters(int protocol) const;
    void ShowUserTime(const class QDateTime& now);
    // Shared start of every port operation: false (with its message) when the port is closed.
    bool PortReady();
    void YaaoReadClick(unsigned char command, const QString& failure);

    TMainForm& form_;
};
