// Fuzz target: the command line. The input is split at NUL bytes into arguments after the
// program's own name. The scan takes its option values from the arguments as given, and a
// "--user" name, whatever it holds, names a per-user settings file inside the settings folder.
#include "fuzz/fuzzrule.h"
#include "framework/kv_reg.h"
#include "framework/textfil.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QStringList args{QStringLiteral("/usr/bin/glimra")};
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QByteArray& arg : bytes.split('\0'))
        args.append(QString::fromLocal8Bit(arg));

    ResetSettingsState();
    ResetLogState();
    ScanCommandLine(args);
    const StartupState& st = startupState();
    Require(st.IpOverride.isEmpty() || args.contains(st.IpOverride));
    Require(st.UserOverride.isEmpty() || args.contains(st.UserOverride));
    Require(!st.installRequest || (logState().LogToFile && logState().VerboseLogging));

    const QString folder = QStringLiteral("/srv/glimra/etc/");
    settingsState().SettingsFolder = folder;
    const QString user = CurrentUser();
    Require(!user.isEmpty());
    const QString file = UserSettingsFile();
    Require(file.startsWith(folder) && file.endsWith(QLatin1String(".INI")));
    const QString name = file.mid(folder.size());
    Require(!name.contains(QLatin1Char('/')) && !name.contains(QChar(0)));
    ResetSettingsState();
    ResetLogState();
    return 0;
}
