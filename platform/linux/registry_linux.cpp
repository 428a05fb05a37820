// The registry on Linux: the handful of keys the framework reads, answered from the host name,
// the resolver configuration, the network interfaces and the CUPS spool folder. Every answer is
// fetched when its key is opened, so each query sees the machine as it is now.
#include "platform/registry.h"
#include "platform/linux/netaddresses.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QRegularExpression>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

const QString kComputerName =
    QStringLiteral("system\\currentcontrolset\\control\\computername\\computername");
const QString kTcpip = QStringLiteral("system\\currentcontrolset\\services\\tcpip\\parameters");
const QString kInterfaces = kTcpip + QStringLiteral("\\interfaces");
const QString kPrinters = QStringLiteral("system\\currentcontrolset\\control\\print\\printers");

// A key path in one spelling: lower case, single backslashes, none at either end.
QString NormalKey(const QString& path)
{
    QString out = path.toLower();
    out.replace(QLatin1Char('/'), QLatin1Char('\\'));
    while (out.contains(QLatin1String("\\\\")))
        out.replace(QLatin1String("\\\\"), QLatin1String("\\"));
    while (out.startsWith(QLatin1Char('\\')))
        out.remove(0, 1);
    while (out.endsWith(QLatin1Char('\\')))
        out.chop(1);
    return out;
}

RegistryValue Text(const QString& text)
{
    RegistryValue v;
    v.type = RegistryValueType::String;
    v.text = text;
    return v;
}

class FixedKey : public RegistryKey {
public:
    RegistryValue value(const QString& name) const override
    {
        return m_values.value(name.toLower());
    }
    QStringList subkeyNames() const override { return m_subkeys; }

    void set(const QString& name, const RegistryValue& v) { m_values.insert(name.toLower(), v); }
    void setText(const QString& name, const QString& text)
    {
        if (!text.isEmpty())
            set(name, Text(text));
    }
    void addSubkey(const QString& name) { m_subkeys.append(name); }

private:
    QHash<QString, RegistryValue> m_values;
    QStringList m_subkeys;
};

QString HostName()
{
    char buf[256] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0)
        return {};
    return QString::fromLocal8Bit(buf);
}

// The canonical name the system's resolver gives for a host name; empty when it gives none.
QString ResolveCanonicalName(const QString& host)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* found = nullptr;
    QString name;
    if (::getaddrinfo(host.toLocal8Bit().constData(), nullptr, &hints, &found) == 0 && found) {
        if (found->ai_canonname)
            name = QString::fromLocal8Bit(found->ai_canonname);
        ::freeaddrinfo(found);
    }
    return name;
}

// A name look-up with a time limit. The resolver call itself cannot be given one (with a name
// server that does not answer, it takes half a minute), so it runs on a thread of its own and
// the caller waits for it at most the limit. A look-up that does not answer in time finishes by
// itself; until it has, later queries do not wait at all, and its answer serves the next query.
class BoundedLookup {
public:
    // The canonical name of host, or empty text when the look-up gave none in time.
    QString canonicalName(const QString& host, const std::function<QString(const QString&)>& resolve,
                          int timeoutMs)
    {
        if (m_out && m_outHost == host) {
            std::unique_lock lock(m_out->mutex);
            if (!m_out->done)
                return {};  // still out: the name server is not answering
            const QString answer = m_out->answer;
            lock.unlock();
            m_out.reset();
            return answer;
        }
        auto pending = std::make_shared<Pending>();
        std::thread([pending, host, resolve] {
            const QString answer = resolve(host);
            const std::lock_guard lock(pending->mutex);
            pending->answer = answer;
            pending->done = true;
            pending->cv.notify_all();
        }).detach();
        std::unique_lock lock(pending->mutex);
        if (pending->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return pending->done; }))
            return pending->answer;
        m_out = pending;
        m_outHost = host;
        return {};
    }

private:
    struct Pending {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
        QString answer;
    };
    std::shared_ptr<Pending> m_out;  // a look-up that did not answer in time
    QString m_outHost;
};

// The DNS domain of the host: what follows the first dot of its fully qualified name (the host
// name itself when it is qualified, else the canonical name the resolver gives for it).
QString HostDomain(const QString& host, BoundedLookup& lookup, const LinuxRegistrySources& sources)
{
    if (host.isEmpty())
        return {};
    QString full = host;
    if (!host.contains(QLatin1Char('.'))) {
        const QString canonical = lookup.canonicalName(
            host, sources.canonicalName ? sources.canonicalName : ResolveCanonicalName, sources.lookupTimeoutMs);
        if (!canonical.isEmpty())
            full = canonical;
    }
    const qsizetype dot = full.indexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : full.mid(dot + 1);
}

// The first domain of the resolver's search list. As the resolver does, the last "search" or
// "domain" line counts.
QString SearchDomain(const QString& resolvConf)
{
    QFile file(resolvConf);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString domain;
    static const QRegularExpression blanks(QStringLiteral("[ \\t]+"));
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromLocal8Bit(raw).trimmed();
        if (line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')))
            continue;
        const QStringList words = line.split(blanks, Qt::SkipEmptyParts);
        if (words.size() >= 2 &&
            (words.first() == QLatin1String("search") || words.first() == QLatin1String("domain")))
            domain = words.at(1);
    }
    while (domain.endsWith(QLatin1Char('.')))
        domain.chop(1);
    return domain;
}

struct Interface {
    QString name;
    QString address;  // first IPv4 address, empty when it has none
};

}  // namespace

InterfaceAddresses ReadInterfaceAddresses(const ifaddrs* list)
{
    InterfaceAddresses out;
    for (const ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_name)
            continue;
        const QString name = QString::fromLocal8Bit(a->ifa_name);
        if (a->ifa_flags & IFF_LOOPBACK)
            out.loopback.insert(name);
        if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET && !out.firstIPv4.contains(name)) {
            char text[INET_ADDRSTRLEN] = {};
            const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
            if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text))
                out.firstIPv4.insert(name, QString::fromLatin1(text));
        }
    }
    return out;
}

namespace {

// The network interfaces in the system's order (by index), without loopback.
QList<Interface> NetworkInterfaces()
{
    InterfaceAddresses found;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) == 0) {
        found = ReadInterfaceAddresses(list);
        ::freeifaddrs(list);
    }
    QList<Interface> out;
    if (struct if_nameindex* names = ::if_nameindex()) {
        for (const struct if_nameindex* n = names; n->if_index != 0 && n->if_name; ++n) {
            const QString name = QString::fromLocal8Bit(n->if_name);
            if (!found.loopback.contains(name))
                out.append({name, found.firstIPv4.value(name)});
        }
        ::if_freenameindex(names);
    }
    return out;
}

class LinuxRegistry : public Registry {
public:
    explicit LinuxRegistry(const LinuxRegistrySources& sources) : m_sources(sources) {}

    std::unique_ptr<RegistryKey> openKey(RegistryRoot root, const QString& path, bool) override
    {
        if (root != RegistryRoot::LocalMachine)
            return nullptr;
        const QString key = NormalKey(path);
        auto out = std::make_unique<FixedKey>();
        if (key == kComputerName) {
            out->setText(QStringLiteral("ComputerName"), hostName());
        } else if (key == kTcpip) {
            out->setText(QStringLiteral("Domain"), HostDomain(hostName(), m_lookup, m_sources));
            out->setText(QStringLiteral("DhcpDomain"), SearchDomain(m_sources.resolvConf));
            out->addSubkey(QStringLiteral("Interfaces"));
        } else if (key == kInterfaces) {
            for (const Interface& i : NetworkInterfaces())
                out->addSubkey(i.name);
        } else if (key.startsWith(kInterfaces + QLatin1Char('\\'))) {
            const QString wanted = key.mid(kInterfaces.size() + 1);
            bool found = false;
            for (const Interface& i : NetworkInterfaces()) {
                if (i.name.toLower() == wanted) {
                    out->setText(QStringLiteral("DhcpIPAddress"), i.address);
                    found = true;
                    break;
                }
            }
            if (!found)
                return nullptr;
        } else if (key == kPrinters) {
            if (QFileInfo(m_sources.spoolFolder).isDir())
                out->setText(QStringLiteral("DefaultSpoolDirectory"), m_sources.spoolFolder);
        } else {
            return nullptr;
        }
        return out;
    }

private:
    QString hostName() const { return m_sources.hostName ? m_sources.hostName() : HostName(); }

    LinuxRegistrySources m_sources;
    BoundedLookup m_lookup;
};

std::unique_ptr<Registry>& Installed()
{
    static std::unique_ptr<Registry> backend;
    return backend;
}

}  // namespace

QString RegistryRootName(RegistryRoot root)
{
    return root == RegistryRoot::LocalMachine ? QStringLiteral("HKEY_LOCAL_MACHINE")
                                              : QStringLiteral("HKEY_CURRENT_USER");
}

std::unique_ptr<Registry> CreateLinuxRegistry(const LinuxRegistrySources& sources)
{
    return std::make_unique<LinuxRegistry>(sources);
}

Registry& registry()
{
    std::unique_ptr<Registry>& backend = Installed();
    if (!backend)
        backend = CreateLinuxRegistry();
    return *backend;
}

void SetRegistry(std::unique_ptr<Registry> backend) { Installed() = std::move(backend); }

}  // namespace platform
