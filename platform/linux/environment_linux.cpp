#include "platform/environment.h"

#include <QDir>
#include <QFileInfo>

#include <pwd.h>
#include <unistd.h>

namespace platform {
namespace {

QString g_programOverride;

QString Raw(const char* name) { return qEnvironmentVariable(name); }

}  // namespace

QString HomeFolder()
{
    QString home = Raw("HOME");
    if (home.isEmpty()) {
        if (const passwd* pw = getpwuid(geteuid()))
            home = QString::fromLocal8Bit(pw->pw_dir);
    }
    while (home.size() > 1 && home.endsWith('/'))
        home.chop(1);
    return home;
}

QString ProcessLoginName()
{
    if (const passwd* pw = getpwuid(geteuid()))
        return QString::fromLocal8Bit(pw->pw_name);
    return {};
}

bool EnvironmentIsSet(const QString& name)
{
    return qEnvironmentVariableIsSet(name.toLocal8Bit().constData());
}

QString EnvironmentValue(const QString& name)
{
    const QByteArray key = name.toLocal8Bit();
    const QString value = Raw(key.constData());
    if (!value.isEmpty())
        return value;
    if (name == QLatin1String("APPDATA")) {
        const QString xdg = Raw("XDG_DATA_HOME");
        return xdg.isEmpty() ? HomeFolder() + "/.local/share" : xdg;
    }
    if (name == QLatin1String("TEMP")) {
        const QString tmpdir = Raw("TMPDIR");
        return tmpdir.isEmpty() ? QStringLiteral("/tmp") : tmpdir;
    }
    if (name == QLatin1String("USERPROFILE"))
        return HomeFolder();
    if (name == QLatin1String("USERNAME"))
        return ProcessLoginName();
    return {};
}

QString ProgramFilePath()
{
    if (!g_programOverride.isEmpty())
        return g_programOverride;
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    return exe;
}

void SetProgramFilePath(const QString& path) { g_programOverride = path; }

}  // namespace platform
