#pragma once
// The calibration tab TabSheet1 "产品标定" with its pages Tab_CSPZ "下载配置" (the module's
// configuration fields), Tab_CSBD "标定校准" (the three calibration segments and the calibration
// log) and Tab_XYPZ "协议配置" (wiring mode and protocol). This builds the controls with their
// names, captions and form defaults; the main window fills the fixed lists and the operations
// attach their handlers by name. GUI thread only.

#include <QWidget>

class QTabWidget;

class CalibrationPage : public QWidget {
    Q_OBJECT
public:
    explicit CalibrationPage(QWidget* parent);

    // A control of the page by its name; null if there is none of that type.
    template <typename T> T* control(const char* name) const {
        return findChild<T*>(QLatin1String(name));
    }

private:
    QWidget* buildConfigurationPage();
    QWidget* buildCalibrationPage();
    QWidget* buildProtocolPage();
    QTabWidget* pages_ = nullptr;
};
