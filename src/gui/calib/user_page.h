#pragma once
// The user tab TabSheet4 "用户配置": the user parameters (Panel10 with GroupBox5), the download
// and service buttons (Panel8), and the service log (Panel11 with ListBox1). The product
// selection shows the parts that the model's protocol uses. This builds the controls with their
// names, captions and form defaults and hands them out as typed members; the operations attach
// their handlers to them. GUI thread only.

#include "gui/calib/calibration_page.h"

#include <QWidget>

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

class UserPage : public QWidget {
    Q_OBJECT
public:
    explicit UserPage(QWidget* parent);

    struct Controls {
        QWidget* parameters = nullptr;          // Panel10: the user parameters
        ScheduleControls schedule;              // YH_TH1 .. YH_LE_QDDL
        QComboBox* wiringMode = nullptr;        // YH_CB_NetType
        QLineEdit* pt = nullptr;                // YH_LE_PT
        QLineEdit* ct = nullptr;                // YH_LE_CT
        QComboBox* ctCount = nullptr;           // YH_CB_CT_Num
        QComboBox* harmonicMode = nullptr;      // YH_CB_LBType
        QComboBox* lowBaud = nullptr;           // YH_CB_DBTLSN
        QLineEdit* overVoltage = nullptr;       // YH_LE_GYXZ
        QLineEdit* underVoltage = nullptr;      // YH_LE_QYXZ
        QLineEdit* phaseBreak = nullptr;        // YH_LE_DXXZ
        QLineEdit* threshold = nullptr;         // YH_GQDFZ
        QComboBox* demandMethod = nullptr;      // YH_CB_JSXLFS
        ClockControls clock;                    // YH_LE_Year .. YH_LE_Miao
        QWidget* logPanel = nullptr;            // Panel11: the 亚奥 service log
        QListWidget* log = nullptr;             // ListBox1
        QPushButton* download = nullptr;        // BitBtn5 下载配置
        QLineEdit* energyBase = nullptr;        // YH_LEdit_DS 电量底数
        QPushButton* setEnergyBase = nullptr;   // BitBtn10 设置电量底数
        QPushButton* readAddress = nullptr;     // BitBtn11 读通信地址
        QPushButton* readCalibration = nullptr; // BitBtn12 读标定数据
        QPushButton* readRawData = nullptr;     // BitBtn13 读原始数据
    };

    const Controls& controls() const { return controls_; }

private:
    Controls controls_;
};
