#pragma once
// The calibration tab TabSheet1 "产品标定" with its pages Tab_CSPZ "下载配置" (the module's
// configuration fields), Tab_CSBD "标定校准" (the three calibration segments and the calibration
// log) and Tab_XYPZ "协议配置" (wiring mode and protocol). This builds the controls with their
// names, captions and form defaults and hands them out as typed members, one group per page; the
// main window fills the fixed lists and the operations attach their handlers to them. GUI thread
// only.

#include <QWidget>

#include <array>

class FormGrid;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabWidget;
class UpDown;

// The tariff schedule and the pulse fields. The user page repeats them under the same names with
// the prefix "YH_", so the operations read both pages the same way.
struct ScheduleControls {
    struct Segment {
        QLineEdit* hour = nullptr;   // THn
        QLineEdit* minute = nullptr; // TMn
        QLineEdit* tariff = nullptr; // TNn
    };
    std::array<Segment, 12> segments{};
    QLineEdit* readingDay = nullptr;    // TD
    QLineEdit* readingHour = nullptr;   // TH
    QLineEdit* tariffCount = nullptr;   // TFLN
    QLineEdit* segmentCount = nullptr;  // TSDN
    QComboBox* pulseMode = nullptr;     // CB_MCType
    QLineEdit* pulseConstant = nullptr; // LE_MCCS
    QLineEdit* startCurrent = nullptr;  // LE_QDDL
};

// The clock fields (LE_Year .. LE_Miao, on the user page with the prefix "YH_").
struct ClockControls {
    QLineEdit* year = nullptr;   // LE_Year
    QLineEdit* month = nullptr;  // LE_Month
    QLineEdit* day = nullptr;    // LE_Day
    QLineEdit* hour = nullptr;   // LE_Shi
    QLineEdit* minute = nullptr; // LE_Fen
    QLineEdit* second = nullptr; // LE_Miao
};

// The twelve segments' edits of a grid that AddSegmentFields filled from firstRow, taken from the
// grid positions it lays them out at.
std::array<ScheduleControls::Segment, 12> SegmentEdits(const FormGrid& grid, int firstRow);

class CalibrationPage : public QWidget {
    Q_OBJECT
public:
    explicit CalibrationPage(QWidget* parent);

    // Tab_CSPZ "下载配置".
    struct ConfigurationControls {
        QLineEdit* ratedVoltage = nullptr;            // LE_StandVol
        QLineEdit* ratedCurrent = nullptr;            // LE_StandCur
        std::array<QLineEdit*, 3> serialNumbers{};    // LE_GroupNo1..3
        std::array<QLineEdit*, 3> hardwareVersions{}; // LE_YJVNo1..3
        ClockControls clock;                          // LE_Year .. LE_Miao
        ScheduleControls schedule;                    // TH1 .. LE_QDDL
        QComboBox* harmonicMode = nullptr;            // CB_LBType
        QLineEdit* overVoltage = nullptr;             // LE_GYXZ
        QLineEdit* underVoltage = nullptr;            // LE_QYXZ
        QLineEdit* phaseBreak = nullptr;              // LE_DXXZ
        QLineEdit* threshold = nullptr;               // LE_GQDFZ
        QLineEdit* pt = nullptr;                      // LE_PT
        UpDown* ptArrows = nullptr;                   // UpDown_Addr
        QLineEdit* ct = nullptr;                      // LE_CT
        UpDown* ctArrows = nullptr;                   // UpDown1
        QComboBox* ctCount = nullptr;                 // CB_CT_Num
        QLabel* ctCountCaption = nullptr;             // Label3
        QComboBox* demandMethod = nullptr;            // CBox_XLType
        QLabel* demandMethodCaption = nullptr;        // Label7
        QComboBox* frameFormat = nullptr;             // CB_CheckoutType
        QLabel* frameFormatCaption = nullptr;         // Label2
        QComboBox* wiringMode = nullptr;              // CB_NetType
        QLabel* wiringModeCaption = nullptr;          // Label8
        QPushButton* download = nullptr;              // BitBtn1 下载配置
        QPushButton* readBack = nullptr;              // BitBtn6 读取配置
        QPushButton* defaults = nullptr;              // BitBtn_DefaultSet 默认配置
        QPushButton* setClock = nullptr;              // BitBtn9 校时
        QPushButton* readClock = nullptr;             // BitBtn3 读时间
    };

    // One segment's group box GBox_n of Tab_CSBD.
    struct SegmentControls {
        QPushButton* vip = nullptr;               // BitBtn_VIPn VIP标定
        QPushButton* phaseCompensation = nullptr; // BitBtn_VXWn 电压相位补偿
        QPushButton* compensationReset = nullptr; // BitBtn_BCFWn 补偿系数复位
        QPushButton* powerCompensation = nullptr; // BitBtn_PBCn 60度功率补偿
        QRadioButton* hz50 = nullptr;             // Radio_50HZ_n
        QRadioButton* hz60 = nullptr;             // Radio_60HZ_n
    };

    // Tab_CSBD "标定校准".
    struct CalibrationControls {
        std::array<SegmentControls, 3> segments{};
        // The step glyphs Image1..Image3: pending, done, finished.
        std::array<QLabel*, 3> glyphs{};
        QPushButton* finish = nullptr; // BitBtn19 标定完成
        // BitBtn_RestoreCalibration 恢复标定数据: writes back the calibration area backed up
        // before the first calibration write.
        QPushButton* restore = nullptr;
        QListWidget* log = nullptr; // ListBox
    };

    // Tab_XYPZ "协议配置".
    struct ProtocolControls {
        QPushButton* wiring = nullptr;   // BitBtn2 接线模式配置
        QPushButton* protocol = nullptr; // BitBtn4 协议配置
    };

    const ConfigurationControls& configurationTab() const { return configuration_; }
    const CalibrationControls& calibrationTab() const { return calibration_; }
    const ProtocolControls& protocolTab() const { return protocol_; }

private:
    QWidget* buildConfigurationPage();
    QWidget* buildCalibrationPage();
    QWidget* buildProtocolPage();
    QTabWidget* pages_ = nullptr;
    ConfigurationControls configuration_;
    CalibrationControls calibration_;
    ProtocolControls protocol_;
};
