#pragma once
// TrafficPanel: the dock "通信监视" (objectName TrafficPanel). It shows every exchange of the
// line as two lines, the request (发送) and the reply (接收), with the time, the bytes, the decoded
// fields, the round trip and the outcome, and counts the outcomes of the line. It pulls what the
// link recorded in the TrafficLog from a timer that runs only while the dock is visible (a hidden
// monitor costs nothing; on show it catches up) and keeps at most the log's capacity of
// exchanges. 暂停 stops pulling, 清除 empties the log and the view, 仅显示错误 hides the answered
// exchanges, 复制 and 另存为CSV hand the selected or shown lines on.
// GUI thread only (the link records from its own thread; the log is shared under its lock).

#include "link/traffic.h"

#include <QAbstractTableModel>
#include <QDockWidget>
#include <QTimer>

#include <cstddef>
#include <deque>
#include <memory>
#include <span>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QTableView;

// The exchanges the panel holds, two rows each (even row: the request, odd row: the reply).
// Frames are decoded in data(), so only the rows painted cost a decoding.
class TrafficModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Sequence, Time, Direction, Frame, Decoded, RoundTrip, Outcome, ColumnCount };

    explicit TrafficModel(std::size_t capacity, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Appends a batch, oldest first, in one insertion; beyond the capacity the oldest exchanges
    // go first, in one removal. Returns the number of rows removed.
    int Append(std::vector<Exchange> batch);
    void Clear();
    // Hides (true) or shows again the exchanges that were answered.
    void SetErrorsOnly(bool on);
    bool errorsOnly() const { return errorsOnly_; }
    // The exchanges held, shown or not.
    std::size_t exchangeCount() const { return all_.size(); }
    std::size_t capacity() const { return capacity_; }

    // The text of one cell as shown, and of one row with its cells joined by separator.
    QString CellText(int row, int column) const;
    QString RowText(int row, QChar separator) const;
    static QString ColumnTitle(int column);

private:
    // An exchange as the panel keeps it: both frames in one allocation instead of two vectors,
    // which matters at a full log's worth of them.
    struct Kept {
        explicit Kept(const Exchange& exchange);
        std::span<const uint8_t> request() const { return {bytes.get(), requestSize}; }
        std::span<const uint8_t> reply() const { return {bytes.get() + requestSize, replySize}; }
        uint64_t sequence;
        int64_t startedMs;
        int64_t roundTripUs;
        std::unique_ptr<uint8_t[]> bytes;
        uint32_t requestSize;
        uint32_t replySize;
        WireProtocol protocol;
        ExchangeOutcome outcome;
    };

    const Kept& KeptOfRow(int row) const { return *shown_[static_cast<std::size_t>(row) / 2]; }
    bool Shows(const Kept& exchange) const;

    const std::size_t capacity_;
    bool errorsOnly_ = false;
    // deque: references stay valid while exchanges come at the back and go at the front.
    std::deque<Kept> all_;
    std::deque<const Kept*> shown_;
};

class TrafficPanel : public QDockWidget {
    Q_OBJECT
public:
    // How often the visible panel pulls new exchanges; a human rate, whatever the line's.
    static constexpr int kRefreshIntervalMs = 200;
    // At most this many exchanges per pull, so that a catch-up of a full log goes in slices
    // that each leave the window free to paint; the next slice follows at once.
    static constexpr std::size_t kBatchLimit = 2000;

    TrafficPanel(TrafficLog& log, QWidget* parent = nullptr);

    TrafficModel* model() const { return model_; }
    QTableView* table() const { return table_; }
    QLabel* counters() const { return counters_; }
    QCheckBox* pauseBox() const { return pause_; }
    QCheckBox* errorsOnlyBox() const { return errorsOnly_; }
    QPushButton* clearButton() const { return clear_; }
    QPushButton* copyButton() const { return copy_; }
    QPushButton* saveButton() const { return save_; }
    // True while the refresh timer runs: only while the dock is visible.
    bool isPolling() const { return timer_.isActive(); }
    // The newest sequence pulled into the view.
    uint64_t lastSeen() const { return lastSeen_; }

    // The counters line: "共 N 次 应答 n 超时 n ... 往返 最小 x ms 平均 y ms 最大 z ms".
    static QString CountersText(const TrafficLog::Totals& totals);

public slots:
    // Pulls what came since the last pull (one slice) unless paused, and updates the counters.
    void Refresh();
    void ClearClick();
    void CopyClick();
    void SaveClick();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void PauseToggled(bool paused);
    bool AtBottom() const;

    TrafficLog& log_;
    TrafficModel* model_;
    QTableView* table_;
    QLabel* counters_;
    QCheckBox* pause_;
    QCheckBox* errorsOnly_;
    QPushButton* clear_;
    QPushButton* copy_;
    QPushButton* save_;
    QTimer timer_;
    uint64_t lastSeen_ = 0;
};
