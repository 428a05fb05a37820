#pragma once
// The machine's configuration database as the framework reads it: keys under two roots, each
// key holding named, typed values and subkeys. Key paths keep the Windows spelling with
// backslashes ("System\CurrentControlSet\..."); they are names, not file paths, and are matched
// without regard to letter case.
//
// The Linux backend answers the few keys the framework reads from Linux's own sources (see
// CreateLinuxRegistry); a fake (platform/fake/registry_fake.h) holds whatever a test puts in it.
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace platform {

enum class RegistryRoot { LocalMachine, CurrentUser };

// "HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER", for messages.
QString RegistryRootName(RegistryRoot root);

enum class RegistryValueType {
    Missing,       // no value of that name
    String,        // plain text
    ExpandString,  // text with %VARIABLE% references, handed over unexpanded
    MultiString,   // a list of texts
    Number,        // a 32-bit number
};

struct RegistryValue {
    RegistryValueType type = RegistryValueType::Missing;
    QString text;        // String, ExpandString
    QStringList texts;   // MultiString
    quint32 number = 0;  // Number

    // Plain or expandable text: the kinds a string read accepts.
    bool isString() const
    {
        return type == RegistryValueType::String || type == RegistryValueType::ExpandString;
    }
};

// An open key. Closed when released.
class RegistryKey {
public:
    virtual ~RegistryKey() = default;
    // The value of that name; type Missing when there is none.
    virtual RegistryValue value(const QString& name) const = 0;
    // The names of the subkeys, in the order the backend keeps them.
    virtual QStringList subkeyNames() const = 0;
};

class Registry {
public:
    virtual ~Registry() = default;
    // Opens a key for reading and writing. With createIfMissing a missing key (and the keys
    // above it) is created where the backend allows it. Null when the key cannot be opened.
    virtual std::unique_ptr<RegistryKey> openKey(RegistryRoot root, const QString& path,
                                                 bool createIfMissing) = 0;
};

// The backend in use: the Linux one unless another was installed.
Registry& registry();
// Installs a backend (tests); null puts the Linux backend back.
void SetRegistry(std::unique_ptr<Registry> backend);

// Where the Linux backend looks; tests point it at their own files.
struct LinuxRegistrySources {
    QString resolvConf = QStringLiteral("/etc/resolv.conf");
    QString spoolFolder = QStringLiteral("/var/spool/cups");
    // The host name; empty means gethostname().
    std::function<QString()> hostName;
    // The canonical name the resolver gives for a host name (empty when it has none); empty
    // means getaddrinfo(). It may block: see lookupTimeoutMs.
    std::function<QString(const QString& host)> canonicalName;
    // The longest a query waits for a name look-up. One that has not answered by then goes on
    // by itself; while it is out, further queries do not wait for it (the name server is not
    // answering) and answer as for a name without a domain; its answer, when it comes, serves
    // the next query.
    int lookupTimeoutMs = 1000;
};

// The Linux backend. Under HKEY_LOCAL_MACHINE it answers:
//   System\CurrentControlSet\Control\ComputerName\ComputerName
//       "ComputerName"  the host name
//   System\CurrentControlSet\Services\TCPIP\Parameters
//       "Domain"        the DNS domain of the host (what follows the first dot of its full name;
//                       missing when the name look-up does not answer in time)
//       "DhcpDomain"    the first domain of the resolver's search list (resolv.conf)
//   System\CurrentControlSet\Services\TCPIP\Parameters\Interfaces
//       one subkey per network interface, in the system's order (loopback left out, as it is
//       no network adapter), each with "DhcpIPAddress" = its first IPv4 address, when it has one
//   System\CurrentControlSet\Control\Print\Printers
//       "DefaultSpoolDirectory"  the CUPS spool folder, when it exists
// Every other key cannot be opened (so "Network\Logon" cannot either), and nothing is created.
std::unique_ptr<Registry> CreateLinuxRegistry(const LinuxRegistrySources& sources = {});

}  // namespace platform
