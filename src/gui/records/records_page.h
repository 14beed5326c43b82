#pragma once
// RecordsPage: the page "检验记录" (objectName RecordsPage). The quality engineer finds the
// records of the results database by serial number, model, dates and verdict (查询), sees the
// record chosen in the table whole (its checked quantities, its identity and what the operation
// wrote and read), and hands records on: 导出CSV writes the selected records (all shown when none
// is selected) to one CSV file, 导出报表 writes each selected record's report workbook. Records
// are only read here; every dialog goes through the message seam.
// GUI thread only (the results database is the window's).

#include "store/results.h"

#include <QList>
#include <QStringList>
#include <QWidget>

#include <optional>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

class RecordsPage : public QWidget {
    Q_OBJECT
public:
    // The columns of the records table and of the quantities table.
    enum RecordColumn { Started, Serial, Model, Operator, Kind, Result, Failures, RecordColumns };
    enum QuantityColumn {
        Point,
        Name,
        Shown,
        Expected,
        Measured,
        Error,
        Limit,
        Unit,
        Passed,
        QuantityColumns
    };

    // models: the names the model filter offers after "全部".
    RecordsPage(ResultsDatabase& results, const QStringList& models, QWidget* parent = nullptr);

    // Offers another list of models, keeping the chosen one when it is still there.
    void SetModels(const QStringList& models);
    // What the filter row asks for.
    RecordFilter Filter() const;
    // The records the table shows, in its order (without points and quantities).
    const QList<UnitRecord>& records() const { return records_; }
    // The record shown in full below the table; nullopt when none is.
    const std::optional<UnitRecord>& current() const { return current_; }

    QLineEdit* serialEdit() const { return serial_; }
    QComboBox* modelBox() const { return model_; }
    QCheckBox* fromBox() const { return fromOn_; }
    QDateEdit* fromEdit() const { return from_; }
    QCheckBox* toBox() const { return toOn_; }
    QDateEdit* toEdit() const { return to_; }
    QComboBox* verdictBox() const { return verdict_; }
    QPushButton* queryButton() const { return query_; }
    QLabel* statusLabel() const { return status_; }
    QTableWidget* recordTable() const { return table_; }
    QTableWidget* quantityTable() const { return quantities_; }
    QLabel* identityLabel() const { return identity_; }
    QPlainTextEdit* detailsText() const { return details_; }
    QPushButton* csvButton() const { return csv_; }
    QPushButton* reportButton() const { return report_; }

    // "（无）" for a record without a serial number.
    static QString SerialText(const QString& serial);

public slots:
    // Runs the query of the filter row again (the window calls it when the page is shown, and
    // after a record was added); the selection is kept where its records are still shown.
    void Refresh();
    void ExportCsvClick();
    void ExportReportClick();

private:
    void ShowChosen();
    // The rows selected, in table order.
    QList<int> SelectedRows() const;
    // Whole records (with points and quantities) of these rows; false, with a message shown,
    // when one could not be read.
    bool WholeRecords(const QList<int>& rows, QList<UnitRecord>& out);

    ResultsDatabase& results_;
    QList<UnitRecord> records_;
    std::optional<UnitRecord> current_;

    QLineEdit* serial_;
    QComboBox* model_;
    QCheckBox* fromOn_;
    QDateEdit* from_;
    QCheckBox* toOn_;
    QDateEdit* to_;
    QComboBox* verdict_;
    QPushButton* query_;
    QLabel* status_;
    QTableWidget* table_;
    QTableWidget* quantities_;
    QLabel* identity_;
    QPlainTextEdit* details_;
    QPushButton* csv_;
    QPushButton* report_;
};
