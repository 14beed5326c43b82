#include "gui/kit/language.h"

#include "store/ini_file.h"
#include "store/settings.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>
#include <vector>

namespace {
Language installed = Language::Chinese;
std::vector<std::unique_ptr<QTranslator>> translators;

bool Load(const QString& file, const QString& dir) {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(file, dir)) return false; // the texts stay as written
    QCoreApplication::installTranslator(translator.get());
    translators.push_back(std::move(translator));
    return true;
}
} // namespace

Language ChooseLanguage(const QString& configDir, const QLocale& system) {
    const IniValue chosen = ReadIniValue(SettingsPath(configDir), QStringLiteral("SysInfo"),
                                         QStringLiteral("Language"));
    if (chosen.found) {
        if (chosen.text.startsWith(QLatin1String("en"), Qt::CaseInsensitive))
            return Language::English;
        if (chosen.text.startsWith(QLatin1String("zh"), Qt::CaseInsensitive))
            return Language::Chinese;
    }
    return system.language() == QLocale::English ? Language::English : Language::Chinese;
}

void InstallLanguage(const QString& configDir, const QString& translationsDir) {
    InstallLanguage(ChooseLanguage(configDir, QLocale::system()), translationsDir);
}

void InstallLanguage(Language language, const QString& translationsDir) {
    for (const auto& translator : translators)
        QCoreApplication::removeTranslator(translator.get());
    translators.clear();
    // Without the windows' own translation the program stays Chinese throughout: half a
    // language is worse than none.
    if (language == Language::English && Load(QStringLiteral("kx7410_en.qm"), translationsDir)) {
        Load(QStringLiteral("kxcore_en.qm"), translationsDir);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        installed = Language::English;
        return;
    }
    installed = Language::Chinese;
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    Load(QStringLiteral("qtbase_zh_CN.qm"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

bool IsEnglish() {
    return installed == Language::English;
}

QString DisplayDateTime(const QDateTime& moment, bool milliseconds) {
    const QString time = milliseconds ? QStringLiteral("hh:mm:ss.zzz") : QStringLiteral("hh:mm:ss");
    return QLocale().toString(moment, DisplayDateFormat() + QLatin1Char(' ') + time);
}

QString DisplayDateFormat() {
    if (!IsEnglish()) return QStringLiteral("yyyy-MM-dd");
    return QLocale().dateFormat(QLocale::ShortFormat);
}
