#pragma once
// The calibration page's switching and calibration operations on the main window: wiring mode
// (BitBtn2), protocol and frame format (BitBtn4), calibration state entry (BitBtn14), the VIP
// calibration, voltage phase compensation, compensation reset and 60-degree power compensation of
// the three segments, the flash write (BitBtn19) and the frequency radio buttons. It finds the
// controls by name, keeps the calibration state of the program run and writes the calibration
// log. Every operation holds the one DeviceOperation while it runs. GUI thread only.

#include "calib/calibration.h"

#include <QObject>
#include <QString>

class QListWidget;
class QPushButton;
class QRadioButton;
class TMainForm;

class CalibrationController : public QObject {
    Q_OBJECT
public:
    explicit CalibrationController(TMainForm& form);

    // Step glyphs of the calibration buttons.
    enum Glyph { FormGlyph = 0, Pending = 1, Done = 2, Finished = 3 };
    // The glyph a button shows now (FormGlyph until an operation set one).
    int GlyphOf(const char* button) const;

    CalibrationState& state() { return state_; }

    // Reconfigures the PC port for a frame format (9600 baud, 8 data bits, parity and stop bits
    // of the format), stores the line settings in Config.ini and reopens the link. On failure the
    // port is shown closed, as the link is.
    bool SwitchPortFormat(int frameFormat);
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

private:
    QPushButton* Button(const char* name) const;
    QPushButton* SegmentButton(const char* prefix, int segment) const;
    bool Is60Hz(int segment) const;
    void SetGlyph(QPushButton* button, Glyph glyph);
    void ClearLog();
    void ShowProgress(int maximum);
    void StepProgress();
    void HideProgress();
    CalibrationLog Log();

    TMainForm& form_;
    QListWidget* log_ = nullptr;
    CalibrationState state_;
};
