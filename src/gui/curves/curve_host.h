#pragma once
// What the curve page needs from the main window that hosts it: the port and the module address,
// the link, the status bar's StatusText, and the main window's own share of starting and stopping
// a curve reading (the port button, the model list, the tabs of the other pages). TMainForm
// implements it (the names match CheckHost, so one override serves both). GUI thread only.

#include <QString>
#include <QtGlobal>

class DeviceSession;
class Link;

class CurveHost {
public:
    virtual ~CurveHost() = default;
    virtual bool portOpen() const = 0;
    virtual quint8 moduleAddress() const = 0;
    virtual Link& link() = 0;
    // The device session every operation on the module runs in, one job at a time.
    virtual DeviceSession& session() = 0;
    // The folder of Config.ini, whose polling settings the curve loop follows.
    virtual QString dataFolder() const = 0;
    // The status bar field StatusText.
    virtual void SetStatusText(const QString& text) = 0;
    // running true: hide the tabs of TabSheet1 ("产品标定") and TabSheet2 ("实时数据"), disable the
    // port button comk and the model list CB_CPType. false: show the tabs of TabSheet2 and
    // TabSheet4 ("用户配置"), enable comk and CB_CPType; TabSheet1 stays as it is.
    virtual void SetCurveControls(bool running) = 0;
};
