#include "common/conversion.h"
#include "store/settings.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

namespace {
QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

const QByteArray kComplete = "[SetCom]\r\nport=2\r\nbaudrate=4\r\nparity=1\r\ndatabit=1\r\n"
                             "stopbits=1\r\naddress=300\r\n\r\n[SetCheck]\r\nU=57.7\r\nI=1.5\r\n"
                             "JDF=0.01\r\nJDU=0.1\r\nJDI=0.2\r\nJDC=0.5\r\nJDP=0.5\r\nJDQ=1\r\n"
                             "JDS=2\r\n\r\n[SysInfo]\r\nUser=admin\r\n";

class SettingsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString ini() const { return SettingsPath(dir.path()); }
};

TEST_F(SettingsTest, ReadsAHandWrittenFile) {
    WriteBytes(ini(), kComplete);
    EXPECT_EQ(LoadSerialSettings(dir.path()), (SavedSerialSettings{2, 4, 1, 1, 1, 300}));
    EXPECT_EQ(LoadCheckSettings(dir.path()),
              (SavedCheckSettings{57.7, 1.5, 0.01, 0.1, 0.2, 0.5, 0.5, 1, 2}));
    EXPECT_EQ(LoadLastUser(dir.path()), "admin");
}

TEST_F(SettingsTest, NewFileHoldsTheKeysInOrderWithShortestNumbers) {
    SaveSerialSettings(dir.path(), {0, 3, 0, 2, 0, 1});
    SaveCheckSettings(dir.path(), {220, 5, 0.02, 0.2, 0.2, 0.5, 0.5, 0.5, 0.5});
    EXPECT_EQ(ReadBytes(ini()),
              "[SetCom]\r\nport=0\r\nbaudrate=3\r\nparity=0\r\ndatabit=2\r\nstopbits=0\r\n"
              "address=1\r\n\r\n[SetCheck]\r\nU=220\r\nI=5\r\nJDF=0.02\r\nJDU=0.2\r\nJDI=0.2\r\n"
              "JDC=0.5\r\nJDP=0.5\r\nJDQ=0.5\r\nJDS=0.5\r\n");
}

class CheckRoundTrip : public SettingsTest,
                       public ::testing::WithParamInterface<SavedCheckSettings> {};

TEST_P(CheckRoundTrip, SavedValuesReadBackExactly) {
    WriteBytes(ini(), kComplete);
    SaveCheckSettings(dir.path(), GetParam());
    EXPECT_EQ(LoadCheckSettings(dir.path()), GetParam());
    // The serial section was not disturbed by rewriting the other one.
    EXPECT_EQ(LoadSerialSettings(dir.path()), (SavedSerialSettings{2, 4, 1, 1, 1, 300}));
}

INSTANTIATE_TEST_SUITE_P(
    Values, CheckRoundTrip,
    ::testing::Values(SavedCheckSettings{220, 5, 0.02, 0.2, 0.2, 0.5, 0.5, 0.5, 0.5},
                      SavedCheckSettings{57.735, 1.5, 0.005, 0.1, 0.05, 1, 2, 3, 0.25},
                      SavedCheckSettings{380.123456789012, 0.001, 1e-05, 0.3, 0.3, 0.3, 0.3, 0.3,
                                         100},
                      SavedCheckSettings{-1, 0, 0, 0, 0, 0, 0, 0, 0}));

class SerialRoundTrip : public SettingsTest,
                        public ::testing::WithParamInterface<SavedSerialSettings> {};

TEST_P(SerialRoundTrip, SavedValuesReadBackExactly) {
    SaveSerialSettings(dir.path(), GetParam());
    EXPECT_EQ(LoadSerialSettings(dir.path()), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Values, SerialRoundTrip,
                         ::testing::Values(SavedSerialSettings{0, 3, 0, 2, 0, 1},
                                           SavedSerialSettings{-1, 5, 2, 0, 1, 255},
                                           SavedSerialSettings{7, 0, 1, 1, 0, 300}));

TEST_F(SettingsTest, UserNameIsStoredAsGbk) {
    WriteBytes(ini(), kComplete);
    const QString name = QString::fromUtf8("管理员张三");
    SaveLastUser(dir.path(), name);
    QStringEncoder gbk("GBK");
    const QByteArray expected = QByteArray("User=") + QByteArray(gbk.encode(name));
    EXPECT_TRUE(ReadBytes(ini()).contains(expected));
    EXPECT_FALSE(ReadBytes(ini()).contains(name.toUtf8()));
    EXPECT_EQ(LoadLastUser(dir.path()), name);
}

TEST_F(SettingsTest, GbkFileWrittenElsewhereIsRead) {
    QStringEncoder gbk("GBK");
    WriteBytes(ini(), QByteArray("[SysInfo]\r\nUser=") +
                          QByteArray(gbk.encode(QString::fromUtf8("测试员"))) + "\r\n");
    EXPECT_EQ(LoadLastUser(dir.path()), QString::fromUtf8("测试员"));
}

TEST_F(SettingsTest, UnknownKeysAndCommentsSurviveASave) {
    const QByteArray edited = "; written by hand\r\n[SetCom]\r\nport=1\r\nbaudrate=3\r\n"
                              "extra=keep me\r\nparity=0\r\ndatabit=2\r\nstopbits=0\r\n"
                              "address=5\r\n\r\n[Other]\r\nfoo=bar\r\n";
    WriteBytes(ini(), edited);
    SaveSerialSettings(dir.path(), {4, 5, 2, 1, 1, 9});
    const QByteArray after = ReadBytes(ini());
    EXPECT_TRUE(after.startsWith("; written by hand\r\n[SetCom]\r\nport=4\r\nbaudrate=5\r\n"
                                 "extra=keep me\r\nparity=2\r\n"));
    EXPECT_TRUE(after.contains("[Other]\r\nfoo=bar\r\n"));
    EXPECT_EQ(LoadSerialSettings(dir.path()), (SavedSerialSettings{4, 5, 2, 1, 1, 9}));
    // A section the file lacks is appended; the rest stays.
    SaveCheckSettings(dir.path(), SavedCheckSettings{});
    EXPECT_TRUE(ReadBytes(ini()).startsWith(after));
    EXPECT_EQ(LoadCheckSettings(dir.path()), SavedCheckSettings{});
}

// Files written by other programs or by hand: saving the serial settings with only the port
// changed must rewrite the port line alone and give every other byte back.
struct ForeignFile {
    const char* name;
    QByteArray before; // holds "port=1"; the other SetCom keys already have the saved values
};

void PrintTo(const ForeignFile& f, std::ostream* os) {
    *os << f.name;
}

const QByteArray kBom = "\xEF\xBB\xBF";
const QByteArray kSetComRest = "baudrate=3\r\nparity=0\r\ndatabit=2\r\nstopbits=0\r\naddress=5\r\n";

class ForeignFileSave : public SettingsTest, public ::testing::WithParamInterface<ForeignFile> {};

TEST_P(ForeignFileSave, ChangesOnlyTheLineOfTheChangedKey) {
    WriteBytes(ini(), GetParam().before);
    SaveSerialSettings(dir.path(), {4, 3, 0, 2, 0, 5});
    EXPECT_EQ(ReadBytes(ini()), QByteArray(GetParam().before).replace("port=1", "port=4"));
    EXPECT_EQ(LoadSerialSettings(dir.path()), (SavedSerialSettings{4, 3, 0, 2, 0, 5}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ForeignFileSave,
    ::testing::Values(
        ForeignFile{"Utf8WithBom", kBom + "[SetCom]\r\nport=1\r\n" + kSetComRest +
                                       "\r\n[SysInfo]\r\nUser=" + QByteArray("管理员") + "\r\n"},
        ForeignFile{"Utf8WithBomUnixEnds", kBom + "; 串口\n[SetCom]\nport=1\n" +
                                               QByteArray(kSetComRest).replace("\r\n", "\n")},
        // a lead byte without its trail, bytes GBK does not use, UTF-8 without a mark
        ForeignFile{"BytesNotGbk", "; \x80\xFF\xA1\r\n[SetCom]\r\nport=1\r\n" + kSetComRest +
                                       "[Other]\r\nname=\xB9\r\nnote=" + QByteArray("管理员") +
                                       "\r\n"},
        ForeignFile{"MixedLineEnds", "[SetCom]\nport=1\r\n" + kSetComRest + "[Other]\nx=1\n"},
        ForeignFile{"NoLineEndAtTheEnd", "[SetCom]\r\n" + kSetComRest + "port=1"},
        // the same values in another spelling
        ForeignFile{"KeysOfOtherCaseAndBlanks",
                    "[SetCom]\r\nport=1\r\nBaudRate = 3\r\nparity=0\r\ndatabit= 2\r\n"
                    "STOPBITS=0\r\naddress =5\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsTest, FileWithUtf8MarkIsReadAndWrittenAsUtf8) {
    WriteBytes(ini(), kBom + "[SysInfo]\r\nUser=" + QByteArray("管理员") + "\r\n");
    EXPECT_EQ(LoadLastUser(dir.path()), QString::fromUtf8("管理员"));
    SaveLastUser(dir.path(), QString::fromUtf8("张三"));
    EXPECT_EQ(ReadBytes(ini()), kBom + "[SysInfo]\r\nUser=" + QByteArray("张三") + "\r\n");
    // a section added keeps the mark at the head of the file
    SaveCheckSettings(dir.path(), SavedCheckSettings{});
    EXPECT_TRUE(ReadBytes(ini()).startsWith(kBom + "[SysInfo]\r\nUser=" + QByteArray("张三") +
                                            "\r\n\r\n[SetCheck]\r\nU="));
    EXPECT_EQ(LoadLastUser(dir.path()), QString::fromUtf8("张三"));
    EXPECT_EQ(LoadCheckSettings(dir.path()), SavedCheckSettings{});
}

TEST_F(SettingsTest, KeysAreFoundWhateverTheirCaseAndBlanks) {
    WriteBytes(ini(), "[setcom]\nPORT = 1\nBaudRate=2\nparity= 1\ndatabit =0\nstopbits=1\n"
                      "address=0x10\n");
    EXPECT_EQ(LoadSerialSettings(dir.path()), (SavedSerialSettings{1, 2, 1, 0, 1, 16}));
    // A file with Unix line ends keeps them.
    SaveSerialSettings(dir.path(), {1, 2, 1, 0, 1, 17});
    EXPECT_FALSE(ReadBytes(ini()).contains('\r'));
}

struct BrokenCase {
    const char* name;
    QByteArray content; // empty: no file at all
    std::function<void(const QString&)> load;
    const char* inMessage;
};

class BrokenFile : public SettingsTest, public ::testing::WithParamInterface<BrokenCase> {};

TEST_P(BrokenFile, RaisesConversionErrorAndLeavesTheFileAlone) {
    const BrokenCase& c = GetParam();
    if (!c.content.isEmpty()) WriteBytes(ini(), c.content);
    try {
        c.load(dir.path());
        FAIL() << "no error";
    } catch (const ConversionError& e) {
        EXPECT_TRUE(e.text().contains(QLatin1String(c.inMessage))) << e.what();
    }
    EXPECT_EQ(ReadBytes(ini()), c.content);
    EXPECT_EQ(QFile::exists(ini()), !c.content.isEmpty());
}

QByteArray Without(const char* key) {
    QByteArray b = kComplete;
    const qsizetype at = b.indexOf(QByteArray("\n") + key + "=");
    return b.remove(at + 1, b.indexOf('\n', at + 1) - at);
}

QByteArray Replaced(const char* from, const char* to) {
    return QByteArray(kComplete).replace(from, to);
}

const auto kSerial = [](const QString& d) { LoadSerialSettings(d); };
const auto kCheck = [](const QString& d) { LoadCheckSettings(d); };
const auto kEngineering = [](const QString& d) { LoadEngineeringMode(d); };

INSTANTIATE_TEST_SUITE_P(
    Cases, BrokenFile,
    ::testing::Values(
        BrokenCase{"NoFileSerial", {}, kSerial, "port"}, BrokenCase{"NoFileCheck", {}, kCheck, "U"},
        BrokenCase{"NoSection", "[SetCom]\r\nport=1\r\n", kCheck, "SetCheck"},
        BrokenCase{"KeyInOtherSection", "[SetCom]\r\nU=220\r\n", kCheck, "U"},
        BrokenCase{"MissingJDS", Without("JDS"), kCheck, "JDS"},
        BrokenCase{"MissingAddress", Without("address"), kSerial, "address"},
        BrokenCase{"LetterInReal", Replaced("JDP=0.5", "JDP=abc"), kCheck, "abc"},
        BrokenCase{"EmptyReal", Replaced("U=57.7", "U="), kCheck, "U"},
        BrokenCase{"RealWhereIntegerNeeded", Replaced("baudrate=4", "baudrate=4.5"), kSerial,
                   "4.5"},
        BrokenCase{"LetterInInteger", Replaced("parity=1", "parity=abc"), kSerial, "abc"},
        BrokenCase{"EngineeringNotANumber", QByteArray(kComplete) + "Engineering=yes\r\n",
                   kEngineering, "yes"}),
    [](const auto& info) { return std::string(info.param.name); });

struct EngineeringCase {
    const char* name;
    QByteArray content;
    bool expected;
};

class Engineering : public SettingsTest, public ::testing::WithParamInterface<EngineeringCase> {};

TEST_P(Engineering, AbsentMeansOff) {
    if (!GetParam().content.isEmpty()) WriteBytes(ini(), GetParam().content);
    EXPECT_EQ(LoadEngineeringMode(dir.path()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Engineering,
    ::testing::Values(EngineeringCase{"NoFile", {}, false},
                      EngineeringCase{"NoKey", kComplete, false},
                      EngineeringCase{"Zero", QByteArray(kComplete) + "Engineering=0\r\n", false},
                      EngineeringCase{"One", QByteArray(kComplete) + "Engineering=1\r\n", true},
                      EngineeringCase{"OtherSectionIgnored",
                                      "[SetCom]\r\nEngineering=1\r\n[SysInfo]\r\nUser=\r\n",
                                      false}),
    [](const auto& info) { return std::string(info.param.name); });

// The build puts the shipped file beside the executables only when none is there yet.
TEST(ShippedSettings, BuildCopiesOnlyWhenAbsent) {
    QTemporaryDir dir;
    const QString dst = dir.filePath("bin/Config.ini");
    const auto copy = [&] {
        return QProcess::execute(KX_CMAKE, {"-DSRC=" KX_SOURCE_DATA_DIR "/Config.ini",
                                            "-DDST=" + dst, "-P", KX_COPY_SCRIPT});
    };
    ASSERT_EQ(copy(), 0);
    EXPECT_EQ(ReadBytes(dst), ReadBytes(KX_SOURCE_DATA_DIR "/Config.ini"));
    WriteBytes(dst, "[SetCom]\r\nport=5\r\n");
    ASSERT_EQ(copy(), 0);
    EXPECT_EQ(ReadBytes(dst), "[SetCom]\r\nport=5\r\n");
}

TEST(ShippedSettings, DefaultFileHoldsTheDefaults) {
    const QString dir = QStringLiteral(KX_SOURCE_DATA_DIR);
    EXPECT_EQ(LoadSerialSettings(dir), (SavedSerialSettings{0, 3, 0, 2, 0, 1}));
    EXPECT_EQ(LoadCheckSettings(dir),
              (SavedCheckSettings{220, 5, 0.02, 0.2, 0.2, 0.5, 0.5, 0.5, 0.5}));
    EXPECT_FALSE(LoadEngineeringMode(dir));
    EXPECT_EQ(LoadLastUser(dir), QString());
}
} // namespace
