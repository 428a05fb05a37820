// Environment queries: small read-only questions about the machine, each asked again on every
// call, through the environment and the registry (platform/registry).
#include "framework/kv_reg.h"
#include "framework/textfil.h"
#include "platform/environment.h"
#include "platform/osversion.h"
#include "platform/registry.h"

#include <QFileInfo>

using platform::RegistryRoot;

namespace {

const QString kTcpipKey = QStringLiteral("System\\CurrentControlSet\\Services\\TCPIP\\Parameters");
const QString kInterfacesKey = kTcpipKey + QStringLiteral("\\Interfaces");
const QString kNoAddress = QStringLiteral("0.0.0.0");

// One string value read the way every query reads it: the key opened for reading and writing
// (created when missing, where that is allowed), one value read, the key closed again.
struct StringRead {
    bool opened = false;     // the key could be opened (or created)
    bool wrongType = false;  // the value is there but is no plain or expandable text
    QString text;            // the text; empty when missing, unopened or of the wrong type
};

StringRead ReadString(RegistryRoot root, const QString& key, const QString& name)
{
    StringRead out;
    const std::unique_ptr<platform::RegistryKey> handle = platform::registry().openKey(root, key, true);
    if (!handle)
        return out;
    out.opened = true;
    const platform::RegistryValue value = handle->value(name);
    if (value.type == platform::RegistryValueType::Missing)
        return out;
    if (!value.isString()) {
        out.wrongType = true;
        return out;
    }
    out.text = value.text;
    return out;
}

// A string value for the queries whose callers expect a text whatever happens: a value of the
// wrong type reads as empty text and is logged as an error, so the caller goes on and the fault
// is seen in the log and its error count.
QString QueryString(RegistryRoot root, const QString& key, const QString& name, bool* opened = nullptr)
{
    const StringRead read = ReadString(root, key, name);
    if (read.wrongType)
        LogLine("FEIL: Registerverdien " + platform::RegistryRootName(root) + "\\" + key + "\\" + name +
                " er ikke en tekst og leses som tom.");
    if (opened)
        *opened = read.opened;
    return read.text;
}

// An address value of one interface key: a read error counts as "0.0.0.0".
QString AddressValue(const platform::RegistryKey& key, const QString& name)
{
    const platform::RegistryValue value = key.value(name);
    if (value.type == platform::RegistryValueType::Missing)
        return {};
    if (!value.isString())
        return kNoAddress;
    return value.text;
}

bool IsAddress(const QString& text) { return !text.isEmpty() && text != kNoAddress; }

}  // namespace

const QStringList PlatformNames = {
    QStringLiteral("Windows Win32"),      QStringLiteral("Windows 95/98/ME"),
    QStringLiteral("Windows NT/2000/XP"), QStringLiteral("Ukjent"),
    QStringLiteral("Ukjent 2"),           QStringLiteral("Ukjent 3"),
};

QString TempFolder() { return platform::EnvironmentValue("TEMP"); }

QString HostsFolder()
{
    const QString windir = platform::EnvironmentValue("WINDIR");
    if (windir.isEmpty())
        return QStringLiteral("/etc");
    const QString etc = windir + "/system32/drivers/etc";
    return QFileInfo(etc).isDir() ? etc : windir;
}

QString NotesDataFolder()
{
    return QueryString(RegistryRoot::CurrentUser, QStringLiteral("Software\\Lotus\\Notes\\Installer"),
                       QStringLiteral("DATADIR"));
}

QString MachineName()
{
    return QueryString(RegistryRoot::LocalMachine,
                       QStringLiteral("System\\CurrentControlSet\\Control\\ComputerName\\ComputerName"),
                       QStringLiteral("ComputerName"));
}

QString NetworkDomain()
{
    const QString domain = QueryString(RegistryRoot::LocalMachine, kTcpipKey, QStringLiteral("Domain"));
    if (!domain.isEmpty())
        return domain;
    return QueryString(RegistryRoot::LocalMachine, kTcpipKey, QStringLiteral("DhcpDomain"));
}

QString SpoolFolder()
{
    return QueryString(RegistryRoot::LocalMachine,
                       QStringLiteral("System\\CurrentControlSet\\Control\\Print\\Printers"),
                       QStringLiteral("DefaultSpoolDirectory"));
}

QString LogonUserName()
{
    bool opened = false;
    const QString name = QueryString(RegistryRoot::LocalMachine, QStringLiteral("Network\\Logon"),
                                     QStringLiteral("Username"), &opened);
    if (!opened)
        return platform::EnvironmentValue("USERNAME");
    return name;
}

QString MachineAddress()
{
    const QString& override = startupState().IpOverride;
    if (!override.isEmpty())
        return override;
    if (NetworkDomain().isEmpty())
        return {};

    QStringList names;
    if (const auto interfaces = platform::registry().openKey(RegistryRoot::LocalMachine, kInterfacesKey, true))
        names = interfaces->subkeyNames();
    for (const QString& name : names) {
        const auto key = platform::registry().openKey(RegistryRoot::LocalMachine,
                                                      kInterfacesKey + "\\" + name, true);
        if (!key)
            continue;
        QString address = AddressValue(*key, QStringLiteral("DhcpIPAddress"));
        if (!IsAddress(address))
            address = AddressValue(*key, QStringLiteral("IPAddress"));
        if (IsAddress(address))
            return address;
    }
    return kNoAddress;
}

QString OsVersionText()
{
    const platform::OsVersion v = platform::CurrentOsVersion();
    QString name;
    if (v.platformId >= 0 && v.platformId < PlatformNames.size())
        name = PlatformNames.at(v.platformId);
    else if (!v.platformName.isEmpty())
        name = v.platformName;
    else
        name = PlatformNames.at(3);  // an identifier the table does not know: "Ukjent"
    return name + " Version: " + QString::number(v.major) + "." + QString::number(v.minor) +
           " Build: " + QString::number(v.build);
}
