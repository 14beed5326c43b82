#pragma once
// CheckPage: the real-time page "实时数据" (objectName TabSheet2): the unit's serial number and the
// operator, the grid AdvStringGrid with the verdict panel beside it, the four test-point radio
// groups, the data-mode choice and the buttons 读取配置, 检查数据 and 保存数据. It runs Thread_Read
// as a job of the device session ("检查数据"), writes the rows the loop hands over, takes the
// unit's verdict once the readings have settled, records each finished check in the host's results
// database and exports the grid with the record on a worker thread of its own. GUI thread only.

#include "acquire/check.h"
#include "acquire/rows.h"
#include "acquire/verdict.h"
#include "report/check_export.h"
#include "report/workbook_writer.h"
#include "store/database.h"

#include <QDateTime>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>

class CheckHost;
class DeviceSession;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QComboBox;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QThread;
class QTimer;
class Thread_Read;
class UnitCheck;
struct UnitCheckResult;

class CheckPage : public QWidget {
    Q_OBJECT
public:
    explicit CheckPage(CheckHost& host, QWidget* parent = nullptr);
    ~CheckPage() override;

    // The check page's share of the product selection for a protocol (TXXY): the data-mode
    // buttons, 读取配置 and the position of 检查数据. Any other value changes nothing.
    void ApplyProtocol(int txxy);

    // Stops a running check as the stop button does (the window's closing uses it): cancels the
    // job and returns at once; the button stays disabled until the job has ended, and then the
    // page and the host return to their idle state.
    void StopCheck();
    // True from the start of a check until its job has ended.
    bool isRunning() const { return running_; }
    // True from a stop until the job has ended.
    bool isStopping() const { return stopping_; }

    // The test point of the four radio groups, and each group's checked position (-1: none).
    TestPoint CurrentTestPoint() const;
    ExportTestPoint CurrentExportTestPoint() const;

    // The panel of the page's buttons (JY_Pdata); the main window adds its service buttons there.
    QWidget* ServicePanel() const { return panel_; }
    // The running loop, null when no check runs (tests and benchmarks look at its counters).
    Thread_Read* readThread() const { return thread_.get(); }
    // True while an export is being written.
    bool isExporting() const { return exporting_; }

    // The serial number (a barcode scanner types it and ends with Enter, which starts the check)
    // and the operator (remembered in Config.ini).
    QLineEdit* serialEdit() const { return serial_; }
    // The addresses to check in turn (LE_Addresses: "1-8", "1,3,5"); empty checks the module at
    // the address of the serial settings, as ever. With a list, the serial number field takes one
    // number per address, separated by commas, and the verdict panel has one row per unit.
    QLineEdit* addressEdit() const { return addresses_; }
    // The run over an address list, null when none runs.
    const UnitCheck* unitCheck() const { return batch_.get(); }
    QLineEdit* operatorEdit() const { return operator_; }
    // The overall verdict ("合格", "不合格 (2)", "稳定中 1/3", ...) and one line per checked
    // quantity: name, expected, measured, error, limit, verdict.
    QLabel* verdictLabel() const { return verdictLabel_; }
    QTableWidget* verdictTable() const { return verdictTable_; }
    const SettledVerdict& verdict() const { return verdict_; }
    // The record of the last finished check (kept for the export), if any.
    const std::optional<UnitRecord>& lastRecord() const { return lastRecord_; }

    // The test plan to run (CB_Plan: "单点" checks at the selected point, as ever) and 继续
    // (BitBtn_Continue), which the operator presses once the reference source is at the point the
    // page asks for. A plan runs its points in order; each is recorded once it has settled, and
    // the check ends after the last.
    QComboBox* planList() const { return plan_; }
    QPushButton* continueButton() const { return continue_; }
    QPushButton* checkButton() const { return check_; }
    QPushButton* saveButton() const { return save_; }
    // Loads the plans of the host's model into CB_Plan (the product selection calls it).
    void ReloadPlans();
    // The point of the plan being run (0-based), -1 when no plan runs; waiting for 继续 or not.
    int planPoint() const { return running_ && !plan_points_.isEmpty() ? planIndex_ : -1; }
    bool waitingForContinue() const { return waiting_; }

public slots:
    void ContinueClick();

signals:
    // 读取配置 (BitBtn15): the configuration read-back is the main window's operation.
    void ReadConfigurationClicked();

public slots:
    void BitBtn_CheckClick();
    void BitBtn16Click();

private slots:
    // Write the rows and the status line handed over by the reading loop.
    void ShowRows(int firstRow, const QList<AcquiredRow>& rows, bool rowsBuilt, bool dlt645Mode);
    void ShowStatusLine(const QString& text, bool failed);
    void CycleEnded(bool failed);

private:
    void BuildGrid();
    void BuildControls();
    void PrepareGrid();
    void TestPointChanged();
    void SetOwnControls(bool running);
    // The page and the host in the state of a running check, or back to idle.
    void ShowRunning(bool running);
    // The end of the check's job: the page and the host return to their idle state.
    void CheckEnded();
    // The export's worker has written the workbook (or failed to).
    void ExportEnded();
    // Takes the DL/T 645 "being read" marker off the row that carries it.
    void ClearMarker();
    void BuildVerdictPanel(QWidget* parent);
    void ShowVerdict();
    // The record of the check that just ended, added to the host's results database.
    void RecordCheck();

    CheckHost& host_;
    QTableWidget* grid_ = nullptr;
    QWidget* panel_ = nullptr;
    QRadioButton* pzData_ = nullptr;
    QRadioButton* xbData_ = nullptr;
    QPushButton* bitBtn15_ = nullptr;
    QPushButton* check_ = nullptr;
    QPushButton* save_ = nullptr;
    QButtonGroup* voltage_ = nullptr;
    QButtonGroup* current_ = nullptr;
    QButtonGroup* angle_ = nullptr;
    QButtonGroup* frequency_ = nullptr;
    QTimer* reenableCheck_ = nullptr;
    // Shared with the job, which may outlive the page when the page goes first.
    std::shared_ptr<Thread_Read> thread_;
    // The session the running check was submitted to; null once it is gone.
    QPointer<DeviceSession> session_;
    std::unique_ptr<QThread> exportWorker_;
    ExportResult exportResult_; // written by exportWorker_, read once it has finished
    QString exportPath_;
    bool running_ = false;
    bool stopping_ = false;
    bool exporting_ = false;
    int markedRow_ = -1; // the row carrying the DL/T 645 marker, -1 for none

    QLineEdit* serial_ = nullptr;
    QLineEdit* addresses_ = nullptr;
    std::unique_ptr<UnitCheck> batch_;
    QList<UnitCheckResult> batchResults_;
    // Checks each address of the list in turn; false after telling the operator what is wrong.
    bool StartAddressList(const QString& list);
    void BatchUnitEnded(const UnitCheckResult& result);
    void BatchEnded();
    // The overall line of an address list: running's text while it runs, the count after.
    void ShowBatchVerdict(const QString& running);
    void AddBatchRow(const UnitCheckResult& result);
    QLineEdit* operator_ = nullptr;
    QLabel* verdictLabel_ = nullptr;
    QTableWidget* verdictTable_ = nullptr;
    // The rows as shown, by data row, for the verdict.
    QList<AcquiredRow> shown_;
    SettledVerdict verdict_;
    // The running check's identity, taken at its start.
    UnitRecord record_;
    int cyclesEnded_ = 0;
    std::optional<UnitRecord> lastRecord_;

    QComboBox* plan_ = nullptr;
    QPushButton* continue_ = nullptr;
    QList<TestPlan> plans_;
    // The points of the plan being run; empty for a check at one point.
    QList<TestPlanPoint> plan_points_;
    int planIndex_ = 0;
    bool waiting_ = false;
    // Sets the radio groups to a point of the plan and asks for it.
    void AskForPlanPoint();
    void SelectPoint(const TestPlanPoint& point);
};
