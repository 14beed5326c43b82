#pragma once
// Shared pieces of the data-check tests: a data folder with Config.ini and a seeded Config.db,
// kx7410-sim on a pseudo-terminal, a reading loop run as a session job, and a recorder of what the
// loop hands over.

#include "acquire/read_thread.h"
#include "acquire/rows.h"
#include "session/device_session.h"
#include "store/database.h"

#include "sim_process.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

// A temporary folder holding the shipped Config.ini and a Config.db made from the seed data.
class CheckDataFolder {
public:
    explicit CheckDataFolder(const QByteArray& ini = {}) : database_(dir_.filePath(kDatabaseFile)) {
        const QString ini_path = dir_.filePath("Config.ini");
        if (ini.isEmpty())
            QFile::copy(QStringLiteral(KX_BIN_DATA_DIR "/Config.ini"), ini_path);
        else {
            QFile f(ini_path);
            f.open(QIODevice::WriteOnly);
            f.write(ini);
        }
        openError_ = database_.Open(QStringLiteral(KX_BIN_DATA_DIR));
    }
    QString path() const { return dir_.path(); }
    ProductDatabase& database() { return database_; }
    const QString& openError() const { return openError_; }

private:
    QTemporaryDir dir_;
    ProductDatabase database_;
    QString openError_;
};

// The output-parameter list of a model's scheme as the configuration download writes it to
// register 11300: word 0 = number of addresses, then every register of every parameter.
std::vector<uint16_t> ParameterListWords(ProductDatabase& database, const QString& model);

// Writes that list over a Modbus link, as the configuration download does.
bool DownloadParameterList(Link& link, ProductDatabase& database, const QString& model,
                           uint8_t address = 1);

// Sets a module up for a model through the simulator's own commands (any protocol): the scheme's
// scale directions and factors, relative codes and signed powers in the calibration area, and the
// parameter list (unless the test writes it over the link).
bool ConfigureModule(SimProcess& sim, ProductDatabase& database, const QString& model,
                     bool withList = true);

// Receives the reading loop's hand-overs on the test's thread, queued as the page does.
class HandOverRecorder : public QObject {
    Q_OBJECT
public:
    explicit HandOverRecorder(Thread_Read& thread) {
        connect(&thread, &Thread_Read::ShowRows, this, &HandOverRecorder::rows,
                Qt::QueuedConnection);
        connect(&thread, &Thread_Read::ShowStatusLine, this, &HandOverRecorder::status,
                Qt::QueuedConnection);
    }
    QStringList statusLines;
    QList<bool> failedFlags; // the failed flag of each status line
    // The grid as the rows describe it, by grid row.
    QMap<int, AcquiredRow> grid;
    int handOvers = 0;

public slots:
    void rows(int firstRow, const QList<AcquiredRow>& rows, bool, bool) {
        ++handOvers;
        for (qsizetype i = 0; i < rows.size(); ++i)
            grid[firstRow + static_cast<int>(i)] = rows[i];
    }
    void status(const QString& text, bool failed) {
        statusLines << text;
        failedFlags << failed;
    }
};

// Processes events until pred holds or the time is up.
template <typename Pred> bool WaitUntil(Pred pred, int timeoutMs = 20000) {
    return QTest::qWaitFor(pred, timeoutMs);
}

// A reading loop run as the one job of a session over a link, as the pages run it. Declare it
// after the loop: the session joins its worker before the loop goes.
class LoopJob {
public:
    explicit LoopJob(Link& link) : session(link) {}
    template <typename Loop> bool Start(Loop& loop) {
        return session.Submit(DeviceSession::State::Checking, QStringLiteral("检查数据"),
                              [&loop](JobContext& job) { loop.Run(job); });
    }
    // Cancels the job and processes events until it has ended; what it handed over has arrived
    // by then (it was posted before the end). Safe before Start and twice.
    bool Stop() {
        session.Cancel();
        return WaitUntil([&] { return session.isIdle(); });
    }
    DeviceSession session;
};
