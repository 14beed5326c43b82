#pragma once
// kx7410-sim as a child process on a real pseudo-terminal, for tests: started with a link in its
// own temporary folder, driven by its standard-input commands, ended (and joined) when the object
// goes. Link the test with kxtestsupport, which names the simulator and its data folder.

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

inline constexpr int kToolWaitMs = 20000; // generous: the machine is shared

class SimProcess {
public:
    explicit SimProcess(QStringList extra = {}) {
        link_ = dir_.filePath("ttyKX");
        QStringList args{"--link", link_, "--data", QStringLiteral(KX_SIM_DATA_DIR)};
        args += extra;
        proc_.start(QStringLiteral(KX_SIM_EXE), args);
        proc_.waitForStarted(kToolWaitMs);
        device_ = readLine();
    }
    ~SimProcess() { stop(); }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    QString readLine() {
        while (!proc_.canReadLine())
            if (!proc_.waitForReadyRead(kToolWaitMs)) return {};
        return QString::fromUtf8(proc_.readLine()).trimmed();
    }
    // Sends one command and returns its one-line answer ("ok ..." or "error ...").
    QString command(const QString& line) {
        proc_.write((line + "\n").toUtf8());
        proc_.waitForBytesWritten(kToolWaitMs);
        return readLine();
    }
    // Registers as the module holds them ("get" command); empty on an error answer.
    QList<int> registers(int first, int count = 1) {
        const QString answer = command(QStringLiteral("get %1 %2").arg(first).arg(count));
        QList<int> values;
        const QStringList words = answer.split(' ', Qt::SkipEmptyParts);
        if (words.value(0) != QLatin1String("ok")) return values;
        for (qsizetype i = 1; i < words.size(); ++i)
            values << words[i].toInt();
        return values;
    }
    // Ends the process with SIGTERM; its exit code, or -1 if it had to be killed.
    int stop() {
        if (proc_.state() == QProcess::NotRunning)
            return proc_.exitStatus() == QProcess::NormalExit ? proc_.exitCode() : -1;
        proc_.terminate();
        if (proc_.waitForFinished(kToolWaitMs))
            return proc_.exitStatus() == QProcess::NormalExit ? proc_.exitCode() : -1;
        proc_.kill();
        proc_.waitForFinished();
        return -1;
    }
    QProcess& process() { return proc_; }
    const QString& link() const { return link_; }
    const QString& device() const { return device_; }
    // A pty's slave side, or the URL of the line on the network (--tcp, --rfc2217).
    bool started() const {
        return device_.startsWith(QLatin1String("/dev/")) || device_.contains(QLatin1String("://"));
    }

private:
    QTemporaryDir dir_;
    QString link_;
    QString device_;
    QProcess proc_;
};
