#pragma once
// The calibration page's switching and calibration operations on the main window: wiring mode
// (BitBtn2), protocol and frame format (BitBtn4), calibration state entry (BitBtn14), the VIP
// calibration, voltage phase compensation, compensation reset and 60-degree power compensation of
// the three segments, the flash write (BitBtn19) and the frequency radio buttons, and the backup
// of the calibration area that the first writing step of a model/port session takes, with its
// restore (恢复标定数据). It reaches the controls through the calibration page's typed members,
// keeps the calibration state of the program run and writes the calibration log. Each operation
// asks and gathers its values here, runs its transactions as a job of the main window's device
// session and shows its outcome when the session is idle again.
// Threads: every member on the GUI thread; only the jobs' work runs on the session's worker.

#include "calib/calibration.h"
#include "calib/switching.h"
#include "gui/calib/calibration_page.h"
#include "session/device_session.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QListWidget;
class SerialLink;
class QPushButton;
class QRadioButton;
class TMainForm;

class CalibrationController : public QObject {
    Q_OBJECT
public:
    explicit CalibrationController(TMainForm& form);

    // Step glyphs of the calibration buttons.
    enum Glyph { FormGlyph = 0, Pending = 1, Done = 2, Finished = 3 };
    // The glyph the button of that object name shows now (FormGlyph until an operation set one).
    int GlyphOf(const char* button) const;

    CalibrationState& state() { return state_; }

    // Appends a line to the calibration log and scrolls to it.
    void AddCalibrationLog(const QString& text);

public slots:
    void BitBtn2Click();
    void BitBtn4Click();
    void BitBtn14Click();
    void BitBtn_VIP1Click(int segment);
    void BitBtn_VXW1Click(int segment);
    void BitBtn_BCFW1Click(int segment);
    void BitBtn_PBC1Click(int segment);
    void BitBtn19Click();
    void Radio_50HZ_1Click(int segment);
    // 恢复标定数据: writes the newest backup of the model's calibration area back and reads it
    // again, after the user confirmed the backup's time.
    void BitBtn_RestoreCalibrationClick();

private:
    // What a frame-format switch of the PC port found, for the outcome messages of its step.
    struct PortSwitchOutcome;
    // The PC port as the main window has it, taken on the GUI thread before a switching job.
    struct PortLine {
        PortIndexes indexes;
        QString portName;
        SerialLink* link;
    };
    PortLine CurrentPortLine();
    // Reconfigures the PC port for a frame format (9600 baud, 8 data bits, parity and stop bits
    // of the format) on the job's thread and reopens the link there; the main window's line
    // settings, Config.ini and the port text follow on the GUI thread. On failure the port is
    // shown closed, as the link is.
    std::function<bool(int)> PortSwitcher(JobContext& job, const PortLine& line,
                                          std::shared_ptr<PortSwitchOutcome> outcome);
    // Shows the outcome messages of a switch (in done).
    void ShowPortSwitchOutcome(const PortSwitchOutcome& outcome);
    // A progress step from the job.
    std::function<void()> ProgressStepper(JobContext& job);
    // The job's log: each line reaches the list on the GUI thread, in order.
    CalibrationLog JobLog(JobContext& job);
    // Refuses with the busy text while a job runs.
    bool RefusedWhileBusy();
    // Submits work as the job named by the button's caption; false (and the busy text shown) if
    // the session refused it.
    bool Submit(QPushButton* button, DeviceSession::Work work, std::function<void()> done);

    // Tab_CSBD of the calibration page, and the controls of segment 1..3 there.
    const CalibrationPage::CalibrationControls& controls() const;
    const CalibrationPage::SegmentControls& Segment(int segment) const;
    bool Is60Hz(int segment) const;
    // Which model and port session a backup belongs to: the model in work, the port, and how
    // often the port was opened (a reopened port may have another unit on it).
    QString BackupSession() const;
    // Runs step, which writes the calibration area, once the area of this model/port session is
    // backed up: the first writing step of a session reads it as a job of the button's own name,
    // stores it as a Calibration record and only then runs step. A read or a store that fails
    // leaves the module unwritten and says so in the log.
    void AfterBackup(QPushButton* button, std::function<void()> step);
    // A step's work on the job's thread: true when it succeeded, with what it wrote noted.
    using StepWork = std::function<bool(JobContext&, RegisterWords*)>;
    // Runs work as the button's job (after the backup when it needsBackup) and stores a
    // Calibration record of the step: its name, what the module acknowledged and whether it
    // succeeded; then succeeded() runs if it did.
    void WritingStep(QPushButton* button, StepWork work, std::function<void()> succeeded,
                     bool needsBackup = true);
    // "1段标定 VIP标定"; the caption alone for a button outside the segments.
    static QString StepName(const QPushButton* button);
    // Stores the record of a step ("step=" line, "written." lines, then more).
    // Asked before every step that writes to the module; 否 (the default) sends nothing.
    bool ConfirmWrite(const QPushButton* button);
    void StoreStepRecord(const QPushButton* button, const QDateTime& started, bool succeeded,
                         const RegisterWords& written, const QString& more = {});
    void SetGlyph(QPushButton* button, Glyph glyph);
    void ClearLog();
    void ShowProgress(int maximum);
    void StepProgress();
    void HideProgress();

    TMainForm& form_;
    QListWidget* log_ = nullptr;
    // Written by a step's job on the worker and read by the next step: the session runs one job
    // at a time and the GUI thread touches it only while no step runs, so it needs no lock.
    CalibrationState state_;
    QString backupSession_; // the session of the last backup stored; empty: none yet
    int portOpenings_ = 0;
};
