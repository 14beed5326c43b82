// The traffic monitor's dock, offscreen: exchanges recorded into a log appear as request and reply
// lines while the dock is visible (and only then), the counters, the errors-only filter, pause,
// clear, copy and the CSV file, every dialog answered through the recording message seam.

#include "gui/monitor/traffic_panel.h"
#include "recording_messages.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sstream>

namespace {

std::vector<uint8_t> Hex(const char* text) {
    std::vector<uint8_t> out;
    std::istringstream in(text);
    std::string item;
    while (in >> item)
        out.push_back(static_cast<uint8_t>(std::stoul(item, nullptr, 16)));
    return out;
}

const int64_t kStart =
    QDateTime(QDate(2026, 1, 2), QTime(10, 20, 30, 456)).toMSecsSinceEpoch(); // local time

const char* kModbusRead = "01 03 01 01 00 01 D4 36";
const char* kModbusReply = "01 03 02 00 2A 39 9B";
const char* kRead1997 = "68 01 00 00 00 00 00 68 01 02 43 C3 DA 16";
const char* kReply1997 = "68 01 00 00 00 00 00 68 81 05 43 C3 33 83 55 68 16";
const char* kYaaoPoll = "55 01 01 01 01 AA";

// An exchange as the link records it, judged by its bytes.
Exchange Made(WireProtocol protocol, const char* request, const char* reply, int64_t roundTripUs,
              int64_t startedMs = kStart) {
    Exchange e;
    e.startedMs = startedMs;
    e.protocol = protocol;
    e.request = Hex(request);
    e.reply = Hex(reply);
    e.roundTripUs = roundTripUs;
    e.outcome = ClassifyExchange(protocol, e.request, e.reply);
    return e;
}

Exchange Answered() {
    return Made(WireProtocol::Modbus, kModbusRead, kModbusReply, 12000);
}

Exchange BadCrc() {
    return Made(WireProtocol::Modbus, kModbusRead, "01 03 02 00 2A 9B 39", 13000);
}

// The dock in a main window, as the application places it.
struct Station {
    explicit Station(TrafficLog& log) {
        window.resize(900, 500);
        panel = new TrafficPanel(log, &window);
        window.addDockWidget(Qt::BottomDockWidgetArea, panel);
    }
    int rows() const { return panel->model()->rowCount(); }
    QString cell(int row, int column) const { return panel->model()->CellText(row, column); }
    QMainWindow window;
    TrafficPanel* panel;
};

} // namespace

class TrafficPanelTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void showsEveryExchangeAsRequestAndReplyLines();
    void countersNameEveryOutcomeAndTheRoundTrips();
    void newExchangesArriveWhileVisible();
    void nothingIsPulledWhileHiddenAndShowCatchesUp();
    void catchUpGoesInSlices();
    void errorsOnlyHidesAnsweredExchanges();
    void pauseStopsNewRows();
    void clearEmptiesTheLogAndTheView();
    void keepsAtMostTheLogCapacity();
    void followsTheNewestUnlessScrolledUp();
    void aReaderScrolledUpKeepsHisLinesWhenTheOldestGo();
    void copyPutsTheSelectedLinesOnTheClipboard();
    void csvHoldsTheHeaderAndTheShownLines();
    void csvAsksBeforeReplacingAFile();

private:
    std::unique_ptr<RecordingMessages> messages_;
};

void TrafficPanelTest::init() {
    messages_ = std::make_unique<RecordingMessages>();
}

// Each recorder puts back the seam it found, so the last one goes before the next comes.
void TrafficPanelTest::cleanup() {
    messages_.reset();
}

void TrafficPanelTest::showsEveryExchangeAsRequestAndReplyLines() {
    TrafficLog log;
    log.Record(Answered());
    log.Record(Made(WireProtocol::Dlt645, kRead1997, kReply1997, 48000));
    log.Record(Made(WireProtocol::Yaao, kYaaoPoll, "", 562000));
    Station s(log);
    s.window.show();

    QCOMPARE(s.rows(), 6);
    QCOMPARE(s.panel->windowTitle(), QStringLiteral("通信监视"));
    QCOMPARE(s.panel->objectName(), QStringLiteral("TrafficPanel"));
    using M = TrafficModel;
    const struct {
        int row;
        QStringList cells; // 序号 时间 方向 帧 解析 往返 结果
    } expected[] = {
        {0,
         {"1", "10:20:30.456", "发送", kModbusRead, "地址 1 功能 03 起始 257 数量 1 CRC 正确", "",
          ""}},
        {1,
         {"", "10:20:30.468", "接收", kModbusReply, "地址 1 功能 03 字节数 2 CRC 正确", "12.0",
          "应答"}},
        {2,
         {"2", "10:20:30.456", "发送", kRead1997,
          "地址 000000000001 控制码 01 长度 2 标识 9010 校验 正确", "", ""}},
        {3,
         {"", "10:20:30.504", "接收", kReply1997,
          "地址 000000000001 控制码 81 长度 5 标识 9010 数据 00 50 22 校验 正确", "48.0", "应答"}},
        {4,
         {"3", "10:20:30.456", "发送", kYaaoPoll, "地址 1 长度 1 命令 01 校验 正确 结束符 AA", "",
          ""}},
        {5, {"", "10:20:31.018", "接收", "", "无应答", "562.0", "超时"}},
    };
    for (const auto& line : expected)
        for (int column = 0; column < M::ColumnCount; ++column)
            QCOMPARE(s.cell(line.row, column), line.cells.at(column));
    QCOMPARE(s.panel->model()->headerData(M::Decoded, Qt::Horizontal), QVariant("解析"));
    // A failed exchange stands out; an answered one does not.
    QVERIFY(s.panel->model()->index(5, M::Outcome).data(Qt::ForegroundRole).isValid());
    QVERIFY(!s.panel->model()->index(1, M::Outcome).data(Qt::ForegroundRole).isValid());
}

void TrafficPanelTest::countersNameEveryOutcomeAndTheRoundTrips() {
    TrafficLog log;
    log.Record(Answered());                                                       // 12 ms
    log.Record(Made(WireProtocol::Modbus, kModbusRead, "01 83 02 C0 F1", 30000)); // exception
    log.Record(Made(WireProtocol::Modbus, kModbusRead, "", 612000));              // silent: no RTT
    Station s(log);
    s.window.show();
    QCOMPARE(
        s.panel->counters()->text(),
        QStringLiteral("共 3 次 | 应答 1 超时 1 不完整 0 校验错 0 地址错 0 异常应答 1 链路失败 "
                       "0 | 往返 最小 12.0 ms 平均 21.0 ms 最大 30.0 ms"));
    QCOMPARE(
        TrafficPanel::CountersText(TrafficLog::Totals{}),
        QStringLiteral("共 0 次 | 应答 0 超时 0 不完整 0 校验错 0 地址错 0 异常应答 0 链路失败 "
                       "0 | 往返 —"));
}

void TrafficPanelTest::newExchangesArriveWhileVisible() {
    TrafficLog log;
    Station s(log);
    s.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&s.window));
    QVERIFY(s.panel->isPolling());
    QCOMPARE(s.rows(), 0);
    log.Record(Answered());
    log.Record(BadCrc());
    QTRY_COMPARE(s.rows(), 4); // through the panel's own timer
    QCOMPARE(s.cell(3, TrafficModel::Outcome), QStringLiteral("校验错"));
    QVERIFY(s.panel->counters()->text().contains(QStringLiteral("校验错 1")));
}

void TrafficPanelTest::nothingIsPulledWhileHiddenAndShowCatchesUp() {
    TrafficLog log;
    Station s(log);
    log.Record(Answered());
    QVERIFY(!s.panel->isPolling()); // never shown
    s.window.show();
    QCOMPARE(s.rows(), 2);

    s.panel->hide();
    QVERIFY(!s.panel->isPolling());
    for (int i = 0; i < 5; ++i)
        log.Record(Answered());
    QTest::qWait(3 * TrafficPanel::kRefreshIntervalMs);
    QCOMPARE(s.rows(), 2);
    QCOMPARE(s.panel->lastSeen(), uint64_t{1});

    s.panel->show();
    QVERIFY(s.panel->isPolling());
    QCOMPARE(s.rows(), 12); // at once, not at the next tick
}

void TrafficPanelTest::catchUpGoesInSlices() {
    TrafficLog log;
    const std::size_t total = 2 * TrafficPanel::kBatchLimit + 10;
    for (std::size_t i = 0; i < total; ++i)
        log.Record(Answered());
    Station s(log);
    s.window.show();
    QCOMPARE(s.rows(), static_cast<int>(2 * TrafficPanel::kBatchLimit)); // the first slice
    QTRY_COMPARE(s.rows(), static_cast<int>(2 * total));
    QCOMPARE(s.cell(2 * static_cast<int>(total) - 2, TrafficModel::Sequence),
             QString::number(total));
}

void TrafficPanelTest::errorsOnlyHidesAnsweredExchanges() {
    TrafficLog log;
    log.Record(Answered());
    log.Record(BadCrc());
    log.Record(Answered());
    Station s(log);
    s.window.show();
    QCOMPARE(s.rows(), 6);

    s.panel->errorsOnlyBox()->setChecked(true);
    QCOMPARE(s.rows(), 2);
    QCOMPARE(s.cell(0, TrafficModel::Sequence), QStringLiteral("2"));
    QCOMPARE(s.cell(1, TrafficModel::Outcome), QStringLiteral("校验错"));

    // New exchanges are filtered as they come.
    log.Record(Answered());
    log.Record(Made(WireProtocol::Modbus, kModbusRead, "", 612000));
    s.panel->Refresh();
    QCOMPARE(s.rows(), 4);
    QCOMPARE(s.cell(3, TrafficModel::Outcome), QStringLiteral("超时"));

    s.panel->errorsOnlyBox()->setChecked(false);
    QCOMPARE(s.rows(), 10);
    QCOMPARE(s.cell(0, TrafficModel::Sequence), QStringLiteral("1"));
}

void TrafficPanelTest::pauseStopsNewRows() {
    TrafficLog log;
    log.Record(Answered());
    Station s(log);
    s.window.show();
    QCOMPARE(s.rows(), 2);

    s.panel->pauseBox()->setChecked(true);
    log.Record(BadCrc());
    s.panel->Refresh();
    QCOMPARE(s.rows(), 2);

    s.panel->pauseBox()->setChecked(false); // what came meanwhile comes in at once
    QCOMPARE(s.rows(), 4);
    QCOMPARE(s.cell(3, TrafficModel::Outcome), QStringLiteral("校验错"));
}

void TrafficPanelTest::clearEmptiesTheLogAndTheView() {
    TrafficLog log;
    log.Record(Answered());
    log.Record(BadCrc());
    Station s(log);
    s.window.show();
    QCOMPARE(s.rows(), 4);

    s.panel->clearButton()->click();
    QCOMPARE(s.rows(), 0);
    QCOMPARE(log.size(), std::size_t{0});
    QVERIFY(s.panel->counters()->text().startsWith(QStringLiteral("共 0 次")));

    log.Record(Answered());
    s.panel->Refresh();
    QCOMPARE(s.rows(), 2);
    QCOMPARE(s.cell(0, TrafficModel::Sequence), QStringLiteral("3"));
}

void TrafficPanelTest::keepsAtMostTheLogCapacity() {
    TrafficLog log(5);
    for (int i = 0; i < 3; ++i)
        log.Record(Answered());
    Station s(log);
    s.window.show();
    for (int i = 0; i < 4; ++i)
        log.Record(i == 0 ? BadCrc() : Answered());
    s.panel->Refresh();
    QCOMPARE(s.panel->model()->exchangeCount(), std::size_t{5});
    QCOMPARE(s.rows(), 10);
    QCOMPARE(s.cell(0, TrafficModel::Sequence), QStringLiteral("3"));
    QCOMPARE(s.cell(8, TrafficModel::Sequence), QStringLiteral("7"));

    // Filtered, the capacity still counts every exchange kept.
    s.panel->errorsOnlyBox()->setChecked(true);
    QCOMPARE(s.rows(), 2);
    for (int i = 0; i < 4; ++i)
        log.Record(Answered());
    s.panel->Refresh();
    QCOMPARE(s.rows(), 0); // the one bad exchange (4) went with the oldest
    QCOMPARE(s.panel->model()->exchangeCount(), std::size_t{5});
}

void TrafficPanelTest::followsTheNewestUnlessScrolledUp() {
    TrafficLog log;
    for (int i = 0; i < 200; ++i)
        log.Record(Answered());
    Station s(log);
    s.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&s.window));
    QScrollBar* bar = s.panel->table()->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());

    log.Record(Answered());
    s.panel->Refresh();
    QCOMPARE(bar->value(), bar->maximum()); // still at the newest

    bar->setValue(0);
    log.Record(Answered());
    s.panel->Refresh();
    QCOMPARE(bar->value(), 0); // the reader keeps his place
    QVERIFY(bar->maximum() > 0);
}

void TrafficPanelTest::aReaderScrolledUpKeepsHisLinesWhenTheOldestGo() {
    TrafficLog log(100);
    for (int i = 0; i < 100; ++i)
        log.Record(Answered());
    Station s(log);
    s.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&s.window));
    QTableView* table = s.panel->table();
    table->verticalScrollBar()->setValue(60);
    QApplication::processEvents();
    const QString topSequence = s.cell(table->rowAt(0), TrafficModel::Sequence);
    QCOMPARE(topSequence, QStringLiteral("31"));

    for (int i = 0; i < 3; ++i)
        log.Record(Answered());
    s.panel->Refresh();
    QApplication::processEvents();
    QCOMPARE(s.cell(0, TrafficModel::Sequence), QStringLiteral("4")); // 1 to 3 went
    QCOMPARE(s.cell(table->rowAt(0), TrafficModel::Sequence), topSequence);
}

void TrafficPanelTest::copyPutsTheSelectedLinesOnTheClipboard() {
    TrafficLog log;
    log.Record(Answered());
    log.Record(BadCrc());
    Station s(log);
    s.window.show();
    QApplication::clipboard()->clear();

    s.panel->table()->selectRow(2);
    s.panel->table()->selectionModel()->select(
        s.panel->model()->index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    s.panel->copyButton()->click();

    const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 3); // two lines and the end of the last
    QCOMPARE(lines.at(0), QStringLiteral("2\t10:20:30.456\t发送\t01 03 01 01 00 01 D4 36\t地址 1 "
                                         "功能 03 起始 257 数量 1 CRC 正确\t\t"));
    QCOMPARE(lines.at(1), QStringLiteral("\t10:20:30.469\t接收\t01 03 02 00 2A 9B 39\t地址 1 "
                                         "功能 03 字节数 2 CRC 错误\t13.0\t校验错"));
    QCOMPARE(lines.at(2), QString());
}

void TrafficPanelTest::csvHoldsTheHeaderAndTheShownLines() {
    TrafficLog log;
    log.Record(Answered());
    log.Record(BadCrc());
    Station s(log);
    s.window.show();
    s.panel->errorsOnlyBox()->setChecked(true);

    QTemporaryDir dir;
    messages_->fileNames << dir.filePath(QStringLiteral("traffic")); // the suffix comes by itself
    s.panel->saveButton()->click();

    QFile file(dir.filePath(QStringLiteral("traffic.csv")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QLatin1Char('\n'));
    QCOMPARE(lines, (QStringList{
                        QStringLiteral("序号,时间,方向,帧,解析,往返(ms),结果"),
                        QStringLiteral("2,10:20:30.456,发送,01 03 01 01 00 01 D4 36,地址 1 功能 "
                                       "03 起始 257 数量 1 CRC 正确,,"),
                        QStringLiteral(",10:20:30.469,接收,01 03 02 00 2A 9B 39,地址 1 功能 03 "
                                       "字节数 2 CRC 错误,13.0,校验错"),
                        QString(),
                    }));
    QCOMPARE(messages_->shown, (QStringList{QStringLiteral("save: 通信记录.csv"),
                                            QStringLiteral("inform: 数据导出成功！")}));

    // Cancelled: nothing written, nothing said.
    messages_->shown.clear();
    s.panel->saveButton()->click();
    QCOMPARE(messages_->shown, QStringList{QStringLiteral("save: 通信记录.csv")});
}

void TrafficPanelTest::csvAsksBeforeReplacingAFile() {
    TrafficLog log;
    log.Record(Answered());
    Station s(log);
    s.window.show();

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.csv"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("keep");
    old.close();

    messages_->fileNames << path << path;
    messages_->answers << false << true;
    s.panel->saveButton()->click(); // No: the old file stays
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("keep"));
    old.close();
    s.panel->saveButton()->click(); // Yes: replaced
    QVERIFY(old.open(QIODevice::ReadOnly));
    QVERIFY(old.readAll().contains("01 03 01 01 00 01 D4 36"));
    QCOMPARE(messages_->shown.filter(QStringLiteral("ask: 文件已经存在,是否覆盖?")).size(), 2);
    QCOMPARE(messages_->shown.last(), QStringLiteral("inform: 数据导出成功！"));
}

QTEST_MAIN(TrafficPanelTest)
#include "traffic_panel_test.moc"
