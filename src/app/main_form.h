#pragma once
// TMainForm: the main window. It owns the application state shared by the pages (line settings,
// rated values, the port) and runs the tool bar, the status bar and the closing sequence.
// GUI thread only.

#include <QMainWindow>
#include <QString>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTimer;
class QToolButton;
class SerialLink;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // dataDir holds Config.ini, Config.db and HELP.HLP (the executable's folder in use).
    TMainForm(const QString& dataDir, SerialLink& link, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Line settings (changed by the serial settings dialog and the frame-format switch).
    QString PortName = QStringLiteral("COM1");
    int PortIndex = 0;
    int BaudIndex = 3;
    int ParityIndex = 0;
    int DataBitsIndex = 2;
    int StopBitsIndex = 0;
    quint8 ModuleAddress = 1;
    bool PortOpen = false;
    double RatedVoltage = 220.0;
    double RatedCurrent = 5.0;

    QString dataDir() const { return dataDir_; }
    SerialLink& link() { return link_; }

public slots:
    void comkClick();
    void exitClick();
    void N5Click();
    void sendClick();
    void PageControl1Change(int index);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildToolBar();
    void buildMenu();
    void buildPages();
    void buildStatusBar();
    void Timer1Timer();

    QString dataDir_;
    SerialLink& link_;
    QToolButton* comk_ = nullptr;
    QToolButton* toolButton5_ = nullptr;
    QComboBox* cbCPType_ = nullptr;
    QTabWidget* pageControl1_ = nullptr;
    QLabel* stime_ = nullptr;
    QLabel* comText_ = nullptr;
    QLabel* statusText_ = nullptr;
    QLabel* stext1_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QTimer* timer1_ = nullptr;
};
