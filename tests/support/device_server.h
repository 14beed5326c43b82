#pragma once
// A serial device server in raw mode for tests: socat listening on 127.0.0.1 and bridging one TCP
// connection to a pseudo-terminal of kx7410-sim, as a device server bridges its serial port; and
// ports on 127.0.0.1 for such listeners.

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QThread>

#include "sim_process.h"

// Listens on 127.0.0.1:port for one connection to device (the simulator's slave side).
class DeviceServer {
public:
    DeviceServer(const QString& device, int port) {
        proc_.start("socat", {QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr").arg(port),
                              QStringLiteral("FILE:%1,raw,echo=0,b9600").arg(device)});
        proc_.waitForStarted(kToolWaitMs);
        for (int i = 0; i < 200 && !Listening(port); ++i)
            QThread::msleep(25);
    }
    ~DeviceServer() { Kill(); }
    // The far side goes away, as a device server that is switched off.
    void Kill() {
        if (proc_.state() == QProcess::NotRunning) return;
        proc_.kill();
        proc_.waitForFinished(kToolWaitMs);
    }

private:
    // A listening socket on 127.0.0.1:port in the kernel's table (state 0A).
    static bool Listening(int port) {
        QFile table("/proc/net/tcp");
        if (!table.open(QIODevice::ReadOnly)) return false;
        const QByteArray local =
            QStringLiteral("0100007F:%1").arg(port, 4, 16, QLatin1Char('0')).toUpper().toLatin1();
        for (const QByteArray& line : table.readAll().split('\n')) {
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() > 3 && f[1] == local && f[3] == "0A") return true;
        }
        return false;
    }
    QProcess proc_;
};

// A port on 127.0.0.1 for a listener of a test, different for each call and each test process.
inline int FreePort() {
    static int next = 20000 + int(QCoreApplication::applicationPid() % 2000) * 10;
    return next++;
}
