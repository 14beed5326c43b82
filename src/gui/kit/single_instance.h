#pragma once
// One window per station, a station being the serial port it starts on. The first start for a
// port holds a lock file for it in the user's runtime folder and listens on a local socket; a
// second start for the same port finds the lock held, asks the running window to come to the
// front and ends. A start for another port (kx7410 --port /dev/ttyUSB1) is a station of its own,
// so one PC drives two adapters. The port itself is guarded again when it opens: its lock file
// tells a window that tries another window's port that the port is in use. GUI thread only, held
// for the life of the process.

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <memory>

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // port: the device the station starts on (may be empty). lockDir empty: the user's runtime
    // folder.
    explicit SingleInstance(const QString& port, const QString& lockDir = {});
    bool isFirst() const { return first_; }
    // A second start: asks the running window of this port to come to the front. False when none
    // answered (it may be starting or hung).
    bool BringRunningToFront();

signals:
    // A later start for the same port asked for the window.
    void raiseRequested();

private:
    QString name_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
    bool first_ = false;
};

// The local socket name of a port's station, per user.
QString InstanceName(const QString& port);
