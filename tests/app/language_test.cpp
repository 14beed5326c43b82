// The English translation: the translation sources are complete and current, the choice of the
// language follows Config.ini and the system locale, the English windows fit their controls at
// their design sizes, and in Chinese Qt's own dialogs speak Chinese.

#include "gui/admin/login_form.h"
#include "gui/admin/management_form.h"
#include "gui/kit/language.h"
#include "gui/main/main_form.h"
#include "gui/main/startup.h"
#include "gui/settings/setcheck_dialog.h"
#include "gui/settings/setcom_dialog.h"
#include "link/serial_link.h"
#include "recording_messages.h"
#include "store/database.h"

#include "app_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSet>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QXmlStreamReader>

namespace {

const QString kSourceDir = QStringLiteral(KX_SOURCE_DIR);
const QString kTranslationsDir = QStringLiteral(KX_TRANSLATIONS_DIR);

struct TsMessage {
    QString context;
    QString source;
    QString translation;
    bool unfinished = false;
};

QList<TsMessage> ReadTs(const QString& path) {
    QList<TsMessage> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return messages;
    QXmlStreamReader xml(&file);
    QString context;
    while (!xml.atEnd()) {
        if (!xml.readNextStartElement()) continue;
        if (xml.name() == QLatin1String("context")) {
            context.clear();
        } else if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            TsMessage m;
            m.context = context;
            while (xml.readNextStartElement()) {
                if (xml.name() == QLatin1String("source")) {
                    m.source = xml.readElementText();
                } else if (xml.name() == QLatin1String("translation")) {
                    m.unfinished = xml.attributes().value(QLatin1String("type")) ==
                                   QLatin1String("unfinished");
                    m.translation = xml.readElementText(QXmlStreamReader::IncludeChildElements);
                } else {
                    xml.skipCurrentElement();
                }
            }
            messages << m;
        }
    }
    return messages;
}

QSet<QString> Placeholders(const QString& text) {
    QSet<QString> found;
    static const QRegularExpression placeholder(QStringLiteral("%\\d+"));
    for (const QRegularExpressionMatch& m : placeholder.globalMatch(text))
        found.insert(m.captured());
    return found;
}

// The folders whose texts each translation source holds, as scripts/lupdate scans them.
QStringList SourceFolders(const QString& ts) {
    if (ts == QLatin1String("kx7410_en.ts"))
        return {QStringLiteral("src/gui"), QStringLiteral("src/app")};
    return {QStringLiteral("src/link"),  QStringLiteral("src/acquire"), QStringLiteral("src/calib"),
            QStringLiteral("src/store"), QStringLiteral("src/session"), QStringLiteral("src/admin"),
            QStringLiteral("src/common")};
}

// A text as the control shows it: mnemonics marked with & are not drawn.
QString Shown(QString text) {
    text.replace(QLatin1String("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QChar(1), QLatin1Char('&'));
    return text;
}

int TextWidth(const QWidget* w, const QString& text) {
    int widest = 0;
    for (const QString& line : Shown(text).split(QLatin1Char('\n')))
        widest = std::max(widest, w->fontMetrics().horizontalAdvance(line));
    return widest;
}

QString Describe(const QWidget* w, const QString& text, int needed) {
    return QStringLiteral("%1 %2 \"%3\": needs %4, has %5")
        .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName(), text)
        .arg(needed)
        .arg(w->width());
}

// The width a control's text needs with the margins its style draws around it, or -1 where the
// control has no text of its own to fit.
int NeededWidth(const QWidget* w, QString& text) {
    QStyle* style = w->style();
    if (const auto* tool = qobject_cast<const QToolButton*>(w)) {
        text = tool->text();
        // The arrows of an up-down control have no text.
        if (text.isEmpty() || tool->toolButtonStyle() == Qt::ToolButtonIconOnly) return -1;
        return tool->sizeHint().width();
    }
    if (const auto* push = qobject_cast<const QPushButton*>(w)) {
        text = push->text();
        if (text.isEmpty()) return -1;
        // The margins alone: the style's minimum width of a text button is not a fit.
        QStyleOptionButton option;
        option.initFrom(push);
        option.features =
            push->autoDefault() ? QStyleOptionButton::AutoDefaultButton : QStyleOptionButton::None;
        int content = TextWidth(w, text);
        if (!push->icon().isNull()) content += push->iconSize().width() + 4;
        return style->sizeFromContents(QStyle::CT_PushButton, &option, QSize(0, 0), w).width() +
               content;
    }
    if (const auto* radio = qobject_cast<const QRadioButton*>(w)) {
        text = radio->text();
        QStyleOptionButton option;
        option.initFrom(radio);
        const QSize content(TextWidth(w, text), w->fontMetrics().height());
        return style->sizeFromContents(QStyle::CT_RadioButton, &option, content, w).width();
    }
    if (const auto* check = qobject_cast<const QCheckBox*>(w)) {
        text = check->text();
        QStyleOptionButton option;
        option.initFrom(check);
        const QSize content(TextWidth(w, text), w->fontMetrics().height());
        return style->sizeFromContents(QStyle::CT_CheckBox, &option, content, w).width();
    }
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        text = label->text();
        if (text.isEmpty() || label->wordWrap()) return -1;
        const int indent = std::max(label->indent(), 0);
        return TextWidth(w, text) + 2 * label->frameWidth() + 2 * label->margin() + indent;
    }
    if (const auto* box = qobject_cast<const QGroupBox*>(w)) {
        text = box->title();
        if (text.isEmpty()) return -1;
        // The title stands inside the frame with the style's indent on either side.
        return TextWidth(w, text) + 2 * style->pixelMetric(QStyle::PM_LayoutLeftMargin);
    }
    return -1;
}

// Every visible control of the window whose text does not fit, and every tab bar that cannot
// show all its tabs.
QStringList Offenders(QWidget* window) {
    QStringList found;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisible()) continue;
        if (auto* bar = qobject_cast<QTabBar*>(w)) {
            for (int i = 0; i < bar->count(); ++i) {
                if (!bar->isTabVisible(i)) continue;
                const QRect tab = bar->tabRect(i);
                const int needed = TextWidth(bar, bar->tabText(i));
                if (tab.width() < needed || tab.right() >= bar->width())
                    found << QStringLiteral("tab %1 \"%2\": needs %3, has %4 up to %5 of %6")
                                 .arg(bar->parentWidget()->objectName(), bar->tabText(i))
                                 .arg(needed)
                                 .arg(tab.width())
                                 .arg(tab.right())
                                 .arg(bar->width());
            }
            continue;
        }
        QString text;
        const int needed = NeededWidth(w, text);
        if (needed > w->width()) found << Describe(w, text, needed);
    }
    return found;
}

// Offenders on every page of every tab widget of the window, nested pages included.
QStringList OffendersOnEveryPage(QWidget* window) {
    QSet<QString> found;
    const auto visit = [&](auto&& self, QTabWidget* tabs) -> void {
        for (int i = 0; i < tabs->count(); ++i) {
            if (!tabs->isTabVisible(i)) continue;
            tabs->setCurrentIndex(i);
            QApplication::processEvents();
            for (const QString& o : Offenders(window))
                found.insert(o);
            for (QTabWidget* inner : tabs->widget(i)->findChildren<QTabWidget*>())
                self(self, inner);
        }
    };
    const QList<QTabWidget*> all = window->findChildren<QTabWidget*>();
    QList<QTabWidget*> outer;
    for (QTabWidget* tabs : all) {
        bool nested = false;
        for (QWidget* p = tabs->parentWidget(); p && p != window; p = p->parentWidget())
            nested = nested || qobject_cast<QTabWidget*>(p);
        if (!nested) outer << tabs;
    }
    for (const QString& o : Offenders(window))
        found.insert(o);
    for (QTabWidget* tabs : outer)
        visit(visit, tabs);
    QStringList sorted(found.begin(), found.end());
    sorted.sort();
    return sorted;
}

// A failure names every offender.
void Fits(const QStringList& offenders) {
    QVERIFY2(offenders.isEmpty(), qPrintable(offenders.join(QLatin1Char('\n'))));
}

void ShowAtDesignSize(QWidget& w) {
    w.show();
    QApplication::processEvents();
    // Where the tests want to look at the English windows themselves.
    const QString shots = qEnvironmentVariable("KX_LANGUAGE_SHOTS");
    if (!shots.isEmpty()) w.grab().save(QDir(shots).filePath(w.objectName() + ".png"));
}

} // namespace

class LanguageTest : public QObject {
    Q_OBJECT
private slots:
    void translationsAreFinished_data();
    void translationsAreFinished();
    void translationsAreCurrent_data();
    void translationsAreCurrent();
    void languageChoice_data();
    void languageChoice();
    void missingTranslationLeavesChinese();
    void englishMainWindowFits();
    void englishDialogsFit();
    void chineseQtDialogs();
    void cleanup();
};

void LanguageTest::cleanup() {
    InstallLanguage(Language::Chinese, kTranslationsDir);
}

void LanguageTest::translationsAreFinished_data() {
    QTest::addColumn<QString>("ts");
    QTest::newRow("windows") << QStringLiteral("kx7410_en.ts");
    QTest::newRow("engine") << QStringLiteral("kxcore_en.ts");
}

void LanguageTest::translationsAreFinished() {
    QFETCH(QString, ts);
    const QList<TsMessage> messages = ReadTs(kSourceDir + QStringLiteral("/translations/") + ts);
    QVERIFY(!messages.isEmpty());
    QStringList faults;
    for (const TsMessage& m : messages) {
        const QString where = m.context + QStringLiteral(": ") + m.source;
        if (m.unfinished) faults << QStringLiteral("unfinished ") + where;
        if (m.translation.trimmed().isEmpty()) faults << QStringLiteral("empty ") + where;
        if (Placeholders(m.source) != Placeholders(m.translation))
            faults << QStringLiteral("placeholders differ ") + where;
        if (m.source.count(QLatin1Char('\n')) != m.translation.count(QLatin1Char('\n')))
            faults << QStringLiteral("line breaks differ ") + where;
    }
    QCOMPARE(faults, QStringList());
}

void LanguageTest::translationsAreCurrent_data() {
    translationsAreFinished_data();
}

void LanguageTest::translationsAreCurrent() {
    QFETCH(QString, ts);
    const QString lupdate =
        QLibraryInfo::path(QLibraryInfo::BinariesPath) + QStringLiteral("/lupdate");
    if (!QFileInfo(lupdate).isExecutable()) QSKIP("lupdate (qt6-l10n-tools) is not installed");
    QTemporaryDir dir;
    const QString committed = kSourceDir + QStringLiteral("/translations/") + ts;
    const QString copy = dir.filePath(ts);
    QVERIFY(QFile::copy(committed, copy));
    QProcess run;
    run.setWorkingDirectory(kSourceDir);
    QStringList arguments = {QStringLiteral("-locations"),
                             QStringLiteral("none"),
                             QStringLiteral("-no-obsolete"),
                             QStringLiteral("-source-language"),
                             QStringLiteral("zh_CN"),
                             QStringLiteral("-target-language"),
                             QStringLiteral("en")};
    arguments << SourceFolders(ts) << QStringLiteral("-ts") << copy;
    run.start(lupdate, arguments);
    QVERIFY(run.waitForFinished(-1));
    QCOMPARE(run.exitCode(), 0);
    QSet<QString> known;
    for (const TsMessage& m : ReadTs(committed))
        known.insert(m.context + QLatin1Char('\x1f') + m.source);
    QStringList added;
    for (const TsMessage& m : ReadTs(copy))
        if (!known.contains(m.context + QLatin1Char('\x1f') + m.source))
            added << m.context + QStringLiteral(": ") + m.source;
    // scripts/lupdate brings the file up to date.
    QVERIFY2(added.isEmpty(), qPrintable(added.join(QLatin1Char('\n'))));
}

void LanguageTest::languageChoice_data() {
    QTest::addColumn<QByteArray>("setting"); // the SysInfo line, empty for none
    QTest::addColumn<QString>("system");
    QTest::addColumn<bool>("english");
    const struct {
        const char* setting;
        const char* system;
        bool english;
    } rows[] = {
        {"Language=en", "en_US", true},
        {"Language=en", "zh_CN", true},
        {"Language=en", "C", true},
        {"Language=zh_CN", "en_US", false},
        {"Language=zh_CN", "zh_CN", false},
        {"Language=zh_CN", "C", false},
        {"", "en_US", true},
        {"", "en_GB", true},
        {"", "zh_CN", false},
        {"", "C", false},
        {"", "de_DE", false},
    };
    for (const auto& r : rows)
        QTest::addRow("%s %s", *r.setting ? r.setting : "absent", r.system)
            << QByteArray(r.setting) << QString::fromLatin1(r.system) << r.english;
}

void LanguageTest::languageChoice() {
    QFETCH(QByteArray, setting);
    QFETCH(QString, system);
    QFETCH(bool, english);
    const DataFolder folder(
        setting.isEmpty() ? ShippedIni() : IniWith("Engineering=0", "Engineering=0\n" + setting));
    const QLocale locale = system == QLatin1String("C") ? QLocale::c() : QLocale(system);
    QCOMPARE(ChooseLanguage(folder.path(), locale) == Language::English, english);
}

void LanguageTest::missingTranslationLeavesChinese() {
    QTemporaryDir empty;
    InstallLanguage(Language::English, empty.path());
    QVERIFY(!IsEnglish());
    QCOMPARE(QCoreApplication::translate("TMainForm", "打开串口"), QStringLiteral("打开串口"));
    InstallLanguage(Language::English, kTranslationsDir);
    QVERIFY(IsEnglish());
}

void LanguageTest::englishMainWindowFits() {
    InstallLanguage(Language::English, kTranslationsDir);
    QVERIFY(IsEnglish());
    RecordingMessages messages;
    // The factory pages too.
    DataFolder folder(IniWith("Engineering=0", "Engineering=1"));
    SerialLink link;
    Application app;
    QVERIFY(StartApplication(folder.path(), SeedDir(), link, app));
    TMainForm& form = *app.window;
    const QSize design = form.size();
    ShowAtDesignSize(form);
    QCOMPARE(form.findChild<QToolButton*>(QStringLiteral("comk"))->text(),
             QStringLiteral("Open port"));
    QCOMPARE(form.pageControl()->tabText(1), QStringLiteral("Real-time data"));
    QCOMPARE(form.findChild<QPushButton*>(QStringLiteral("BitBtn_Check"))->text(),
             QStringLiteral("Check"));
    Fits(OffendersOnEveryPage(&form));
    // No English caption made the window wider or taller than it is laid out for.
    QCOMPARE(form.size(), design);
    QCOMPARE(messages.shown, QStringList());
}

void LanguageTest::englishDialogsFit() {
    InstallLanguage(Language::English, kTranslationsDir);
    RecordingMessages messages;
    DataFolder folder;
    const std::unique_ptr<ProductDatabase> db = folder.OpenDatabase();
    QVERIFY(db);
    {
        TSetComForm dialog(folder.path(), {QStringLiteral("/dev/ttyS0")});
        ShowAtDesignSize(dialog);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Serial port settings"));
        Fits(Offenders(&dialog));
    }
    {
        TSetCheckForm dialog(folder.path());
        ShowAtDesignSize(dialog);
        Fits(Offenders(&dialog));
    }
    {
        TLoginForm dialog(folder.path(), *db);
        ShowAtDesignSize(dialog);
        Fits(Offenders(&dialog));
    }
    {
        TGlForm dialog(*db);
        ShowAtDesignSize(dialog);
        Fits(Offenders(&dialog));
    }
    QCOMPARE(messages.shown, QStringList());
}

void LanguageTest::chineseQtDialogs() {
    const QString qtTranslations = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFileInfo::exists(qtTranslations + QStringLiteral("/qtbase_zh_CN.qm")))
        QSKIP("Qt's own translations (qt6-translations-l10n) are not installed");
    InstallLanguage(Language::Chinese, kTranslationsDir);
    QVERIFY(!IsEnglish());
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    // The mnemonic follows in brackets: "是(&Y)".
    QCOMPARE(Shown(box.button(QMessageBox::Yes)->text()).section(QLatin1Char('('), 0, 0),
             QStringLiteral("是"));
    QCOMPARE(QLocale().language(), QLocale::Chinese);
}

QTEST_MAIN(LanguageTest)
#include "language_test.moc"
