#include "acquire/read_thread.h"

#include "acquire/dlt645.h"
#include "acquire/dlt645_pass.h"
#include "common/conversion.h"
#include "link/dlt645.h"
#include "link/link.h"
#include "link/modbus.h"
#include "link/modbus_frames.h"
#include "link/yaao_datang.h"
#include "session/device_session.h"
#include "store/database.h"
#include "store/settings.h"

namespace {

constexpr int kModbus = 0;
constexpr int kDlt645_1997 = 1;
constexpr int kDlt645_2007 = 2;
constexpr int kYaao = 3;
constexpr int kDatang = 4;

// After a loading failure the loop only waits for its cancel; the wait is cut short by it.
constexpr int kIdleWaitMs = 60000;

bool ReadsRegisters(int protocol) {
    return protocol == kModbus || protocol == kYaao || protocol == kDatang;
}

// A block read that also says how many words the reply carried: a reply shorter than the block
// must fail the cycle instead of leaving stale words in the image.
bool ReadWholeBlock(Link& link, uint8_t address, const RegisterBlock& block,
                    std::vector<uint16_t>& values) {
    const auto reply = link.Transact(BuildReadRequest(address, kFcReadRegisters,
                                                      static_cast<uint16_t>(block.start),
                                                      static_cast<uint16_t>(block.count)),
                                     kReadRegistersParams);
    std::size_t delivered = 0;
    return reply &&
           CheckReadReply(*reply, static_cast<uint16_t>(block.count), values, &delivered) &&
           delivered >= static_cast<std::size_t>(block.count);
}

QString LoadFailureLine(const QString& model, const QString& reason) {
    return QStringLiteral("产品型号: %1  读数据线程初始化失败：%2").arg(model, reason);
}

} // namespace

QString ProtocolCaption(int protocol) {
    switch (protocol) {
    case kModbus:
        return QStringLiteral("通信协议: MODBUS_RTU");
    case kDlt645_1997:
        return QStringLiteral("通信协议: DLT645-1997");
    case kDlt645_2007:
        return QStringLiteral("通信协议: DLT645-2007");
    case kYaao:
        return QStringLiteral("通信协议: 亚奥协议");
    case kDatang:
        return QStringLiteral("通信协议: 大唐协议");
    default:
        return {};
    }
}

QString StatusLineText(const QString& model, const QString& protocolCaption, int sent, int received,
                       bool failed, int failedCycles) {
    QString text = QStringLiteral("产品型号: ") + model + QStringLiteral("  ") + protocolCaption +
                   QStringLiteral("  发送：") + QString::number(sent);
    text += failed ? QStringLiteral("  接收无返回数据！")
                   : QStringLiteral("  接收：") + QString::number(received);
    if (failedCycles > 0) text += QStringLiteral("  失败：") + QString::number(failedCycles);
    return text;
}

QString GridTitleText() {
    return QStringLiteral("三相电参数采集模块输出寄存器数据");
}

QString GridInitialStatusText() {
    return QStringLiteral("读数据线程初始化中") + QString(35, QChar(0x3002));
}

Thread_Read::Thread_Read(ProductDatabase& database, QString dataFolder, quint8 address,
                         QString model, bool configDataMode, QObject* parent)
    : QObject(parent), database_(database), dataFolder_(std::move(dataFolder)), address_(address),
      model_(std::move(model)), configDataMode_(configDataMode) {}

void Thread_Read::SetTestPoint(const TestPoint& point) {
    std::lock_guard lock(mutex_);
    testPoint_ = point;
}

TestPoint Thread_Read::CurrentTestPoint() const {
    std::lock_guard lock(mutex_);
    return testPoint_;
}

QList<RegisterBlock> Thread_Read::Blocks() const {
    std::lock_guard lock(mutex_);
    return blocks_;
}

void Thread_Read::Status(bool failed) {
    if (failed) ++failedCycles_;
    emit ShowStatusLine(StatusLineText(model_, protocolCaption_, sent_.load(), received_.load(),
                                       failed, failedCycles_.load()),
                        failed);
}

bool Thread_Read::Load(QString& failure) {
    try {
        const SavedCheckSettings s = LoadCheckSettings(dataFolder_);
        settings_ = {s.U, s.I, s.JDF, s.JDU, s.JDI, s.JDC, s.JDP, s.JDQ, s.JDS};
        poll_ = LoadPollSettings(dataFolder_);
    } catch (const ConversionError& e) {
        failure = QStringLiteral("检验参数错误（%1）").arg(e.text());
        return false;
    }

    std::optional<Scheme> scheme;
    if (!database_.SelectSchemeOfModel(model_, scheme)) {
        failure = QStringLiteral("操作数据库失败！");
        return false;
    }
    if (!scheme) {
        failure = QStringLiteral("产品型号或其方案不存在");
        return false;
    }
    try {
        const auto word = [](int v) { return v & 0xFFFF; };
        scheme_.ubl = word(scheme->ubl);
        scheme_.ublfx = word(FlagValue(scheme->ublfx));
        scheme_.ibl = word(scheme->ibl);
        scheme_.iblfx = word(FlagValue(scheme->iblfx));
        scheme_.pbl = word(scheme->pbl);
        scheme_.pblfx = word(FlagValue(scheme->pblfx));
        scheme_.ebl = word(scheme->ebl);
        scheme_.eblfx = word(FlagValue(scheme->eblfx));
        scheme_.cslxsn = word(FlagValue(scheme->cslxsn));
        scheme_.csfhsn = word(FlagValue(scheme->csfhsn));
        scheme_.glysfxsn = word(FlagValue(scheme->glysfxsn));
        scheme_.txxy = word(scheme->txxy);
    } catch (const ConversionError& e) {
        failure = QStringLiteral("方案数据错误（%1）").arg(e.text());
        return false;
    }
    protocolCaption_ = ProtocolCaption(scheme_.txxy);
    dlt645Mode_ = !ReadsRegisters(scheme_.txxy);

    try {
        if (ReadsRegisters(scheme_.txxy)) {
            // The list in its ID order is the order the module publishes the registers in.
            QStringList names;
            if (!database_.SelectOrderedParametersOfModel(model_, names)) {
                failure = QStringLiteral("操作数据库失败！");
                return false;
            }
            uint16_t total = 0;
            parameters_.clear();
            for (const QString& name : names) {
                std::optional<OutputParameterRow> row;
                if (!database_.SelectParameter(name, row)) {
                    failure = QStringLiteral("操作数据库失败！");
                    return false;
                }
                if (!row) {
                    failure = QStringLiteral("输出参数“%1”不存在").arg(name);
                    return false;
                }
                total = static_cast<uint16_t>(total + row->parameter.zs);
                parameters_.append(row->parameter);
            }
            registerTotal_ = total;
            const QList<RegisterBlock> blocks =
                configDataMode_
                    ? PlanRegisterBlocks(0, total)
                    : PlanRegisterBlocks(kHarmonicRegisterStart, kHarmonicRegisterCount);
            std::lock_guard lock(mutex_);
            blocks_ = blocks;
        } else if (scheme_.txxy == kDlt645_1997 || scheme_.txxy == kDlt645_2007) {
            QList<Dlt645ItemRow> rows;
            const bool ok = scheme_.txxy == kDlt645_1997 ? database_.SelectDlt645Items1997(rows)
                                                         : database_.SelectDlt645Items2007(rows);
            if (!ok) {
                failure = QStringLiteral("操作数据库失败！");
                return false;
            }
            items_.clear();
            for (const Dlt645ItemRow& row : rows) {
                // A broken identifier would fail every pass at the same item: refuse it now.
                if (scheme_.txxy == kDlt645_1997)
                    Dlt645Identifier1997(row.item.infonum);
                else
                    Identifier2007Bytes(row.item.infonum.trimmed());
                items_.append(row.item);
            }
        }
    } catch (const ConversionError& e) {
        failure = QStringLiteral("数据表错误（%1）").arg(e.text());
        return false;
    }
    return true;
}

bool Thread_Read::ReadModbusCycle(JobContext& job, Link& link, std::vector<uint16_t>& image) {
    image.clear();
    const QList<RegisterBlock> blocks = Blocks();
    for (const RegisterBlock& block : blocks) {
        std::vector<uint16_t> values;
        if (!ReadWholeBlock(link, address_, block, values)) return false;
        image.insert(image.end(), values.begin(), values.begin() + block.count);
        job.Wait(1);
    }
    return true;
}

bool Thread_Read::RunCycle(JobContext& job) {
    PollingLink link(job.link(), poll_.fastPoll);
    bool failed = false;
    switch (scheme_.txxy) {
    case kModbus: {
        ++sent_;
        std::vector<uint16_t> image;
        failed = !ReadModbusCycle(job, link, image);
        if (!failed) {
            ++received_;
            const QList<AcquiredRow> rows =
                configDataMode_
                    ? DecodeRegisters(scheme_, parameters_, image, settings_, CurrentTestPoint())
                    : ShowHarmonics(image);
            emit ShowRows(kFirstDataRow, rows, rowsBuilt_, dlt645Mode_);
        }
        // A cycle cut off by a stop is no failure of the module: its requests never went out.
        if (!(failed && job.cancelled())) Status(failed);
        break;
    }
    case kYaao:
    case kDatang: {
        ++sent_;
        std::vector<uint16_t> words;
        const bool answered = scheme_.txxy == kYaao
                                  ? YaaoPoll(link, address_, words)
                                  : DatangPoll(link, address_, words, registerTotal_);
        // A reply shorter than the scheme's registers is no reading of them.
        failed = !answered || std::ssize(words) < registerTotal_;
        if (!failed) {
            ++received_;
            emit ShowRows(
                kFirstDataRow,
                DecodeRegisters(scheme_, parameters_, words, settings_, CurrentTestPoint()),
                rowsBuilt_, dlt645Mode_);
        }
        Status(failed);
        break;
    }
    case kDlt645_1997:
    case kDlt645_2007: {
        PassCounters counters{sent_.load(), received_.load()};
        Dlt645PassHooks hooks;
        hooks.showRow = [this](int gridRow, const AcquiredRow& row) {
            emit ShowRows(gridRow, {row}, rowsBuilt_, dlt645Mode_);
        };
        hooks.showStatus = [this, &counters] {
            sent_ = counters.sent;
            received_ = counters.received;
            Status(false);
        };
        hooks.keepRunning = [&job] { return !job.cancelled(); };
        hooks.testPoint = [this] { return CurrentTestPoint(); };
        bool ok = false;
        try {
            ok = scheme_.txxy == kDlt645_1997
                     ? ReadItems1997(link, address_, items_, settings_, counters, hooks)
                     : ReadItems2007(link, address_, items_, settings_, counters, hooks);
        } catch (const ConversionError&) {
            ok = false;
        }
        sent_ = counters.sent;
        received_ = counters.received;
        if (!ok) {
            failed = true;
            if (!job.cancelled()) Status(true);
        }
        break;
    }
    default:
        // A protocol this program does not speak: nothing is read, the grid keeps its text.
        break;
    }
    return !failed;
}

void Thread_Read::Run(JobContext& job) {
    cycleBusy_ = true;
    QString failure;
    const bool loaded = Load(failure);
    sent_ = 0;
    received_ = 0;
    cycleBusy_ = false;
    if (!loaded) {
        emit ShowStatusLine(LoadFailureLine(model_, failure), true);
        // Idle until cancelled: the window stops the check as usual.
        while (!job.cancelled())
            job.Wait(kIdleWaitMs);
        return;
    }
    while (!job.cancelled()) {
        cycleBusy_ = true;
        const bool answered = RunCycle(job);
        if (answered) rowsBuilt_ = true;
        if (!job.cancelled()) emit CycleEnded(!answered);
        ++cycles_;
        cycleBusy_ = false;
        job.Wait(poll_.pauseMs);
    }
}
