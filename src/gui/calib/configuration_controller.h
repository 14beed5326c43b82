#pragma once
// The window's share of the configuration operations: the download, read-back and clock buttons
// of the calibration page (Tab_CSPZ, and BitBtn15 of the real-time page), and the user page's
// download and service buttons with the two clear buttons of the real-time page. It reaches the
// controls through the pages' typed members, gathers and converts every value an operation sends
// before anything is submitted, runs the engine's blocks as one job of the main window's device
// session and, once the session is idle again, fills the controls and reports through the message
// seam.
// GUI thread only; the jobs never touch a widget.

#include "gui/calib/calibration_page.h"
#include "gui/calib/user_page.h"
#include "session/device_session.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class TMainForm;
class QLineEdit;
struct ConfigurationFields;
struct CalibrationFields;
struct UserParameters;

class ConfigurationController : public QObject {
    Q_OBJECT
public:
    explicit ConfigurationController(TMainForm& form);

    // The configuration download without the product selection 下载配置 runs first: every
    // block and the scheme's output-parameter list are formed, then the download is submitted
    // (false when the session refused it, after its message). A field that does not convert, or
    // holds a value its register or data item cannot carry, throws ConversionError before
    // anything is submitted. The outcome is reported when the session is idle again.
    bool DownloadConfiguration();

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
    // The configuration fields of the calibration page and the controls of the user page.
    const CalibrationPage::ConfigurationControls& fields() const;
    const UserPage::Controls& userFields() const;
    // A rating field whose value × scale must fit the module's 32-bit word; a text that does not
    // convert or a value that does not fit throws ConversionError naming the field by its caption.
    double rating(const QLineEdit* field, int scale) const;
    ConfigurationFields GatherConfiguration() const;
    CalibrationFields GatherCalibration() const;
    UserParameters GatherUserParameters(int protocol) const;
    void ShowUserTime(const class QDateTime& now);
    // Shared start of every port operation: false (with its message) when the port is closed.
    bool PortReady();
    // False (with the session's message) while another operation runs.
    bool SessionIdle();
    // Submits work as a Busy job named after its button; false (with the session's message)
    // when the session refused it. Once the job has ended the progress bar is hidden and done
    // reports, unless the job was cancelled (the window is closing): then nothing is shown.
    bool Start(const QString& operation, DeviceSession::Work work, std::function<void()> done);
    // Shows the main window's progress bar at 0 of maximum.
    void ShowProgress(int maximum);
    void HideProgress();
    // The read-back into the controls: the 44 words from 260, then the protocol word and the
    // 30 words from 11002.
    void ShowUserWords(const std::vector<uint16_t>& w);
    void ShowCalibrationWords(uint16_t protocol, const std::vector<uint16_t>& c);
    void YaaoReadClick(const QString& operation, unsigned char command, const QString& failure);
    void ClearClick(const QString& operation, bool energy);

    TMainForm& form_;
};
