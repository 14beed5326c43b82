// The engine's texts under the English translation the program installs: each is translated when
// it is made, after the translator is in place (not fixed while the program starts), and a text
// made of parts keeps the parts in the order the translation gives. Without a translator the
// same calls give the Chinese texts, which the tests of each folder compare.

#include "admin/admin_rules.h"
#include "calib/configuration_download.h"
#include "calib/switching.h"
#include "common/conversion.h"
#include "link/open_failure.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTranslator>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <functional>

namespace {

QString Refusal(const std::function<void()>& convert) {
    try {
        convert();
    } catch (const ConversionError& e) {
        return e.text();
    }
    return {};
}

struct EnglishCase {
    const char* name;
    std::function<QString()> make;
    const char* english;
};

class EnglishTexts : public testing::TestWithParam<EnglishCase> {
protected:
    static void SetUpTestSuite() {
        translator_ = new QTranslator;
        ASSERT_TRUE(
            translator_->load(QStringLiteral("kxcore_en.qm"), QStringLiteral(KX_TRANSLATIONS_DIR)));
        QCoreApplication::installTranslator(translator_);
    }
    static void TearDownTestSuite() {
        QCoreApplication::removeTranslator(translator_);
        delete translator_;
        translator_ = nullptr;
    }
    static inline QTranslator* translator_ = nullptr;
};

TEST_P(EnglishTexts, AreTranslatedWhenMade) {
    EXPECT_EQ(GetParam().make(), QString::fromUtf8(GetParam().english));
}

std::string CaseName(const testing::TestParamInfo<EnglishCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, EnglishTexts,
    testing::Values(
        // Messages kept as constants of the administration rules.
        EnglishCase{"AdminConstant", [] { return QString(AdminText::WrongPassword); },
                    "Sorry, the password is wrong!"},
        EnglishCase{"AdminPattern",
                    [] { return AdminText::SchemeChangedElsewhere.arg(QStringLiteral("F1")); },
                    "Scheme F1 was changed elsewhere after it was loaded. Overwrite it with the "
                    "contents of this window?"},
        EnglishCase{"AdminHeading", [] { return GridHeadings(2).at(2); }, "Protocol"},
        // A field's refusal: the caption, the text as typed, then what is wrong with it.
        EnglishCase{
            "FieldNotInteger",
            [] {
                return Refusal([] {
                    FieldToInt(QStringLiteral("Start current:"), QStringLiteral("ab"), {0, 65535});
                });
            },
            "Start current: “ab” is not a valid integer"},
        EnglishCase{
            "FieldOutOfRange",
            [] {
                return Refusal([] {
                    FieldToInt(QStringLiteral("Start current:"), QStringLiteral("-5"), {0, 65535});
                });
            },
            "Start current: “-5” is out of range (0 to 65535)"},
        EnglishCase{"OpenFailure",
                    [] {
                        OpenFailure f;
                        f.kind = OpenFailure::Kind::InUse;
                        f.port = QStringLiteral("/dev/ttyUSB0");
                        return OpenFailureMessage(f);
                    },
                    "Initialisation failed!!\nSerial port /dev/ttyUSB0 is in use by another "
                    "program: close that program first."},
        EnglishCase{"DownloadDifferences",
                    [] {
                        DownloadOutcome o;
                        o.result = DownloadResult::Done;
                        o.readBack = true;
                        o.differences = {{QStringLiteral("启动电流"), QStringLiteral("10"),
                                          QStringLiteral("12")}};
                        return DownloadMessage(o);
                    },
                    "The configuration read back differs from the download!\nWritten "
                    "启动电流=10 read back 12"},
        EnglishCase{"SwitchOutcome", [] { return StateEntryDoneText(); },
                    "Calibration state entered, the product can be calibrated!"}),
    CaseName);

// Every text of the engine's translation is finished, and keeps the placeholders and line
// breaks of its source: a lost %2 would drop a value from the message shown.
TEST(EnglishCatalogue, IsCompleteAndKeepsPlaceholders) {
    QFile file(QStringLiteral(KX_CORE_TS));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << KX_CORE_TS;
    const QRegularExpression placeholder(QStringLiteral("%\\d"));
    const auto placeholders = [&](const QString& text) {
        QStringList found;
        for (const auto& m : placeholder.globalMatch(text))
            found << m.captured();
        found.sort();
        return found;
    };
    int messages = 0;
    QString source;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == QLatin1String("source")) {
            source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            ++messages;
            SCOPED_TRACE(source.toStdString());
            EXPECT_FALSE(xml.attributes().hasAttribute(QLatin1String("type")));
            const QString english = xml.readElementText();
            EXPECT_FALSE(english.isEmpty());
            EXPECT_EQ(placeholders(english), placeholders(source));
            EXPECT_EQ(english.count(QLatin1Char('\n')), source.count(QLatin1Char('\n')));
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_GT(messages, 0);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // translators are installed on the application
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
