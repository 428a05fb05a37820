// Environment queries: the registry cases on the fake, the address scan, the OS version text,
// and the Linux registry backend against the real machine.
#include "framework/kv_reg.h"
#include "framework/textfil.h"
#include "platform/environment.h"
#include "platform/fake/registry_fake.h"
#include "platform/linux/netaddresses.h"
#include "platform/osversion.h"
#include "platform/registry.h"
#include "testenv.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <sys/utsname.h>
#include <algorithm>
#include <iostream>
#include <iterator>
#include <vector>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using platform::RegistryRoot;

namespace {

const RegistryRoot HKLM = RegistryRoot::LocalMachine;
const RegistryRoot HKCU = RegistryRoot::CurrentUser;
const QString kTcpip = QStringLiteral("System\\CurrentControlSet\\Services\\TCPIP\\Parameters");
const QString kInterfaces = kTcpip + QStringLiteral("\\Interfaces");
const QString kComputerName = QStringLiteral("System\\CurrentControlSet\\Control\\ComputerName\\ComputerName");
const QString kPrinters = QStringLiteral("System\\CurrentControlSet\\Control\\Print\\Printers");
const QString kNotes = QStringLiteral("Software\\Lotus\\Notes\\Installer");

// What one of the system's tools prints, without the line end: the machine's answer found
// another way than the code under test finds it.
QString ToolSays(const QString& program, const QStringList& args)
{
    QProcess tool;
    tool.start(program, args);
    if (!tool.waitForFinished(10000) || tool.exitStatus() != QProcess::NormalExit)
        return {};
    return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
}

class EnvQueryTest : public ::testing::Test {
protected:
    void SetUp() override { logState().LogToFile = true; }

    void addInterface(const QString& name, const QString& dhcp)
    {
        reg->addKey(HKLM, kInterfaces + "\\" + name);
        if (!dhcp.isNull())
            reg->setString(HKLM, kInterfaces + "\\" + name, "DhcpIPAddress", dhcp);
    }

    TestEnv env;
    platform::ScopedFakeRegistry reg;
};

// ---------------------------------------------------------------------------------------------
// Environment

TEST_F(EnvQueryTest, TempFolderIsTempUnchanged)
{
    env.setEnv("TEMP", "/srv/midlertidig/");
    EXPECT_EQ(TempFolder(), "/srv/midlertidig/");
}

TEST_F(EnvQueryTest, HostsFolderFollowsWindir)
{
    EXPECT_EQ(HostsFolder(), "/etc");
    const QString windir = env.path("Windows");
    QDir().mkpath(windir);
    env.setEnv("WINDIR", windir);
    EXPECT_EQ(HostsFolder(), windir);
    QDir().mkpath(windir + "/system32/drivers/etc");
    EXPECT_EQ(HostsFolder(), windir + "/system32/drivers/etc");
}

// ---------------------------------------------------------------------------------------------
// Registry values

TEST_F(EnvQueryTest, StringValuesAreRead)
{
    reg->setString(HKLM, kComputerName, "ComputerName", "KONTOR-PC");
    reg->setString(HKLM, kPrinters, "DefaultSpoolDirectory", "C:\\Windows\\system32\\spool\\PRINTERS");
    reg->setExpandString(HKCU, kNotes, "DATADIR", "%USERPROFILE%\\Notes\\Data");
    EXPECT_EQ(MachineName(), "KONTOR-PC");
    EXPECT_EQ(SpoolFolder(), "C:\\Windows\\system32\\spool\\PRINTERS");
    EXPECT_EQ(NotesDataFolder(), "%USERPROFILE%\\Notes\\Data");
    EXPECT_TRUE(reg->createdKeys().isEmpty());
    EXPECT_EQ(logState().ErrorCount, 0);
}

TEST_F(EnvQueryTest, KeyAndValueNamesIgnoreLetterCase)
{
    reg->setString(HKLM, kComputerName.toUpper(), "COMPUTERNAME", "STOR");
    EXPECT_EQ(MachineName(), "STOR");
}

TEST_F(EnvQueryTest, MissingKeyIsCreatedByTheQuery)
{
    reg->addKey(HKCU, "Software");
    EXPECT_EQ(NotesDataFolder(), "");
    EXPECT_EQ(reg->createdKeys(),
              QStringList({"HKEY_CURRENT_USER\\Software\\Lotus", "HKEY_CURRENT_USER\\Software\\Lotus\\Notes",
                           "HKEY_CURRENT_USER\\Software\\Lotus\\Notes\\Installer"}));
    EXPECT_TRUE(reg->hasKey(HKCU, kNotes));
}

TEST_F(EnvQueryTest, KeyThatCannotBeOpenedReadsEmpty)
{
    reg->setString(HKLM, kComputerName, "ComputerName", "SKJULT");
    reg->denyKey(HKLM, "System\\CurrentControlSet\\Control");
    EXPECT_EQ(MachineName(), "");
    reg->setCreateAllowed(false);
    EXPECT_EQ(NotesDataFolder(), "");
    EXPECT_TRUE(reg->createdKeys().isEmpty());
}

TEST_F(EnvQueryTest, ValueOfTheWrongTypeReadsEmptyAndIsLogged)
{
    reg->setNumber(HKLM, kComputerName, "ComputerName", 42);
    reg->setMultiString(HKLM, kPrinters, "DefaultSpoolDirectory", {"a", "b"});
    EXPECT_EQ(MachineName(), "");
    EXPECT_EQ(SpoolFolder(), "");
    ASSERT_EQ(logState().LogBuffer.size(), 2);
    EXPECT_TRUE(logState().LogBuffer.at(0).endsWith(
        " FEIL: Registerverdien HKEY_LOCAL_MACHINE\\" + kComputerName +
        "\\ComputerName er ikke en tekst og leses som tom."))
        << logState().LogBuffer.at(0).toStdString();
    EXPECT_EQ(logState().ErrorCount, 2);
}

TEST_F(EnvQueryTest, NetworkDomainFallsBackToTheDhcpDomain)
{
    const struct {
        const char* domain;      // null: no value
        const char* dhcpDomain;  // null: no value
        const char* result;
    } cases[] = {
        {"firma.no", "dhcp.firma.no", "firma.no"},
        {"", "dhcp.firma.no", "dhcp.firma.no"},
        {nullptr, "dhcp.firma.no", "dhcp.firma.no"},
        {"", "", ""},
        {nullptr, nullptr, ""},
    };
    for (const auto& c : cases) {
        *reg = platform::FakeRegistry();
        reg->addKey(HKLM, kTcpip);
        if (c.domain)
            reg->setString(HKLM, kTcpip, "Domain", c.domain);
        if (c.dhcpDomain)
            reg->setString(HKLM, kTcpip, "DhcpDomain", c.dhcpDomain);
        EXPECT_EQ(NetworkDomain(), c.result) << (c.domain ? c.domain : "(none)");
    }
}

// ---------------------------------------------------------------------------------------------
// The logged-on user

TEST_F(EnvQueryTest, LogonUserNameFollowsTheLogonKey)
{
    enum Key { WithName, WithoutName, Missing, Denied };
    const QString loginName = ToolSays("id", {"-un"});
    ASSERT_FALSE(loginName.isEmpty());
    const struct {
        const char* what;
        Key key;
        const char* username;  // USERNAME in the environment; null: not set
        QString result;
    } cases[] = {
        {"the key's value, not the environment", WithName, "miljobruker", "kari"},
        {"a key without the value gives empty", WithoutName, "miljobruker", ""},
        {"a key the query creates could be opened: empty", Missing, "miljobruker", ""},
        {"a key that cannot be opened: USERNAME", Denied, "miljobruker", "miljobruker"},
        {"... or the login name without USERNAME", Denied, nullptr, loginName},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        *reg = platform::FakeRegistry();
        if (c.username)
            env.setEnv("USERNAME", c.username);
        else
            env.unsetEnv("USERNAME");
        if (c.key == WithName || c.key == Denied)
            reg->setString(HKLM, "Network\\Logon", "Username", "kari");
        if (c.key == WithoutName)
            reg->addKey(HKLM, "Network\\Logon");
        if (c.key == Denied)
            reg->denyKey(HKLM, "Network\\Logon");
        EXPECT_EQ(LogonUserName(), c.result);
        EXPECT_EQ(reg->createdKeys(), c.key == Missing ? QStringList({"HKEY_LOCAL_MACHINE\\Network",
                                                                      "HKEY_LOCAL_MACHINE\\Network\\Logon"})
                                                       : QStringList());
    }
}

// ---------------------------------------------------------------------------------------------
// The machine's address

TEST_F(EnvQueryTest, IpOverrideWinsWithoutTouchingTheRegistry)
{
    startupState().IpOverride = "10.1.2.3";
    EXPECT_EQ(MachineAddress(), "10.1.2.3");
    EXPECT_TRUE(reg->openRequests().isEmpty());
    startupState().IpOverride = "ikke en adresse";
    EXPECT_EQ(MachineAddress(), "ikke en adresse");
}

TEST_F(EnvQueryTest, NoDomainGivesEmptyAndNoInterfaceIsLookedAt)
{
    addInterface("{A}", "192.168.1.20");
    EXPECT_EQ(MachineAddress(), "");
    for (const QString& request : reg->openRequests())
        EXPECT_FALSE(request.contains("Interfaces")) << request.toStdString();
}

TEST_F(EnvQueryTest, AddressScanOverTheInterfaces)
{
    struct Iface {
        const char* name;
        const char* dhcp;  // null: no value
        const char* ip;    // null: no value; "*multi": a multi-string
    };
    const struct {
        const char* what;
        std::vector<Iface> interfaces;
        const char* result;
    } cases[] = {
        {"no interfaces", {}, "0.0.0.0"},
        {"none with an address", {{"{A}", "0.0.0.0", nullptr}, {"{B}", nullptr, ""}}, "0.0.0.0"},
        {"first of two wins", {{"{A}", "192.168.1.20", nullptr}, {"{B}", "10.0.0.7", nullptr}}, "192.168.1.20"},
        {"empty first is passed", {{"{A}", "", nullptr}, {"{B}", "10.0.0.7", nullptr}}, "10.0.0.7"},
        {"IPAddress when no DHCP address", {{"{A}", "0.0.0.0", "172.16.0.4"}}, "172.16.0.4"},
        {"IPAddress when the DHCP address is empty", {{"{A}", "", "172.16.0.4"}}, "172.16.0.4"},
        {"IPAddress when there is no DHCP value", {{"{A}", nullptr, "172.16.0.4"}}, "172.16.0.4"},
        {"multi-string IPAddress is 0.0.0.0", {{"{A}", "0.0.0.0", "*multi"}, {"{B}", "10.0.0.9", nullptr}}, "10.0.0.9"},
    };
    for (const auto& c : cases) {
        *reg = platform::FakeRegistry();
        reg->setString(HKLM, kTcpip, "Domain", "firma.no");
        reg->addKey(HKLM, kInterfaces);
        for (const Iface& i : c.interfaces) {
            const QString key = kInterfaces + "\\" + i.name;
            reg->addKey(HKLM, key);
            if (i.dhcp)
                reg->setString(HKLM, key, "DhcpIPAddress", i.dhcp);
            if (i.ip && QByteArray(i.ip) == "*multi")
                reg->setMultiString(HKLM, key, "IPAddress", {"10.9.9.9", "10.9.9.10"});
            else if (i.ip)
                reg->setString(HKLM, key, "IPAddress", i.ip);
        }
        EXPECT_EQ(MachineAddress(), c.result) << c.what;
    }
    EXPECT_EQ(logState().ErrorCount, 0);  // read errors in the scan are no log errors
}

TEST_F(EnvQueryTest, NumberAsDhcpAddressFallsToIPAddress)
{
    reg->setString(HKLM, kTcpip, "Domain", "firma.no");
    reg->setNumber(HKLM, kInterfaces + "\\{A}", "DhcpIPAddress", 7);
    reg->setString(HKLM, kInterfaces + "\\{A}", "IPAddress", "10.0.0.2");
    EXPECT_EQ(MachineAddress(), "10.0.0.2");
}

TEST_F(EnvQueryTest, MissingInterfacesKeyIsCreated)
{
    reg->setString(HKLM, kTcpip, "DhcpDomain", "dhcp.firma.no");
    EXPECT_EQ(MachineAddress(), "0.0.0.0");
    EXPECT_EQ(reg->createdKeys(), QStringList{"HKEY_LOCAL_MACHINE\\" + kInterfaces});
}

// ---------------------------------------------------------------------------------------------
// Operating-system version

class OsVersionTest : public ::testing::Test {
protected:
    void TearDown() override { platform::SetOsVersion(std::nullopt); }
};

TEST_F(OsVersionTest, PlatformNameVersionAndBuild)
{
    const struct {
        platform::OsVersion version;
        const char* text;
    } cases[] = {
        {{1, {}, 4, 90, 3000}, "Windows 95/98/ME Version: 4.90 Build: 3000"},
        {{2, {}, 6, 1, 7601}, "Windows NT/2000/XP Version: 6.1 Build: 7601"},
        {{0, {}, 3, 10, 0}, "Windows Win32 Version: 3.10 Build: 0"},
        {{3, {}, 1, 0, 1}, "Ukjent Version: 1.0 Build: 1"},
        {{5, {}, 1, 0, 1}, "Ukjent 3 Version: 1.0 Build: 1"},
        {{9, {}, 1, 0, 1}, "Ukjent Version: 1.0 Build: 1"},
        {{-1, "Linux", 6, 1, 0}, "Linux Version: 6.1 Build: 0"},
    };
    for (const auto& c : cases) {
        platform::SetOsVersion(c.version);
        EXPECT_EQ(OsVersionText(), c.text);
    }
}

TEST_F(OsVersionTest, KernelReleaseSplitsIntoVersionAndBuild)
{
    const struct {
        const char* release;
        unsigned major, minor, build;
    } cases[] = {
        {"6.1.0-18-amd64", 6, 1, 0},
        {"6.18.44-fc-v1523", 6, 18, 44},
        {"5.10", 5, 10, 0},
        {"6.1-rc3", 6, 1, 0},
        {"6.1-rc3.7", 6, 1, 0},   // what follows the digits of a part ends the numbers
        {"4.19.0.1", 4, 19, 0},
        {"", 0, 0, 0},
    };
    for (const auto& c : cases) {
        const platform::OsVersion v = platform::ParseKernelRelease(c.release);
        EXPECT_EQ(v.platformName, "Linux");
        EXPECT_EQ(v.platformId, -1);
        EXPECT_EQ(v.major, c.major) << c.release;
        EXPECT_EQ(v.minor, c.minor) << c.release;
        EXPECT_EQ(v.build, c.build) << c.release;
    }
}

TEST_F(OsVersionTest, RealSystemReportsLinuxAndItsKernel)
{
    // The kernel release as the system's tool prints it ("6.1.0-18-amd64"): the version is its
    // first two numbers, the build the third when the second stands alone.
    const QString release = ToolSays("uname", {"-r"});
    static const QRegularExpression numbers(QStringLiteral("^(\\d+)\\.(\\d+)(?:\\.(\\d+))?"));
    const QRegularExpressionMatch m = numbers.match(release);
    ASSERT_TRUE(m.hasMatch()) << release.toStdString();
    const QString build = m.captured(3).isEmpty() ? "0" : m.captured(3);
    EXPECT_EQ(OsVersionText(), "Linux Version: " + m.captured(1) + "." + m.captured(2) + " Build: " + build);
}

// ---------------------------------------------------------------------------------------------
// The Linux backend, on this machine

class LinuxRegistryTest : public ::testing::Test {
protected:
    platform::RegistryValue value(RegistryRoot root, const QString& key, const QString& name)
    {
        auto k = backend->openKey(root, key, true);
        return k ? k->value(name) : platform::RegistryValue{};
    }

    TestEnv env;
    platform::LinuxRegistrySources sources{env.path("resolv.conf"), env.path("spool/cups")};
    std::unique_ptr<platform::Registry> backend = platform::CreateLinuxRegistry(sources);
};

TEST_F(LinuxRegistryTest, ComputerNameIsTheHostName)
{
    const QString host = ToolSays("hostname", {});
    ASSERT_FALSE(host.isEmpty());
    const platform::RegistryValue v = value(HKLM, kComputerName, "ComputerName");
    EXPECT_EQ(v.type, platform::RegistryValueType::String);
    EXPECT_EQ(v.text, host);
    // And through the query with the default backend.
    EXPECT_EQ(MachineName(), host);
}

TEST_F(LinuxRegistryTest, DhcpDomainIsTheFirstSearchDomain)
{
    const struct {
        const char* resolvConf;
        const char* domain;  // empty: no value
    } cases[] = {
        {"nameserver 10.0.0.1\nsearch kontor.firma.no firma.no\n", "kontor.firma.no"},
        {"search\tfirst.example  second.example\n", "first.example"},
        {"domain gammel.example\nsearch ny.example\n", "ny.example"},
        {"search ny.example\ndomain sist.example.\n", "sist.example"},
        {"# search kommentar.example\n; search ogsa.kommentar\nnameserver 1.1.1.1\n", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        TestEnv::writeFile(sources.resolvConf, c.resolvConf);
        EXPECT_EQ(value(HKLM, kTcpip, "DhcpDomain").text, c.domain) << c.resolvConf;
    }
    QFile::remove(sources.resolvConf);
    EXPECT_EQ(value(HKLM, kTcpip, "DhcpDomain").type, platform::RegistryValueType::Missing);
}

TEST_F(LinuxRegistryTest, DomainIsTheDnsDomainOfTheHost)
{
    // What the system's own tool reports; empty when the host's full name has no domain.
    const QString domain = ToolSays("hostname", {"-d"});
    const platform::RegistryValue v = value(HKLM, kTcpip, "Domain");
    if (domain.isEmpty()) {
        EXPECT_EQ(v.type, platform::RegistryValueType::Missing) << v.text.toStdString();
    } else {
        EXPECT_EQ(v.type, platform::RegistryValueType::String);
        EXPECT_EQ(v.text, domain);
    }
}

TEST_F(LinuxRegistryTest, InterfacesAreTheNetworkAdaptersWithTheirAddresses)
{
    // The machine's adapters in index order, without loopback, from the kernel's own listing.
    QList<std::pair<int, QString>> indexed;
    for (const QString& name : QDir("/sys/class/net").entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        const QString dir = "/sys/class/net/" + name + "/";
        if (TestEnv::readFile(dir + "type").trimmed() == "772")   // ARPHRD_LOOPBACK
            continue;
        indexed.append({TestEnv::readFile(dir + "ifindex").trimmed().toInt(), name});
    }
    std::sort(indexed.begin(), indexed.end());
    QStringList adapters;
    for (const auto& entry : indexed)
        adapters << entry.second;
    // The first IPv4 address of each, as getifaddrs lists them.
    QHash<QString, QString> addresses;
    ifaddrs* list = nullptr;
    ASSERT_EQ(getifaddrs(&list), 0);
    for (const ifaddrs* a = list; a; a = a->ifa_next) {
        if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET && !addresses.contains(a->ifa_name)) {
            char text[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr, text, sizeof text);
            addresses.insert(a->ifa_name, text);
        }
    }
    freeifaddrs(list);

    auto interfaces = backend->openKey(HKLM, kInterfaces, true);
    ASSERT_TRUE(interfaces);
    EXPECT_EQ(interfaces->subkeyNames(), adapters);
    for (const QString& name : adapters) {
        const platform::RegistryValue v = value(HKLM, kInterfaces + "\\" + name, "DhcpIPAddress");
        if (addresses.contains(name))
            EXPECT_EQ(v.text, addresses.value(name)) << name.toStdString();
        else
            EXPECT_EQ(v.type, platform::RegistryValueType::Missing) << name.toStdString();
    }
    if (addresses.size() <= 1)
        std::cout << "[   NOTE   ] this machine has no IPv4 address outside loopback to compare\n";
    EXPECT_FALSE(backend->openKey(HKLM, kInterfaces + "\\ikke-et-kort", true));
}

TEST(InterfaceAddresses, FirstIPv4AddressOfEachInterfaceAndWhichAreLoopback)
{
    // A list as getifaddrs gives it: an interface may come several times, once per address.
    struct Item {
        const char* name;
        int family;
        const char* address;  // IPv4 only
        unsigned flags;
    };
    const Item items[] = {
        {"lo", AF_INET, "127.0.0.1", IFF_LOOPBACK | IFF_UP},
        {"eth0", AF_INET6, nullptr, IFF_UP},
        {"eth0", AF_INET, "192.168.1.20", IFF_UP},
        {"eth0", AF_INET, "192.168.1.21", IFF_UP},   // a second address: the first counts
        {"wlan0", AF_PACKET, nullptr, IFF_UP},      // no IPv4 address at all
        {"tun0", AF_INET, "10.8.0.2", IFF_UP | IFF_POINTOPOINT},
    };
    std::vector<ifaddrs> list(std::size(items));
    std::vector<sockaddr_storage> addresses(std::size(items));
    for (size_t i = 0; i < list.size(); ++i) {
        list[i] = ifaddrs{};
        list[i].ifa_next = i + 1 < list.size() ? &list[i + 1] : nullptr;
        list[i].ifa_name = const_cast<char*>(items[i].name);
        list[i].ifa_flags = items[i].flags;
        addresses[i] = sockaddr_storage{};
        addresses[i].ss_family = static_cast<sa_family_t>(items[i].family);
        if (items[i].address)
            inet_pton(AF_INET, items[i].address, &reinterpret_cast<sockaddr_in*>(&addresses[i])->sin_addr);
        list[i].ifa_addr = reinterpret_cast<sockaddr*>(&addresses[i]);
    }

    const platform::InterfaceAddresses found = platform::ReadInterfaceAddresses(list.data());
    const QHash<QString, QString> expected{{"lo", "127.0.0.1"}, {"eth0", "192.168.1.20"}, {"tun0", "10.8.0.2"}};
    EXPECT_EQ(found.firstIPv4, expected);
    EXPECT_EQ(found.loopback, QSet<QString>{"lo"});
    EXPECT_TRUE(platform::ReadInterfaceAddresses(nullptr).firstIPv4.isEmpty());
}

TEST_F(LinuxRegistryTest, SpoolDirectoryOnlyWhenTheFolderExists)
{
    EXPECT_EQ(value(HKLM, kPrinters, "DefaultSpoolDirectory").type, platform::RegistryValueType::Missing);
    QDir().mkpath(sources.spoolFolder);
    EXPECT_EQ(value(HKLM, kPrinters, "DefaultSpoolDirectory").text, sources.spoolFolder);
}

TEST_F(LinuxRegistryTest, EveryOtherKeyCannotBeOpened)
{
    EXPECT_FALSE(backend->openKey(HKLM, "Network\\Logon", true));
    EXPECT_FALSE(backend->openKey(HKCU, kNotes, true));
    EXPECT_FALSE(backend->openKey(HKCU, kComputerName, true));
    EXPECT_FALSE(backend->openKey(HKLM, "Software\\Microsoft", true));
    // With the default backend the logged-on user is therefore the login name.
    env.unsetEnv("USERNAME");
    EXPECT_EQ(LogonUserName(), ToolSays("id", {"-un"}));
    EXPECT_EQ(NotesDataFolder(), "");
}

}  // namespace

namespace {

// A resolver that does not answer until the test lets it (a name server that is down), and
// counts the look-ups it was asked for.
struct SilentResolver {
    std::mutex mutex;
    std::condition_variable cv;
    bool answer = false;
    int asked = 0;
    QString canonical;
};

}  // namespace

TEST(NameLookup, ANameServerThatDoesNotAnswerCannotHoldTheQuery)
{
    auto resolver = std::make_shared<SilentResolver>();
    resolver->canonical = "maskin.kontor.example";
    platform::LinuxRegistrySources sources;
    sources.hostName = [] { return QStringLiteral("maskin"); };
    sources.canonicalName = [resolver](const QString& host) {
        std::unique_lock lock(resolver->mutex);
        ++resolver->asked;
        resolver->cv.wait(lock, [&] { return resolver->answer; });
        return host == "maskin" ? resolver->canonical : QString();
    };
    sources.lookupTimeoutMs = 200;
    const std::unique_ptr<platform::Registry> backend = platform::CreateLinuxRegistry(sources);
    const auto domain = [&] {
        const auto key = backend->openKey(HKLM, kTcpip, true);
        return key ? key->value("Domain") : platform::RegistryValue{};
    };

    // The resolver never answers while these run: that they return at all is the point. The
    // first waits its limit, the second does not ask again; both answer as for no domain.
    EXPECT_EQ(domain().type, platform::RegistryValueType::Missing);
    EXPECT_EQ(domain().type, platform::RegistryValueType::Missing);
    {
        const std::lock_guard lock(resolver->mutex);
        EXPECT_EQ(resolver->asked, 1);
        resolver->answer = true;
    }
    resolver->cv.notify_all();

    // The late answer serves the next query; the one after asks again.
    platform::RegistryValue late;
    for (int i = 0; i < 100 && late.text.isEmpty(); ++i) {
        late = domain();
        if (late.text.isEmpty())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(late.text, "kontor.example");
    EXPECT_EQ(domain().text, "kontor.example");
    const std::lock_guard lock(resolver->mutex);
    EXPECT_GE(resolver->asked, 2);
}

TEST(NameLookup, AQualifiedHostNameNeedsNoLookup)
{
    platform::LinuxRegistrySources sources;
    sources.hostName = [] { return QStringLiteral("maskin.firma.no"); };
    sources.canonicalName = [](const QString&) -> QString {
        ADD_FAILURE() << "looked up a name that was already qualified";
        return {};
    };
    const auto backend = platform::CreateLinuxRegistry(sources);
    EXPECT_EQ(backend->openKey(HKLM, kTcpip, true)->value("Domain").text, "firma.no");
    EXPECT_EQ(backend->openKey(HKLM, kComputerName, true)->value("ComputerName").text, "maskin.firma.no");
}
