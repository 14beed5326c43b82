// Our master (SerialLink and the transactions of the four protocols) against kx7410-sim on a real
// pseudo-terminal: what the application relies on in the module's answers, end to end.

#include "link/dlt645.h"
#include "link/modbus.h"
#include "link/serial_link.h"
#include "link/traffic.h"
#include "link/yaao_datang.h"
#include "store/database.h"

#include "sim_process.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const Dlt645Address kMeter1{0x01, 0, 0, 0, 0, 0}; // module address 1 in packed BCD

// Ua, Ub, Uc, Ia, F and the two registers of P总: quantities that stay put at a fixed test point.
const std::vector<uint16_t> kList{4000, 4001, 4002, 4006, 4029, 4013, 4014};

class Bus : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(sim.device().isEmpty());
        ASSERT_TRUE(link.Open(sim.link(), 3, 0, 2, 0)); // 9600 8N1, the simulator's default
    }

    void WriteList() {
        std::vector<uint16_t> words{uint16_t(kList.size())};
        words.insert(words.end(), kList.begin(), kList.end());
        ASSERT_TRUE(WriteCalibrationRegisters(link, 1, 11300, uint16_t(words.size()), words));
    }

    std::vector<uint16_t> ModuleValuesOfList() {
        std::vector<uint16_t> values;
        for (uint16_t address : kList)
            values.push_back(uint16_t(sim.registers(address).value(0)));
        return values;
    }

    bool SwitchProtocol(uint16_t protocol) {
        return WriteCalibrationRegisters(link, 1, 11023, 1, {protocol});
    }

    SimProcess sim;
    SerialLink link;
};

TEST_F(Bus, ConfigurationBlocksAreWrittenAndReadBack) {
    std::vector<uint16_t> user(44);
    for (std::size_t i = 0; i < user.size(); ++i)
        user[i] = uint16_t(0x0100 + i * 7);
    user[269 - 260] = 3; // the frame format in force ("N无,1S"); the module refuses others here
    ASSERT_TRUE(WriteRegisters(link, 1, 260, 44, user));
    std::vector<uint16_t> back;
    std::size_t delivered = 0;
    ASSERT_TRUE(ReadRegisters(link, 1, 260, 44, back, &delivered));
    EXPECT_EQ(delivered, 44u);
    EXPECT_EQ(std::vector<uint16_t>(back.begin(), back.begin() + 44), user);

    // The calibration block holds the protocol at 11023: keep it at Modbus.
    std::vector<uint16_t> calibration(30);
    for (std::size_t i = 0; i < calibration.size(); ++i)
        calibration[i] = uint16_t(1000 + i);
    calibration[11023 - 11002] = 0;
    ASSERT_TRUE(WriteCalibrationRegisters(link, 1, 11002, 30, calibration));
    ASSERT_TRUE(ReadCalibrationRegisters(link, 1, 11002, 30, back, &delivered));
    EXPECT_EQ(delivered, 30u);
    EXPECT_EQ(std::vector<uint16_t>(back.begin(), back.begin() + 30), calibration);
    EXPECT_EQ(sim.registers(11002, 2), (QList<int>{1000, 1001}));
}

TEST_F(Bus, SingleRegisterWriteIsEchoedAndStored) {
    ASSERT_TRUE(WriteRegister(link, 1, 300, 0x1234));
    EXPECT_EQ(sim.registers(300), QList<int>{0x1234});
}

TEST_F(Bus, WriteTheModuleRefusesIsAFailure) {
    // Frame format 9 does not exist: the module answers with an exception reply.
    EXPECT_FALSE(WriteRegisters(link, 1, 269, 1, {9}));
    EXPECT_EQ(sim.registers(269), QList<int>{3});
}

TEST_F(Bus, ListAt11300IsPresentedFromRegisterZero) {
    WriteList();
    std::vector<uint16_t> values;
    std::size_t delivered = 0;
    ASSERT_TRUE(ReadRegisters(link, 1, 0, uint16_t(kList.size()), values, &delivered));
    EXPECT_EQ(delivered, kList.size());
    values.resize(kList.size());
    EXPECT_EQ(values, ModuleValuesOfList());
    EXPECT_EQ(values[0], 22000); // 220 V at 100 % with the catalogue's divisor 100
}

TEST_F(Bus, ModuleAtAnotherAddressStaysSilent) {
    std::vector<uint16_t> values;
    EXPECT_FALSE(ReadRegisters(link, 2, 0, 1, values));
    EXPECT_TRUE(ReadRegisters(link, 1, 0, 1, values));
}

TEST_F(Bus, SwitchTo2007AnswersDlt645AndNoLongerModbus) {
    ASSERT_TRUE(SwitchProtocol(2));
    std::vector<uint16_t> values;
    EXPECT_FALSE(ReadRegisters(link, 1, 0, 1, values));
    std::vector<uint8_t> data;
    ASSERT_TRUE(ReadData2007(link, kMeter1, QStringLiteral("0x02010100"), data));
    ASSERT_GE(data.size(), 2u);
    EXPECT_EQ(data[0], 0x00); // "XXX.X": 220.0 V as BCD 22 00, low byte first
    EXPECT_EQ(data[1], 0x22);
}

TEST(BusPowerOn, ModbusWindowWhateverTheProtocolThenTheProtocolInForce) {
    SimProcess sim({"--protocol", "2", "--power-window", "1"});
    SerialLink link;
    ASSERT_TRUE(link.Open(sim.link(), 3, 0, 2, 0));
    std::vector<uint16_t> values;
    ASSERT_FALSE(ReadRegisters(link, 1, 0, 1, values));
    ASSERT_EQ(sim.command("powercycle"), "ok");
    // Answered at 9600 8N1 during the power-on window, whatever the protocol.
    ASSERT_TRUE(WriteCalibrationRegisters(link, 1, 11023, 1, {1}));
    // Once the window has closed, the module speaks the protocol just written.
    std::vector<uint8_t> data;
    bool answered = false;
    for (int attempt = 0; attempt < 40 && !answered; ++attempt)
        answered = ReadData1997(link, kMeter1, 0x11, 0xB6, data);
    ASSERT_TRUE(answered);
    ASSERT_GE(data.size(), 2u);
    EXPECT_EQ(data[0], 0x20); // "XXX": 220 V as BCD 02 20, low byte first
    EXPECT_EQ(data[1], 0x02);
}

TEST_F(Bus, YaaoAndDatangPollsCarryTheListedValues) {
    WriteList();
    const std::vector<uint16_t> expected = ModuleValuesOfList();
    ASSERT_TRUE(SwitchProtocol(3));
    std::vector<uint16_t> words;
    ASSERT_TRUE(YaaoPoll(link, 1, words));
    ASSERT_GE(words.size(), expected.size());
    EXPECT_EQ(std::vector<uint16_t>(words.begin(), words.begin() + long(expected.size())),
              expected);

    ASSERT_EQ(sim.command("protocol 4"), "ok");
    words.clear();
    ASSERT_TRUE(DatangPoll(link, 1, words));
    ASSERT_GE(words.size(), expected.size());
    EXPECT_EQ(std::vector<uint16_t>(words.begin(), words.begin() + long(expected.size())),
              expected);
    EXPECT_TRUE(DatangClearEnergy(link, 1));
}

// Each misbehaviour of the module fails the transaction that meets it; switched off, the same
// transaction succeeds again.
struct Fault {
    const char* command;
    int protocol;
};

class BusFault : public Bus, public ::testing::WithParamInterface<Fault> {
protected:
    bool Exchange() {
        switch (GetParam().protocol) {
        case 0: {
            std::vector<uint16_t> values;
            return ReadRegisters(link, 1, 0, 2, values);
        }
        case 2: {
            std::vector<uint8_t> data;
            return ReadData2007(link, kMeter1, QStringLiteral("0x02010100"), data);
        }
        case 4: {
            std::vector<uint16_t> words;
            return DatangPoll(link, 1, words);
        }
        default:
            return false;
        }
    }
};

TEST_P(BusFault, FailsTheMatchingTransaction) {
    WriteList();
    if (GetParam().protocol != 0) {
        ASSERT_EQ(sim.command(QStringLiteral("protocol %1").arg(GetParam().protocol)), "ok");
    }
    ASSERT_TRUE(Exchange());
    ASSERT_EQ(sim.command(QStringLiteral("%1 on").arg(GetParam().command)), "ok");
    EXPECT_FALSE(Exchange());
    ASSERT_EQ(sim.command(QStringLiteral("%1 off").arg(GetParam().command)), "ok");
    EXPECT_TRUE(Exchange());
}

INSTANTIATE_TEST_SUITE_P(
    Table, BusFault,
    ::testing::Values(Fault{"silent", 0}, Fault{"badcrc", 0}, Fault{"short", 0}, Fault{"late", 0},
                      Fault{"fe", 0}, Fault{"silent", 2}, Fault{"badcrc", 2}, Fault{"short", 2},
                      Fault{"late", 2}, Fault{"fe", 2}, Fault{"silent", 4}, Fault{"badcrc", 4},
                      Fault{"late", 4}, Fault{"fe", 4}),
    [](const auto& info) {
        return std::string(info.param.command) + "_protocol" + std::to_string(info.param.protocol);
    });

// The traffic monitor names what each fault of the module does to an exchange, in both polling
// modes: the link records the exchange, and its outcome is counted.
struct MonitoredFault {
    const char* command;
    int protocol; // 0 Modbus, 2 DL/T 645-2007
    ExchangeOutcome outcome;
};

class MonitoredBusFault : public Bus,
                          public ::testing::WithParamInterface<std::tuple<MonitoredFault, bool>> {};

TEST_P(MonitoredBusFault, IsCountedAsItsOutcome) {
    const auto& [fault, fast] = GetParam();
    WriteList();
    if (fault.protocol != 0) {
        ASSERT_EQ(sim.command(QStringLiteral("protocol %1").arg(fault.protocol)), "ok");
    }
    TrafficLog log;
    link.SetTrafficLog(&log);
    PollingLink polled(link, fast);
    const auto exchange = [&] {
        if (fault.protocol == 0) {
            std::vector<uint16_t> values;
            ReadRegisters(polled, 1, 0, 2, values);
        } else {
            std::vector<uint8_t> data;
            ReadData2007(polled, kMeter1, QStringLiteral("0x02010100"), data);
        }
    };
    exchange();
    ASSERT_EQ(sim.command(QStringLiteral("%1 on").arg(fault.command)), "ok");
    exchange();
    link.SetTrafficLog(nullptr);

    const TrafficLog::Totals totals = log.totals();
    EXPECT_EQ(totals.exchanges, 2u);
    EXPECT_EQ(totals.byOutcome[std::size_t(ExchangeOutcome::Answered)], 1u);
    EXPECT_EQ(totals.byOutcome[std::size_t(fault.outcome)], 1u) << OutcomeText(fault.outcome);
    const std::vector<Exchange> kept = log.Since(0);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].protocol, fault.protocol == 0 ? WireProtocol::Modbus : WireProtocol::Dlt645);
    EXPECT_EQ(kept[1].outcome, fault.outcome);
    EXPECT_FALSE(kept[1].request.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, MonitoredBusFault,
    ::testing::Combine(::testing::Values(MonitoredFault{"silent", 0, ExchangeOutcome::Timeout},
                                         MonitoredFault{"badcrc", 0, ExchangeOutcome::BadChecksum},
                                         MonitoredFault{"short", 0, ExchangeOutcome::Short},
                                         MonitoredFault{"late", 0, ExchangeOutcome::Timeout},
                                         MonitoredFault{"wrongaddr", 0,
                                                        ExchangeOutcome::WrongAddress},
                                         MonitoredFault{"silent", 2, ExchangeOutcome::Timeout},
                                         MonitoredFault{"badcrc", 2, ExchangeOutcome::BadChecksum},
                                         MonitoredFault{"short", 2, ExchangeOutcome::Short},
                                         MonitoredFault{"late", 2, ExchangeOutcome::Timeout}),
                       ::testing::Bool()),
    [](const auto& info) {
        const MonitoredFault& f = std::get<0>(info.param);
        return std::string(f.command) + "_protocol" + std::to_string(f.protocol) +
               (std::get<1>(info.param) ? "_fast" : "_windows");
    });

// Replies that arrive in two pieces at varying times (the simulator's jitter) still end a fast
// read with the whole frame: every read of each protocol is answered, with the same values as a
// read that waits out its window.
TEST(BusJitter, FastReadsTakeRepliesInPieces) {
    for (const int protocol : {0, 2, 3, 4}) {
        SCOPED_TRACE(protocol);
        SimProcess sim({"--pace", "--jitter-ms", "40"});
        ASSERT_FALSE(sim.device().isEmpty());
        SerialLink link;
        ASSERT_TRUE(link.Open(sim.link(), 3, 0, 2, 0));
        std::vector<uint16_t> words{uint16_t(kList.size())};
        words.insert(words.end(), kList.begin(), kList.end());
        ASSERT_TRUE(WriteCalibrationRegisters(link, 1, 11300, uint16_t(words.size()), words));
        if (protocol != 0) {
            ASSERT_EQ(sim.command(QStringLiteral("protocol %1").arg(protocol)), "ok");
        }
        TrafficLog log;
        link.SetTrafficLog(&log);
        const auto read = [&](Link& over) {
            std::vector<uint16_t> values;
            std::vector<uint8_t> data;
            bool ok = false;
            switch (protocol) {
            case 0:
                ok = ReadRegisters(over, 1, 0, uint16_t(kList.size()), values);
                break;
            case 2:
                ok = ReadData2007(over, kMeter1, QStringLiteral("0x02010100"), data);
                values.assign(data.begin(), data.end());
                break;
            case 3:
                ok = YaaoPoll(over, 1, values);
                break;
            case 4:
                ok = DatangPoll(over, 1, values, kList.size());
                break;
            }
            return ok ? std::optional(values) : std::nullopt;
        };
        const auto whole = read(link);
        ASSERT_TRUE(whole.has_value());
        PollingLink fast(link, true);
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(read(fast), whole) << "read " << i;
        link.SetTrafficLog(nullptr);
        EXPECT_EQ(log.totals().byOutcome[std::size_t(ExchangeOutcome::Answered)], 9u);
    }
}

// The master does not compare the address of a reply (the bus has one module at a time), so an
// answer in the name of another address still counts; independent masters refuse it.
TEST_F(Bus, ReplyAddressIsNotCompared) {
    ASSERT_EQ(sim.command("wrongaddr on"), "ok");
    std::vector<uint16_t> values;
    EXPECT_TRUE(ReadRegisters(link, 1, 0, 1, values));
}

// Started for a product model of the database, the module answers as the configuration download
// and the protocol switch would have left it.
TEST(BusModelSetUp, ModuleStartsConfiguredForAModel) {
    QTemporaryDir dir;
    const QString dbPath = dir.filePath("Config.db");
    {
        ProductDatabase db(dbPath);
        ASSERT_EQ(db.Open(QStringLiteral(KX_SIM_DATA_DIR)), QString());
    }
    {
        SimProcess sim({"--model", "KX7410D07-01", "--db", dbPath});
        ASSERT_FALSE(sim.device().isEmpty());
        EXPECT_EQ(sim.registers(11023), QList<int>{2});
        SerialLink link;
        ASSERT_TRUE(link.Open(sim.link(), 3, 0, 2, 0));
        std::vector<uint8_t> data;
        EXPECT_TRUE(ReadData2007(link, kMeter1, QStringLiteral("0x02010100"), data));
    }
    {
        SimProcess sim({"--model", "KX2953B35-01", "--db", dbPath});
        ProductDatabase db(dbPath);
        QStringList names;
        ASSERT_TRUE(db.SelectSchemeParameters(QStringLiteral("ModBus标准方式"), names));
        std::optional<OutputParameterRow> first;
        ASSERT_TRUE(db.SelectParameter(names.value(0), first) && first);
        const QList<int> list = sim.registers(11300, 2);
        ASSERT_EQ(list.size(), 2);
        EXPECT_GE(list[0], names.size());
        EXPECT_EQ(list[1], first->parameter.addr);
    }
    QProcess unknown;
    unknown.start(QStringLiteral(KX_SIM_EXE),
                  {"--link", dir.filePath("tty"), "--model", "NoSuchModel", "--db", dbPath});
    ASSERT_TRUE(unknown.waitForFinished(kToolWaitMs));
    EXPECT_EQ(unknown.exitCode(), 1);
    EXPECT_TRUE(unknown.readAllStandardError().contains("NoSuchModel"));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
