// The input as Config.ini: every setting read from it (a refusal is a ConversionError, nothing
// else), then the saves, after which the values saved read back as saved and a second save of
// the same values leaves the file byte for byte as the first one did. The database address
// parser takes the input as text too, and never repeats a password it was given.

#include "common/conversion.h"
#include "store/db_location.h"
#include "store/ini_file.h"
#include "store/settings.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {

template <typename Load> void Tolerate(Load load) {
    try {
        load();
    } catch (const ConversionError& e) {
        if (e.text().isEmpty()) __builtin_trap();
    }
}

QByteArray Contents(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) __builtin_trap();
    return file.readAll();
}

void CheckAddressText(const QString& tail) {
    // A password the parser is given must stay out of its message.
    const QString secret = QStringLiteral("Zq7pw");
    const QString text = QStringLiteral("postgresql://station:") + secret + QLatin1Char('@') + tail;
    QString error;
    ParseDatabaseLocation(text, &error);
    if (!tail.contains(secret) && error.contains(secret)) __builtin_trap();
    ParseDatabaseLocation(tail, &error);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static QTemporaryDir folder;
    if (!folder.isValid()) __builtin_trap();
    const QString dir = folder.path();
    const QString path = SettingsPath(dir);
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(bytes) != bytes.size())
            __builtin_trap();
    }

    Tolerate([&] { LoadSerialSettings(dir); });
    Tolerate([&] { LoadCheckSettings(dir); });
    Tolerate([&] { LoadPollSettings(dir); });
    Tolerate([&] { LoadSettleCycles(dir); });
    Tolerate([&] { LoadEngineeringMode(dir); });
    Tolerate([&] { LoadDatabaseLocation(dir); });
    LoadPortName(dir);
    LoadOperator(dir);
    LoadLastUser(dir);
    if (LoadRecentPorts(dir).size() > kMaxRecentPorts) __builtin_trap();
    CheckAddressText(QString::fromUtf8(bytes.left(200)));

    SavedSerialSettings serial;
    serial.port = size > 0 ? data[0] % 8 : 0;
    serial.address = size > 1 ? data[1] : 1;
    const QString port = QStringLiteral("/dev/ttyUSB1");
    const QString network = QStringLiteral("tcp://127.0.0.1:4001");
    const QString name = QStringLiteral("张工");
    const auto save = [&] {
        SaveSerialSettings(dir, serial, port);
        SaveCheckSettings(dir, SavedCheckSettings{});
        SaveOperator(dir, name);
        AddRecentPort(dir, network);
    };
    save();
    const QByteArray saved = Contents(path);
    if (!(LoadSerialSettings(dir) == serial) || LoadPortName(dir) != port) __builtin_trap();
    if (!(LoadCheckSettings(dir) == SavedCheckSettings{})) __builtin_trap();
    if (LoadOperator(dir) != name) __builtin_trap();
    const QStringList recent = LoadRecentPorts(dir);
    if (recent.isEmpty() || recent.first() != network) __builtin_trap();
    save();
    if (Contents(path) != saved) __builtin_trap();
    return 0;
}
