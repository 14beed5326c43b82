#pragma once
// The language of the windows: Chinese unless SysInfo/Language in Config.ini or, without that key,
// an English system locale asks for English. The choice is made once at start-up, before the
// first window is built, because every text is translated as the window is made. GUI thread only.

#include <QDateTime>
#include <QLocale>
#include <QString>

enum class Language { Chinese, English };

// SysInfo/Language ("en" or "zh_CN") wins; without it (or with a value that names neither) the
// system locale decides: English for an English locale, Chinese for anything else.
Language ChooseLanguage(const QString& configDir, const QLocale& system);

// Installs the translators of the chosen language on the application: for English the program's
// own kx7410_en.qm and kxcore_en.qm from translationsDir, for Chinese Qt's own qtbase_zh_CN.qm so
// that the standard dialogs and buttons speak Chinese too. Sets the default QLocale to match, so
// dates and numbers shown by widgets follow. A missing .qm leaves the Chinese texts. Calling it
// again replaces what an earlier call installed.
void InstallLanguage(const QString& configDir, const QString& translationsDir);
// The same with the choice already made.
void InstallLanguage(Language language, const QString& translationsDir);

// The language installed last (Chinese before any call): the help viewer picks its file by it.
bool IsEnglish();

// A moment as the windows show it: in Chinese "yyyy-MM-dd hh:mm:ss" (with ".zzz" for
// milliseconds), in English the locale's short date and the time of day to the second. Files and
// databases keep their own fixed formats and do not use this.
QString DisplayDateTime(const QDateTime& moment, bool milliseconds = false);
// The display format of a date field (a QDateEdit) in the same convention.
QString DisplayDateFormat();
