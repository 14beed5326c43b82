#pragma once
// The results database Results.db beside Config.db (SQLite through Qt SQL): one record for each
// finished check, calibration run and configuration download of a unit, with who did it, where,
// when, on which line and with what outcome. Records are only ever added, never changed, so that
// what a quality engineer signed stays as it was.
//
// Threads: construct, use and destroy on one thread (the window's: records are added once a job
// has ended, from its outcome). Every statement binds its values.

#include <QDateTime>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

inline constexpr const char* kResultsFile = "Results.db";

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
    explicit ResultsDatabase(QString path);
    ~ResultsDatabase();
    ResultsDatabase(const ResultsDatabase&) = delete;
    ResultsDatabase& operator=(const ResultsDatabase&) = delete;

    QString path() const { return path_; }

    // Creates a missing file with its tables; refuses a file that is not a results database (or
    // is damaged) with a message naming the file. Empty on success.
    QString Open();
    // Adds the record with its points and quantities in one transaction and sets record.id.
    // False, with lastError() naming the file and the reason (a full disk, say), when it could
    // not be stored: nothing of it is kept then.
    bool Add(UnitRecord& record);
    // The records that match, newest first, without their points and quantities.
    bool Select(const RecordFilter& filter, QList<UnitRecord>& out);
    // One record, whole; nullopt when there is none with that id, or on failure with lastError()
    // saying why.
    std::optional<UnitRecord> Get(qint64 id);
    QString lastError() const;

private:
    bool Fail(const QString& what, const QString& why);

    QString path_;
    QString connection_;
    QString lastError_;
};
