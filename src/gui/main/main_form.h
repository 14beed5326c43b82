#pragma once
// TMainForm: the main window. It owns the station's state shared by the pages (line settings,
// rated values, the port, the selected product and its scheme) and runs the tool bar, the
// status bar, the product selection and the closing sequence. It hosts the real-time page as
// its CheckHost. GUI thread only.

#include "gui/check/check_host.h"
#include "gui/curves/curve_host.h"
#include "session/device_session.h"
#include "session/station_state.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <memory>

class CalibrationController;
class CalibrationPage;
class ConfigurationController;
class CheckPage;
class CurvePage;
class ProductDatabase;
class QAction;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTimer;
class QToolButton;
class SerialLink;
class TrafficLog;
class ResultsDatabase;
class TrafficPanel;
class RecordsPage;
class UserPage;
struct SerialChoice;

class TMainForm : public QMainWindow, public CheckHost, public CurveHost {
    Q_OBJECT
public:
    // dataDir holds Config.ini, Config.db and HELP.HLP (the executable's folder in use); the
    // database must be open. Construction loads the model list and selects the first model;
    // failures on the way are shown through the message seam and leave the window usable.
    TMainForm(const QString& dataDir, SerialLink& link, ProductDatabase& database,
              QWidget* parent = nullptr);
    ~TMainForm() override;

    // The line settings, the port, the selected product and the ratings the pages share.
    StationState& station() { return station_; }
    const StationState& station() const { return station_; }

    // SysInfo/Engineering=1: the calibration and curve tabs, "管理配置" and "进入标定状态" are
    // reachable.
    bool EngineeringMode = false;

    QString dataDir() const { return dataDir_; }
    SerialLink& serialLink() { return link_; }
    CalibrationPage* calibrationPage() const { return calibrationPage_; }
    UserPage* userPage() const { return userPage_; }
    CheckPage* checkPage() const { return checkPage_; }
    CurvePage* curvePage() const { return curvePage_; }
    QTabWidget* pageControl() const { return pageControl1_; }
    // The model list CB_CPType and 进入标定状态 (BitBtn14) beside it.
    QComboBox* modelList() const { return cbCPType_; }
    QPushButton* calibrationEntryButton() const { return bitBtn14_; }
    // The service buttons the window adds to the real-time page: 清除电能数据 (BitBtn7) and
    // 清除需量数据 (BitBtn8).
    QPushButton* clearEnergyButton() const { return bitBtn7_; }
    QPushButton* clearDemandButton() const { return bitBtn8_; }
    // The status bar's progress bar (long operations show it) and port text.
    QProgressBar* progressBar() const { return progressBar_; }
    QLabel* comText() const { return comText_; }
    // The dock 通信监视 (hidden at the start; 查看 → 通信监视 shows it) and the log it shows.
    TrafficPanel* trafficPanel() const { return trafficPanel_; }
    // 检验记录: the records of this station's results database, refreshed when shown.
    RecordsPage* recordsPage() const { return recordsPage_; }
    TrafficLog& trafficLog() { return *traffic_; }
    // Results.db beside Config.db (or the server's tables): the records of the units this station
    // checked, calibrated or configured. A store that cannot be opened was reported at the start;
    // adding to it then fails visibly (on a server, the record waits in the queue file).
    ResultsDatabase& results() { return *results_; }
    ResultsDatabase* resultsDatabase() override { return results_.get(); }
    UnitRecord RecordTemplate() const override;

    // Applies what the serial settings dialog confirmed: the line settings (the port text follows).
    void ApplySerialChoice(const SerialChoice& choice);

    // CheckHost
    bool portOpen() const override { return station_.portOpen(); }
    quint8 moduleAddress() const override { return station_.line().ModuleAddress; }
    QString modelText() const override;
    int protocol() const override { return station_.product().TXXY; }
    Link& link() override;
    DeviceSession& session() override { return *session_; }
    ProductDatabase& database() override { return database_; }
    QString dataFolder() const override { return dataDir_; }
    void SetCheckControls(bool running) override;
    // CurveHost (portOpen, moduleAddress and link are shared with CheckHost)
    void SetStatusText(const QString& text) override;
    void SetCurveControls(bool running) override;

public slots:
    void comkClick();
    void ToolButton5Click();
    void ToolButton6Click();
    // The login and then the management window; the model list follows their changes.
    void ToolButton1Click();
    // Refills the model list from the database, keeping the model in work while it exists.
    void ReloadModelList();
    // The model list refilled from the database, the product in use kept (before it opens).
    void RefreshModelItems();
    void exitClick();
    void N5Click();
    void sendClick();
    // The help file's anchor of the page on show.
    QString currentHelpAnchor() const;
    void PageControl1Change(int index);
    // The product selection: loads the model's Config and Fstable rows and arranges the pages
    // for them. Also run by the operations that must see the database's current values.
    void CB_CPTypeChange();
    // Default values of the calibration page's configuration fields.
    void BitBtn_DefaultSetClick();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildToolBar();
    void buildMenu();
    void buildPages();
    void buildStatusBar();
    // F1 (help at the current page), F5 (start/stop the check), Ctrl+S (save the data) and the
    // Alt+letter keys of the tool buttons.
    void buildKeys();
    void Timer1Timer();
    void FillFixedLists();
    void LoadModelList();
    void ApplyEngineeringMode();
    void LoadProduct();
    static void SetEnabled(const QList<QWidget*>& controls, bool enabled);
    void ApplyProtocolLayout();
    // The real-time page's share of the product selection.
    void ApplyCheckProtocol(int txxy);
    // While the session runs a job, the controls that touch the device or the selection are
    // locked and a handler called anyway refuses with the busy text.
    void SessionStateChanged(DeviceSession::State state, const QString& operation);
    void LockControls(const QList<QWidget*>& controls);
    bool RefuseWhileBusy();

    QString dataDir_;
    StationState station_;
    SerialLink& link_;
    ProductDatabase& database_;
    // Every exchange of the link, for the traffic monitor; outlives the session's jobs.
    std::unique_ptr<TrafficLog> traffic_;
    std::unique_ptr<ResultsDatabase> results_;
    // Ends before the pages and controllers (children) go: its destruction cancels a running job
    // and joins the worker, so nothing of a job outlives the window.
    std::unique_ptr<DeviceSession> session_;
    // The operator said yes to quitting; set while a running job is brought to its end.
    bool closeConfirmed_ = false;
    QToolButton* comk_ = nullptr;
    QToolButton* toolButton5_ = nullptr;
    QToolButton* toolButton6_ = nullptr;
    QToolButton* toolButton1_ = nullptr;
    QToolButton* helpButton_ = nullptr;
    QToolButton* exitButton_ = nullptr;
    QAction* toolButton1Action_ = nullptr;
    QPushButton* bitBtn14_ = nullptr;
    QPushButton* bitBtn7_ = nullptr;
    QPushButton* bitBtn8_ = nullptr;
    QComboBox* cbCPType_ = nullptr;
    QTabWidget* pageControl1_ = nullptr;
    CalibrationPage* calibrationPage_ = nullptr;
    CheckPage* checkPage_ = nullptr;
    CurvePage* curvePage_ = nullptr;
    UserPage* userPage_ = nullptr;
    QLabel* stime_ = nullptr;
    QLabel* comText_ = nullptr;
    QLabel* statusText_ = nullptr;
    QLabel* stext1_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    TrafficPanel* trafficPanel_ = nullptr;
    RecordsPage* recordsPage_ = nullptr;
    QTimer* timer1_ = nullptr;
    ConfigurationController* configuration_ = nullptr;
    CalibrationController* calibration_ = nullptr;
    QList<QPointer<QWidget>> locked_;
};
