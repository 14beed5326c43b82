#pragma once
// The records: Results.db beside Config.db, or the tables of the shared PostgreSQL database
// (see db_location.h), through Qt SQL. One record for each
// finished check, calibration run and configuration download of a unit, with who did it, where,
// when, on which line and with what outcome. Records are only ever added, never changed, so that
// what a quality engineer signed stays as it was.
//
// Threads: construct, use and destroy on one thread (the window's: records are added once a job
// has ended, from its outcome). Every statement binds its values.
//
// A station on a server keeps going while the server is away: a record that cannot reach it is
// put in a queue file in the data folder and sent, in order, as soon as the server answers again
// (at the next record, or at the next start). Each record carries a key of its own, so a record
// sent twice (the station died between the server's commit and the queue's rewrite) is stored
// once.

#include "store/db_location.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <memory>
#include <optional>

inline constexpr const char* kResultsFile = "Results.db";
// Where a station on a server keeps the records the server could not take yet.
inline constexpr const char* kRecordQueueFile = "RecordQueue.json";

enum class RecordKind { Check = 0, Calibration = 1, Download = 2 };

// The verdict of a unit, of a test point or of an operation. None: no verdict was taken (the
// readings never settled, or the operation has no pass/fail of its own).
enum class Verdict { None = 0, Pass = 1, Fail = 2, NotAnswering = 3 };

// "合格", "不合格", "无应答", "未判定".
QString VerdictText(Verdict verdict);

// One test point of a check, in the order run (a check without a plan has one).
struct RecordPoint {
    int index = 0;
    double voltagePercent = 0; // of rated
    double currentPercent = 0;
    double angle = 0;     // degrees
    double frequency = 0; // Hz
    Verdict verdict = Verdict::None;
    int failures = 0; // quantities out of class at this point
    bool operator==(const RecordPoint&) const = default;
};

// One checked quantity at one point, with the figures of its judgement.
struct RecordQuantity {
    int point = 0;    // RecordPoint::index
    QString name;     // the grid's name ("A相有功功率")
    QString quantity; // the check quantity ("Pa")
    QString text;     // the value as the grid showed it ("551.00 W")
    QString unit;     // of expected and measured ("W"; "°" for a power factor's angle)
    double expected = 0;
    double measured = 0;
    double error = 0; // % of full scale (the frequency: Hz)
    double limit = 0; // same unit as error
    bool passed = true;
    bool operator==(const RecordQuantity&) const = default;
};

struct UnitRecord {
    qint64 id = 0; // assigned by Add
    RecordKind kind = RecordKind::Check;
    QString serial; // as typed or scanned; may be empty (the record then says so)
    QString model;
    QString operatorName;
    QString station; // host name
    QString softwareVersion;
    QString port;         // "/dev/ttyUSB0"
    QString lineSettings; // "9600,N,8,1"
    QString protocol;     // "MODBUS_RTU", "DLT645-2007", ...
    int address = 1;
    QString plan; // the test plan's name; empty for a check at one point
    QDateTime started;
    QDateTime ended;
    Verdict verdict = Verdict::None;
    int failures = 0;
    QList<RecordPoint> points;
    QList<RecordQuantity> quantities;
    // What the operation wrote and read, as "name=value" lines: a download's written and
    // read-back fields and their differences, a calibration's coefficients written and the
    // calibration area read before the first write ("backup.11002=..." lines).
    QString details;
    // Unique over every station; assigned by each Add.
    QString key;
    bool operator==(const UnitRecord&) const = default;
};

// What the records page filters by; an empty or unset field does not filter.
struct RecordFilter {
    QString serial; // part of the serial number
    QString model;  // exact
    QDate from;     // started on or after
    QDate to;       // started on or before
    std::optional<Verdict> verdict;
    std::optional<RecordKind> kind;
};

class ResultsDatabase {
public:
    // The records file of a station on its own.
    explicit ResultsDatabase(QString path);
    // The records where location says; queuePath: where records wait while a server is away
    // (empty: no queue, a record that cannot be stored is a failure).
    ResultsDatabase(DatabaseLocation location, QString queuePath);
    ~ResultsDatabase();
    ResultsDatabase(const ResultsDatabase&) = delete;
    ResultsDatabase& operator=(const ResultsDatabase&) = delete;

    // The records of a station with its settings in dataDir: Results.db in the location's folder
    // (dataDir when it names none), or the server's tables with the queue file in dataDir.
    static std::unique_ptr<ResultsDatabase> ForStation(const DatabaseLocation& location,
                                                       const QString& dataDir);

    QString path() const { return path_; }

    // Creates a missing file with its tables; refuses a file that is not a results database (or
    // is damaged) with a message naming the file. Upgrades the tables by the migrations, then
    // sends what the queue holds. Empty on success.
    QString Open();
    // Adds the record with its points and quantities in one transaction and sets record.id.
    // False, with lastError() naming the file and the reason (a full disk, say), when it could
    // not be stored: nothing of it is kept then. With a queue, a record the server cannot take
    // now is queued instead: true, record.id 0 and queued() > 0.
    bool Add(UnitRecord& record);
    // Records waiting in the queue for the server.
    int queued() const;
    // Sends the queued records, oldest first, each removed from the queue once stored. Returns
    // how many went; stops at the first that cannot go.
    int SendQueued();
    // The records that match, newest first, without their points and quantities.
    bool Select(const RecordFilter& filter, QList<UnitRecord>& out);
    // One record, whole; nullopt when there is none with that id, or on failure with lastError()
    // saying why.
    std::optional<UnitRecord> Get(qint64 id);
    QString lastError() const;

private:
    bool Fail(const QString& what, const QString& why);
    // Stores one record: true, or false with why (and lost: the server cannot be reached).
    bool Store(UnitRecord& record, QString& why, bool& lost);
    bool Reconnect();

    DatabaseLocation location_;
    QString queuePath_;
    QString path_;
    QString connection_;
    QString lastError_;
};
