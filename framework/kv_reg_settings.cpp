// The settings document: where it lives, its typed operations, the per-user placements.
#include "framework/kv_reg.h"
#include "framework/kv_reg_internal.h"
#include "framework/textfil.h"
#include "platform/environment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace kvreg;

namespace {

const QString kStandard = QStringLiteral("STANDARD");
const QString kIniVersion = QStringLiteral("5.36");
const QString kFileName = QStringLiteral("tavlund.ini");

}  // namespace

SettingsState& settingsState()
{
    static SettingsState state;
    return state;
}

StartupState& startupState()
{
    static StartupState state;
    return state;
}

QString& ProgramTitle()
{
    static QString title;
    return title;
}

void ResetSettingsState()
{
    settingsState() = SettingsState{};
    startupState() = StartupState{};
    ProgramTitle().clear();
}

// ---------------------------------------------------------------------------------------------

void IniSection(const QString& section) { settingsState().CurrentSection = section; }
void IniStandard() { settingsState().CurrentSection = kStandard; }

QString IniReadString(const QString& key)
{
    const SettingsState& s = settingsState();
    return s.document.value(s.CurrentSection, key);
}

void IniWriteString(const QString& key, const QString& value)
{
    SettingsState& s = settingsState();
    s.document.setValue(s.CurrentSection, key, value);
}

bool ParseIniInteger(const QString& text, int* value)
{
    QStringView t(text);
    bool negative = false;
    if (t.startsWith(QLatin1Char('+')) || t.startsWith(QLatin1Char('-'))) {
        negative = t.front() == QLatin1Char('-');
        t = t.mid(1);
    }
    int base = 10;
    if (t.startsWith(QLatin1String("0x")) || t.startsWith(QLatin1String("0X"))) {
        base = 16;
        t = t.mid(2);
    } else if (t.startsWith(QLatin1Char('$'))) {
        base = 16;
        t = t.mid(1);
    }
    if (t.isEmpty())
        return false;
    for (QChar c : t) {
        const bool digit = c.isDigit() && c.unicode() < 128;
        const bool hex = base == 16 && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
        if (!digit && !hex)
            return false;
    }
    bool ok = false;
    const qulonglong magnitude = t.toULongLong(&ok, base);
    if (!ok)
        return false;
    qint64 result;
    if (base == 16) {
        // Hexadecimal names the 32 bits themselves: $FFFFFFFF is -1.
        if (magnitude > 0xFFFFFFFFull)
            return false;
        result = static_cast<qint32>(static_cast<quint32>(magnitude));
        if (negative)
            result = -result;
        if (result > INT32_MAX || result < INT32_MIN)
            return false;
    } else {
        if (magnitude > (negative ? 2147483648ull : 2147483647ull))
            return false;
        result = negative ? -static_cast<qint64>(magnitude) : static_cast<qint64>(magnitude);
    }
    *value = static_cast<int>(result);
    return true;
}

int IniReadInteger(const QString& key)
{
    int value = 0;
    return ParseIniInteger(IniReadString(key), &value) ? value : 0;
}

void IniWriteInteger(const QString& key, int value) { IniWriteString(key, QString::number(value)); }

bool IniReadBool(const QString& key) { return IniReadInteger(key) != 0; }

void IniWriteBool(const QString& key, bool value)
{
    IniWriteString(key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

// ---------------------------------------------------------------------------------------------

IniDocument ReadSettingsDocument(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        throw SettingsError(QStringLiteral("Kan ikke lese innstillingsfilen %1: %2")
                                .arg(QDir::toNativeSeparators(path), FileErrorText(file, path))
                                .toStdString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw SettingsError(QStringLiteral("Kan ikke lese innstillingsfilen %1: %2")
                                .arg(QDir::toNativeSeparators(path), FileErrorText(file, path))
                                .toStdString());
    return IniDocument::fromBytes(bytes);
}

bool FlushSettings()
{
    SettingsState& s = settingsState();
    if (s.documentPath.isEmpty())
        return false;
    // A read-only file is the user's way of saying "keep it as it is"; replacing it by rename
    // would go around that, so it is left alone and the document stays in memory.
    if (IsReadOnlyFile(s.documentPath))
        return false;
    // This run's changes go onto the file as it is now, so that what another copy of the
    // program saved meanwhile stays; the lock keeps the other copy's save from falling between
    // the read and the replace. A file that is gone gets the document as this run has it.
    const FileLock lock(s.documentPath);
    if (QFileInfo::exists(s.documentPath))
        s.document.rebase(ReadSettingsDocument(s.documentPath));
    QString error;
    if (!ReplaceFile(s.documentPath, s.document.toBytes(), &error))
        throw SettingsError(QStringLiteral("Kan ikke skrive innstillingsfilen %1: %2")
                                .arg(QDir::toNativeSeparators(s.documentPath), error)
                                .toStdString());
    s.document.markSaved();
    return true;
}

void LocateSettingsFile()
{
    SettingsState& s = settingsState();
    const QString etc = platform::EnvironmentValue("APPDATA") + "/Tavlund/etc/";
    QString folder;
    if (QFileInfo(QDir::current().filePath(kFileName)).isFile())
        folder = WithSlash(QDir::currentPath());
    else
        folder = etc;
    if (!QFileInfo(folder).isDir()) {
        folder = etc;
        QDir().mkpath(folder);
    }
    s.SettingsPath = QFileInfo(folder + kFileName).absoluteFilePath();
    s.SettingsFolder = WithSlash(QFileInfo(s.SettingsPath).absolutePath());
}

void OpenSettingsFile()
{
    SettingsState& s = settingsState();
    const bool existed = QFileInfo::exists(s.SettingsPath);
    s.document = ReadSettingsDocument(s.SettingsPath);
    s.documentPath = s.SettingsPath;
    s.opened = true;

    const QString now = DateTimeText(QDateTime::currentDateTime());
    const QString program = ProgramPath();
    IniSection(QStringLiteral("INI_SELF"));
    // The CREATED_ keys are first values: when another copy of the program made the file in
    // the meantime, its values stay (setInitialValue).
    const auto mark = [&](const QString& prefix, bool initial) {
        const auto write = [&](const QString& key, const QString& value) {
            if (initial)
                s.document.setInitialValue(s.CurrentSection, prefix + key, value);
            else
                IniWriteString(prefix + key, value);
        };
        write(QStringLiteral("TIME"), now);
        write(QStringLiteral("NAME"), s.SettingsPath);
        write(QStringLiteral("PROGRAM"), program);
        write(QStringLiteral("USER"), CurrentUser());
        write(QStringLiteral("INIVERSION"), kIniVersion);
    };
    if (!existed)
        mark(QStringLiteral("CREATED_"), true);
    mark(QStringLiteral("MODIFIED_"), false);
    IniStandard();
}

// ---------------------------------------------------------------------------------------------

QString CurrentUser()
{
    QString& cached = settingsState().cachedUser;
    if (cached.isEmpty()) {
        cached = startupState().UserOverride;
        if (cached.isEmpty())
            cached = LogonUserName();
    }
    if (cached.isEmpty())
        cached = QStringLiteral("BRUKER");
    return cached.toUpper();
}

QString UserSettingsFile()
{
    // The name is the user's, not a path: a separator in it (from "--user" or the login) would
    // put the file in another folder, so it stands as '_' in the file name.
    QString name = CurrentUser();
    name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QChar(0), QLatin1Char('_'));
    return settingsState().SettingsFolder + name + ".INI";
}

namespace {

// Swaps the per-user document into the main document's place for the life of the object, and
// puts the main document back afterwards. Whatever fails on the way, the main document and
// CurrentSection are in place again when the object is gone.
class UserSettingsScope {
public:
    UserSettingsScope()
    {
        SettingsState& s = settingsState();
        // OpenUserSettings: flush the main document, then read the per-user one.
        const QString userFile = UserSettingsFile();
        m_mainFlushed = FlushSettings();
        m_main = s.document;
        m_mainPath = s.documentPath;
        s.document = ReadSettingsDocument(userFile);
        s.documentPath = userFile;
        m_swapped = true;
    }

    // ReopenMainSettings: flush the per-user document, then read the main one again.
    void finish()
    {
        FlushSettings();
        restoreMain(true);
    }

    ~UserSettingsScope()
    {
        if (m_swapped)
            restoreMain(false);
    }

    UserSettingsScope(const UserSettingsScope&) = delete;
    UserSettingsScope& operator=(const UserSettingsScope&) = delete;

private:
    void restoreMain(bool reread)
    {
        SettingsState& s = settingsState();
        m_swapped = false;
        s.document = m_main;
        s.documentPath = m_mainPath;
        // The main file is read again only when it was just written: a read-only file was not,
        // and re-reading it would drop what the run changed in memory. The document takes the
        // file's content but keeps what this run read and wrote, so that a later save still
        // tells this run's changes from values another copy of the program wrote.
        if (reread && m_mainFlushed && QFileInfo::exists(m_mainPath))
            s.document.rebase(ReadSettingsDocument(m_mainPath));
    }

    IniDocument m_main;
    QString m_mainPath;
    bool m_mainFlushed = false;
    bool m_swapped = false;
};

QString PlacementSection(const QString& name) { return QStringLiteral("VINDU-") + name; }

}  // namespace

void SaveWindowPos(const WindowPlacement& window, const QString& name, const QString& diverse)
{
    SectionGuard section;
    UserSettingsScope scope;
    IniSection(PlacementSection(name));
    IniWriteBool(QStringLiteral("Maximized"), window.maximized);
    IniWriteInteger(QStringLiteral("Left"), window.left);
    IniWriteInteger(QStringLiteral("Top"), window.top);
    IniWriteInteger(QStringLiteral("Height"), window.height);
    IniWriteInteger(QStringLiteral("Width"), window.width);
    IniWriteString(QStringLiteral("Diverse"), diverse);
    scope.finish();
}

void LoadWindowPos(WindowPlacement& window, const QSize& screen, const QString& name, QString& diverse)
{
    SectionGuard section;
    UserSettingsScope scope;
    IniSection(PlacementSection(name));
    // The clamps use the size the window has before a stored size is applied.
    int left = IniReadInteger(QStringLiteral("Left"));
    if (left > screen.width())
        left = screen.width() - window.width;
    window.left = left;
    int top = IniReadInteger(QStringLiteral("Top"));
    if (top > screen.height())
        top = screen.height() - window.height;
    window.top = top;
    if (diverse != QLatin1String("OnlyPos")) {
        const int h = IniReadInteger(QStringLiteral("Height"));
        if (h > 0)
            window.height = h;
        const int w = IniReadInteger(QStringLiteral("Width"));
        if (w > 0)
            window.width = w;
    }
    if (IniReadBool(QStringLiteral("Maximized")))
        window.maximized = true;
    diverse = IniReadString(QStringLiteral("Diverse"));
    scope.finish();
}
