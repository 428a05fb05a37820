// Environment queries: the registry cases on the fake, the address scan, the OS version text,
// and the Linux registry backend against the real machine.
#include "framework/kv_reg.h"
#include "framework/textfil.h"
#include "platform/environment.h"
#include "platform/fake/registry_fake.h"
#include "platform/osversion.h"
#include "platform/registry.h"
#include "testenv.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <sys/utsname.h>
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

TEST_F(EnvQueryTest, LogonUserNameReadsTheLogonKey)
{
    env.setEnv("USERNAME", "miljobruker");
    reg->setString(HKLM, "Network\\Logon", "Username", "kari");
    EXPECT_EQ(LogonUserName(), "kari");
}

TEST_F(EnvQueryTest, LogonKeyWithoutUsernameGivesEmptyNotTheEnvironment)
{
    env.setEnv("USERNAME", "miljobruker");
    reg->addKey(HKLM, "Network\\Logon");
    EXPECT_EQ(LogonUserName(), "");
    // A key the query creates is a key that could be opened as well.
    *reg = platform::FakeRegistry();
    EXPECT_EQ(LogonUserName(), "");
    EXPECT_EQ(reg->createdKeys(), QStringList({"HKEY_LOCAL_MACHINE\\Network", "HKEY_LOCAL_MACHINE\\Network\\Logon"}));
}

TEST_F(EnvQueryTest, LogonKeyThatCannotBeOpenedGivesUsername)
{
    env.setEnv("USERNAME", "miljobruker");
    reg->setString(HKLM, "Network\\Logon", "Username", "kari");
    reg->denyKey(HKLM, "Network\\Logon");
    EXPECT_EQ(LogonUserName(), "miljobruker");
    env.unsetEnv("USERNAME");
    EXPECT_EQ(LogonUserName(), platform::ProcessLoginName());
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
    EXPECT_EQ(PlatformNames.size(), 6);
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
    utsname u{};
    ASSERT_EQ(uname(&u), 0);
    const platform::OsVersion v = platform::ParseKernelRelease(QString::fromLatin1(u.release));
    EXPECT_EQ(OsVersionText(), QString("Linux Version: %1.%2 Build: %3").arg(v.major).arg(v.minor).arg(v.build));
    EXPECT_TRUE(QString::fromLatin1(u.release).startsWith(QString("%1.%2").arg(v.major).arg(v.minor)));
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
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    const platform::RegistryValue v = value(HKLM, kComputerName, "ComputerName");
    EXPECT_EQ(v.type, platform::RegistryValueType::String);
    EXPECT_EQ(v.text, QString::fromLocal8Bit(host));
    // And through the query with the default backend.
    EXPECT_EQ(MachineName(), QString::fromLocal8Bit(host));
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

TEST_F(LinuxRegistryTest, DomainIsTheRestOfTheQualifiedHostName)
{
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    const QString name = QString::fromLocal8Bit(host);
    const platform::RegistryValue v = value(HKLM, kTcpip, "Domain");
    if (name.contains('.'))
        EXPECT_EQ(v.text, name.mid(name.indexOf('.') + 1));
    EXPECT_FALSE(v.text.startsWith('.'));
    EXPECT_TRUE(v.type == platform::RegistryValueType::Missing || !v.text.isEmpty());
}

TEST_F(LinuxRegistryTest, InterfacesAreTheNetworkAdaptersWithTheirAddresses)
{
    auto interfaces = backend->openKey(HKLM, kInterfaces, true);
    ASSERT_TRUE(interfaces);
    const QStringList names = interfaces->subkeyNames();
    static const QRegularExpression dottedQuad(QStringLiteral("^\\d{1,3}(\\.\\d{1,3}){3}$"));
    for (const QString& name : names) {
        EXPECT_TRUE(QFileInfo::exists("/sys/class/net/" + name)) << name.toStdString();
        EXPECT_NE(name, "lo");
        const platform::RegistryValue v = value(HKLM, kInterfaces + "\\" + name, "DhcpIPAddress");
        if (v.type != platform::RegistryValueType::Missing)
            EXPECT_TRUE(dottedQuad.match(v.text).hasMatch()) << v.text.toStdString();
        EXPECT_FALSE(v.text.startsWith("127.")) << name.toStdString();
    }
    EXPECT_FALSE(backend->openKey(HKLM, kInterfaces + "\\ikke-et-kort", true));
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
    EXPECT_EQ(LogonUserName(), platform::ProcessLoginName());
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
