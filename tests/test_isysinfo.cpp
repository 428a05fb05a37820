// The system-information window: the values it shows, the target of every link, the test page
// it prints and previews, the lockdown switches, and fresh values at every showing.
#include "sysinfo/isysinfo.h"

#include "framework/kv_reg.h"
#include "framework/textfil.h"
#include "framework/uihooks.h"
#include "platform/environment.h"
#include "platform/fake/desktopshell_fake.h"
#include "platform/fake/registry_fake.h"
#include "platform/fake/shell_fake.h"
#include "platform/memorystatus.h"
#include "platform/osversion.h"
#include "printing/printform.h"
#include "printing/utskrift.h"
#include "testenv.h"
#include "viewer/main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace platform {
bool operator==(const ShellRequest& a, const ShellRequest& b)
{
    return a.target == b.target && a.parameters == b.parameters && a.workingFolder == b.workingFolder;
}

std::ostream& operator<<(std::ostream& os, const ShellRequest& r)
{
    return os << '{' << r.target.toStdString() << " | " << r.parameters.toStdString() << " | "
              << r.workingFolder.toStdString() << '}';
}

}  // namespace platform

namespace {

using platform::ShellRequest;

void Settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

void Send(QWidget* w, QEvent::Type type)
{
    const QPointF at(2, 2);
    QMouseEvent event(type, at, w->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

void Click(QWidget* w)
{
    Send(w, QEvent::MouseButtonPress);
    Send(w, QEvent::MouseButtonRelease);
}

void DoubleClick(QWidget* w)
{
    Click(w);
    Send(w, QEvent::MouseButtonDblClick);
    Send(w, QEvent::MouseButtonRelease);
}

// A shell that notes the log file's content at the moment the request arrives.
class LogReadingShell : public platform::Shell {
public:
    void open(const ShellRequest& request) override
    {
        requests << request;
        QFile f(logState().LogFilePath);
        logAtOpen = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(no file)");
    }
    QList<ShellRequest> requests;
    QByteArray logAtOpen;
};

class SysInfo : public ::testing::Test {
protected:
    void SetUp() override
    {
        env.setEnv("WINDIR", env.path("win"));
        env.setEnv("SystemRoot", env.path("sysroot"));
        env.setEnv("USERPROFILE", env.path("profile"));
        QDir().mkpath(env.path("profile/Skrivebord"));
        QDir().mkpath(env.path("etc"));
        platform::SetProgramFilePath(env.path("bin/glimra"));
        platform::SetMemoryStatus(platform::MemoryStatus{16777216000ull, 37});
        platform::SetOsVersion(platform::OsVersion{-1, "Linux", 6, 1, 55});
        registry->setString(platform::RegistryRoot::CurrentUser, "Software\\Lotus\\Notes\\Installer", "DATADIR",
                            "/srv/notes/data");
        startupState().UserOverride = "ola";
        settingsState().SettingsPath = env.path("etc/tavlund.ini");
        settingsState().SettingsFolder = env.path("etc/");
        logState().LogFilePath = env.path("log/glimra.log");
        ProgramTitle() = "Bildeviser";
        // The memory figure is grouped by the user's locale; these tests are a Norwegian user's.
        QLocale::setDefault(QLocale(QLocale::NorwegianBokmal, QLocale::Norway));
        ResetPageState();
        ResetPreviewState();
        uiHooks().message = [this](const QString& caption, const QString& text) { messages << caption + "|" + text; };
        uiHooks().error = [this](const QString& text) { errors << text; };
    }
    void TearDown() override
    {
        uiHooks().message = nullptr;
        uiHooks().error = nullptr;
        platform::SetProgramFilePath({});
        platform::SetMemoryStatus(std::nullopt);
        platform::SetOsVersion(std::nullopt);
        QLocale::setDefault(QLocale::system());
        ResetPageState();
        ResetPreviewState();
    }

    std::unique_ptr<TSysInfoForm> shownForm()
    {
        auto form = std::make_unique<TSysInfoForm>();
        form->show();
        Settle();
        return form;
    }

    TestEnv env;
    platform::ScopedFakeRegistry registry;
    platform::ScopedFakeShell shell;
    platform::ScopedFakeDesktopShell desktop;
    QStringList messages;
    QStringList errors;
};

// ---------------------------------------------------------------------------------------------
// The window and its values

TEST_F(SysInfo, LayoutPagesAndLinks)
{
    auto form = shownForm();
    EXPECT_EQ(form->windowTitle(), "Tavlund systeminformasjon");
    EXPECT_TRUE(form->isVisible());
    QStringList tabs;
    for (int i = 0; i < form->PageControl1->count(); ++i)
        tabs << form->PageControl1->tabText(i) + (form->PageControl1->isTabVisible(i) ? "" : " (skjult)");
    EXPECT_EQ(tabs, QStringList({"Program", "Filer og mapper", "Windows", "Knuteban", "Kontorverk",
                                 "Spesial (skjult)", "Rapport"}));
    EXPECT_EQ(form->PageControl1->currentIndex(), 0);
    EXPECT_EQ(form->PageControl1->widget(5), form->TabSheet6);
    EXPECT_EQ(form->BitBtn1->text(), "Lukk");
    EXPECT_GE(form->width(), 527);
    EXPECT_GE(form->height(), 375);

    // The heading: bold green 19-pixel type; the logo 73 x 73 and drawn.
    const QFont heading = form->GroupBox4->font();
    EXPECT_TRUE(heading.bold());
    EXPECT_EQ(heading.pixelSize(), 19);
    EXPECT_EQ(form->GroupBox4->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    EXPECT_EQ(form->lCopyright->text(), QString::fromUtf8(LegalNotice));
    EXPECT_EQ(form->Image1->size(), QSize(73, 73));
    EXPECT_FALSE(form->Image1->pixmap().isNull()) << "the logo resource is linked in";

    // Every link in navy with the hand cursor; the values that are no links are not.
    for (LinkLabel* link : {form->cInifil, form->nb_fil, form->cLoggfil, form->cData, form->NotesLabel,
                            form->n_system, form->ProgramdataLabel, form->Innstillinger, form->lHosts,
                            form->lLMHosts, form->KnutebanLabel, form->v_firma, form->Label2,
                            form->lKompilator, form->Label14, form->PagonaLabel, form->lRapportgenerator}) {
        EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 128)) << link->text().toStdString();
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor) << link->text().toStdString();
    }
    EXPECT_NE(form->lBuildNr->cursor().shape(), Qt::PointingHandCursor);

    EXPECT_EQ(form->KnutebanLabel->toolTip(), "Start Knuteban Database Desktop");
    EXPECT_EQ(form->v_firma->toolTip(), QString::fromUtf8("Gå til Kontorverks hjemmeside på internett, ") +
                                            QString::fromLatin1(MakerWebAddress));
    EXPECT_EQ(form->Label2->toolTip(), QString::fromUtf8("Gå til Devarts hjemmeside"));

    // The switches: captions in their columns, cleared, their panel disabled.
    EXPECT_FALSE(form->Panel2->isEnabled());
    form->GroupBox4DblClick();
    Settle();
    const QList<std::pair<QCheckBox*, const char*>> switches = {
        {form->cWinTast, "Ikke tillat systemtaster"}, {form->cWinDisTask, "Sperr oppgavelinje"},
        {form->cWinStartKnapp, "Sperr startknappen"},  {form->cWinDesktop, "Skjul skrivebord"},
        {form->cWinShowTask, "Skjul oppgavelinje"},    {form->cWinTray, "Skjul systemstatusfelt"}};
    for (int i = 0; i < switches.size(); ++i) {
        auto [box, caption] = switches[i];
        EXPECT_EQ(box->text(), QString::fromUtf8(caption));
        EXPECT_FALSE(box->isChecked());
        // Left column for the first three, right for the others, rows in order.
        const auto* left = switches[i % 3].first;
        EXPECT_EQ(box->y(), left->y()) << caption;
        EXPECT_EQ(box->x() > left->x(), i >= 3) << caption;
    }
}

TEST_F(SysInfo, FormShowFillsEveryValue)
{
    auto form = shownForm();
    const QString nbsp = QString(QChar(0xA0));
    const struct {
        QLabel* label;
        QString text;
    } cases[] = {
        {form->GroupBox4, "Bildeviser"},
        {form->cProgramnavn, env.path("bin/glimra")},
        {form->lMinneTotal, "16" + nbsp + "384" + nbsp + "000 KB"},
        {form->lMinneBruk, "37 %"},
        {form->lInitVersjon, "5.36"},
        {form->lBuildNr, "519"},
        {form->lBuildDato, "30.10.2011"},
        {form->lBuildId, QString::fromLatin1(BuildId)},
        {form->lKompilator, CompilerDescription()},
        {form->v_firma, "Kontorverk SQL 6.00"},
        {form->Label2, "MySQL 5, Devart DAC 6.10.0.7"},
        {form->cInifil, env.path("etc/tavlund.ini")},
        {form->nb_fil, env.path("etc/OLA.INI")},
        {form->v_platform, "Linux Version: 6.1 Build: 55"},
        {form->n_system, env.path("win")},
        {form->lXml, "Tavlund XMLAPI 1.30"},
        {form->cLoggfil, env.path("log/glimra.log")},
        {form->lHosts, env.path("win") + "/hosts"},
        {form->lLMHosts, env.path("win") + "/lmhosts"},
        {form->cData, env.appData() + "/Tavlund/data/"},
        {form->lParameter, "Ingen parametere til programmet"},
        {form->KnutebanLabel, "Tavlund Knuteban"},
        {form->kCache, "Skrivebuffer AV"},
        {form->kVersjon, "Versjon 1.8.1"},
        {form->kDato, "Oppdatert 04.07.2011"},
        {form->kBruker, "Enbruker"},
        {form->kPeker, QString::fromUtf8("Pekerstørrelse (datapointer) 256 bytes")},
        {form->NotesLabel, "/srv/notes/data"},
        {form->ProgramdataLabel, env.appData()},
        {form->Innstillinger, env.path("temp")},
        {form->lRapportgenerator, "RGV: 1.13  11.10.2011"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.label->text(), c.text) << c.label->objectName().toStdString() << " " << c.text.toStdString();
}

TEST_F(SysInfo, UnsetVariablesShowEmptyAndAnEmptyTitleAnEmptyHeading)
{
    env.unsetEnv("WINDIR");
    ProgramTitle().clear();
    auto form = shownForm();
    EXPECT_EQ(form->n_system->text(), "");
    EXPECT_EQ(form->GroupBox4->text(), "");
    EXPECT_EQ(form->lHosts->text(), "/etc/hosts");
}

TEST_F(SysInfo, CompilerIsTheOneThisWasBuiltWith)
{
    const QString description = CompilerDescription();
#if defined(__clang__)
    EXPECT_TRUE(description.startsWith("Clang ")) << description.toStdString();
#else
    EXPECT_TRUE(description.startsWith(QStringLiteral("GCC ") + QString::fromLatin1(__VERSION__)))
        << description.toStdString();
    EXPECT_EQ(CompilerWebAddress(), "https://gcc.gnu.org/");
#endif
    EXPECT_TRUE(description.contains(", C++20, Qt " QT_VERSION_STR)) << description.toStdString();
}

TEST_F(SysInfo, ParameterListNoneOrOnePerLine)
{
    const struct {
        QStringList parameters;
        QString label;
        bool listShown;
        QString list;
    } cases[] = {
        {{}, "Ingen parametere til programmet", false, ""},
        {{"--user", "ola nordmann"}, "Parameter:", true, "--user\nola nordmann"},
    };
    for (const auto& c : cases) {
        startupState().arguments = c.parameters;
        auto form = shownForm();
        EXPECT_EQ(form->lParameter->text(), c.label);
        EXPECT_EQ(form->Memo1->isVisible(), c.listShown);
        EXPECT_EQ(form->Memo1->toPlainText(), c.list);
    }
}

TEST_F(SysInfo, MemoryTexts)
{
    EXPECT_EQ(MemoryLoadText(0), "0 %");
    EXPECT_EQ(MemoryLoadText(100), "100 %");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(MemoryTotalText(16777216000ull + 1023), "16,384,000 KB");
    EXPECT_EQ(MemoryTotalText(1023), "0 KB");

    const struct {
        const char* meminfo;
        quint64 total;
        int load;
    } cases[] = {
        {"MemTotal:       16384000 kB\nMemFree:         1000000 kB\nMemAvailable:   10240000 kB\n", 16777216000ull, 37},
        {"MemTotal: 1000 kB\nMemFree: 250 kB\n", 1024000, 75},             // no MemAvailable: MemFree
        {"MemTotal: 1000 kB\nMemAvailable: 5000 kB\n", 1024000, 0},       // more available than total
        {"MemTotal: x kB\nMemAvailable: 10 kB\n", 0, 0},                   // nothing that parses
        {"", 0, 0},
    };
    for (const auto& c : cases) {
        const platform::MemoryStatus s = platform::ParseMemInfo(c.meminfo);
        EXPECT_EQ(s.totalBytes, c.total) << c.meminfo;
        EXPECT_EQ(s.loadPercent, c.load) << c.meminfo;
    }
}

// ---------------------------------------------------------------------------------------------
// Links

TEST_F(SysInfo, EveryLinkHandsItsTargetToTheShell)
{
    QDir().mkpath(env.path("etc"));
    auto form = shownForm();
    const QString windir = env.path("win");
    const QString explorer = env.path("sysroot") + "/explorer.exe";
    const QString data = env.appData() + "/Tavlund/data/";
    const QString bin = env.appData() + "/Tavlund/bin/";
    // The labels are changed before the click: links that compute their target ignore it, the
    // ones that open what they show follow it.
    const struct {
        LinkLabel* link;
        ShellRequest request;
    } cases[] = {
        {form->cInifil, {"notepad.exe", env.path("etc/tavlund.ini"), ""}},
        {form->nb_fil, {"notepad.exe", env.path("etc/OLA.INI"), ""}},
        {form->cLoggfil, {env.path("log/glimra.log"), "", ""}},
        {form->cData, {explorer, data, data}},
        {form->NotesLabel, {"vist: NotesLabel", "", ""}},
        {form->n_system, {explorer, windir, windir}},
        {form->ProgramdataLabel, {"vist: ProgramdataLabel", "", ""}},
        {form->Innstillinger, {"vist: Innstillinger", "", ""}},
        {form->lHosts, {"notepad.exe", "vist: lHosts", ""}},
        {form->lLMHosts, {"notepad.exe", "vist: lLMHosts", ""}},
        {form->lKompilator, {CompilerWebAddress(), "", ""}},
        {form->KnutebanLabel, {bin + "knuteban.exe", "", ""}},
        {form->v_firma, {"https://www.tavlund.no/kontorverk/", "", ""}},
        {form->Label2, {"https://www.devart.com/mydac/", "", ""}},
    };
    const QStringList names = {"cInifil", "nb_fil", "cLoggfil", "cData", "NotesLabel", "n_system",
                               "ProgramdataLabel", "Innstillinger", "lHosts", "lLMHosts", "lKompilator",
                               "KnutebanLabel", "v_firma", "Label2"};
    for (int i = 0; i < names.size(); ++i) {
        const auto& c = cases[i];
        c.link->setText("vist: " + names[i]);
        const qsizetype before = shell->requests().size();
        Click(c.link);
        ASSERT_EQ(shell->requests().size(), before + 1) << names[i].toStdString();
        EXPECT_EQ(shell->requests().last(), c.request) << names[i].toStdString();
    }
    EXPECT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
}

TEST_F(SysInfo, TheLogLinkWritesTheLogBeforeItOpens)
{
    auto reader = std::make_unique<LogReadingShell>();
    LogReadingShell* shellSeen = reader.get();
    platform::SetShell(std::move(reader));
    logState().LogToFile = true;
    LogLine("en linje som ikke er lagret ennå");
    auto form = shownForm();
    Click(form->cLoggfil);
    ASSERT_EQ(shellSeen->requests.size(), 1);
    EXPECT_EQ(shellSeen->requests[0].target, env.path("log/glimra.log"));
    EXPECT_TRUE(shellSeen->logAtOpen.contains("en linje som ikke er lagret enn")) << shellSeen->logAtOpen.constData();
    platform::SetShell(nullptr);
}

TEST_F(SysInfo, TheLogosDoubleClickWritesTheDesktopShortcut)
{
    auto form = shownForm();
    const QString shortcut = env.path("profile/Skrivebord/glimra.URL");
    Click(form->Image1);
    EXPECT_FALSE(QFile::exists(shortcut)) << "a single click does nothing";
    DoubleClick(form->Image1);
    EXPECT_TRUE(TestEnv::readFile(shortcut).contains("URL=file://" + env.path("bin/glimra").toUtf8()));
}

TEST_F(SysInfo, RapportPreviewsAndPrintsTheTestPage)
{
    auto preview = std::make_unique<TPrintForm>();
    preview->PrinterInstalled = [] { return false; };
    int dialogs = 0;
    preview->PrinterSetupDialog1 = [&dialogs](QPrinter&, QWidget*) { return ++dialogs > 0; };
    auto form = shownForm();
    const auto otherPage = [] {};

    for (LinkLabel* link : {form->PagonaLabel, form->lRapportgenerator}) {
        previewState().PageProc = otherPage;
        preview->hide();
        Click(link);
        ASSERT_NE(previewState().PageProc.target<void (*)()>(), nullptr);
        EXPECT_EQ(*previewState().PageProc.target<void (*)()>(), &TestPage);
        EXPECT_TRUE(preview->isVisible()) << link->text().toStdString();
    }

    previewState().PageProc = otherPage;
    Click(form->Label14);
    ASSERT_NE(previewState().PageProc.target<void (*)()>(), nullptr);
    EXPECT_EQ(*previewState().PageProc.target<void (*)()>(), &TestPage);
    EXPECT_EQ(dialogs, 1);
    ASSERT_FALSE(preview->lastPdfFile().isEmpty());
    EXPECT_GT(QFile(preview->lastPdfFile()).size(), 1000) << "the test page was printed";
    EXPECT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
}

// ---------------------------------------------------------------------------------------------
// The lockdown switches

TEST_F(SysInfo, TheHeadingsDoubleClickEnablesThePanelAndTheSwitchesActAtOnce)
{
    auto form = shownForm();
    // Before the double-click the arrow keys' steps pass over the hidden page, either way.
    form->PageControl1->setCurrentIndex(4);
    form->PageControl1->setCurrentIndex(5);
    EXPECT_EQ(form->PageControl1->currentIndex(), 6);
    form->PageControl1->setCurrentIndex(5);
    EXPECT_EQ(form->PageControl1->currentIndex(), 4);
    form->PageControl1->setCurrentWidget(form->TabSheet6);
    EXPECT_NE(form->PageControl1->currentWidget(), form->TabSheet6);
    Click(form->cWinShowTask);
    EXPECT_FALSE(form->cWinShowTask->isChecked()) << "the panel is disabled";
    Click(form->GroupBox4);
    EXPECT_FALSE(form->Panel2->isEnabled()) << "a single click does nothing";
    DoubleClick(form->GroupBox4);
    EXPECT_TRUE(form->Panel2->isEnabled());
    EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet6) << "the page comes forward";
    EXPECT_FALSE(form->PageControl1->isTabVisible(5)) << "the tab stays hidden";
    EXPECT_TRUE(desktop->calls.isEmpty());

    const struct {
        QCheckBox* box;
        const char* checked;
        const char* cleared;
    } cases[] = {
        {form->cWinTast, "blockSystemKeys(1)", "blockSystemKeys(0)"},
        {form->cWinShowTask, "showTaskbar(0)", "showTaskbar(1)"},
        {form->cWinDisTask, "enableTaskbar(0)", "enableTaskbar(1)"},
        {form->cWinStartKnapp, "enableStartButton(0)", "enableStartButton(1)"},
        {form->cWinDesktop, "showDesktopIcons(0)", "showDesktopIcons(1)"},
        {form->cWinTray, "showTrayToolbar(0)", "showTrayToolbar(1)"},
    };
    for (const auto& c : cases) {
        desktop->calls.clear();
        c.box->click();
        EXPECT_EQ(desktop->calls, QStringList({c.checked})) << c.box->text().toStdString();
        c.box->click();
        EXPECT_EQ(desktop->calls, QStringList({c.checked, c.cleared})) << c.box->text().toStdString();
    }

    // Each click does only its own effect: clearing "Sperr oppgavelinje" leaves the start button.
    desktop->calls.clear();
    form->cWinDisTask->click();
    form->cWinStartKnapp->click();
    form->cWinDisTask->click();
    EXPECT_EQ(desktop->calls, QStringList({"enableTaskbar(0)", "enableStartButton(0)", "enableTaskbar(1)"}));
}

// ---------------------------------------------------------------------------------------------
// Showings

TEST_F(SysInfo, EachShowingIsAFreshWindowWithFreshValues)
{
    QDir().mkpath(env.path("etc"));
    TBildeviserForm viewer({});
    viewer.show();
    Settle();
    struct Seen {
        bool modal = false;
        QWidget* parent = nullptr;
        QString log, load, parameter, list;
        int page = -1;
        bool panelEnabled = true;
        bool anyChecked = true;
    };
    QList<Seen> seen;
    QList<QPointer<TSysInfoForm>> forms;
    // While the window is open: note what it shows, then switch something on, move to another
    // page and close it.
    const std::function<void()> look = [&] {
        auto* form = qobject_cast<TSysInfoForm*>(QApplication::activeModalWidget());
        if (!form) {
            QTimer::singleShot(10, look);
            return;
        }
        Seen s;
        s.modal = form->isModal();
        s.parent = form->parentWidget();
        s.log = form->cLoggfil->text();
        s.load = form->lMinneBruk->text();
        s.parameter = form->lParameter->text();
        s.list = form->Memo1->toPlainText();
        s.page = form->PageControl1->currentIndex();
        s.panelEnabled = form->Panel2->isEnabled();
        s.anyChecked = false;
        for (QCheckBox* b : form->Panel2->findChildren<QCheckBox*>())
            s.anyChecked = s.anyChecked || b->isChecked();
        seen << s;
        forms << form;
        form->GroupBox4DblClick();
        form->cWinShowTask->click();
        form->cWinTray->click();
        form->PageControl1->setCurrentIndex(3);
        form->BitBtn1->click();
    };

    QTimer::singleShot(0, look);
    viewer.Systeminformasjon->trigger();          // from the menu
    logState().LogFilePath = env.path("log2/glimra.log");
    platform::SetMemoryStatus(platform::MemoryStatus{16777216000ull, 81});
    startupState().arguments = QStringList{"a.jpg", "b.jpg"};
    QTimer::singleShot(0, look);
    ASSERT_TRUE(viewer.PopupMenu1->actions().contains(viewer.Systeminformasjon));
    viewer.Systeminformasjon->trigger();          // the same action in the pop-up menu

    ASSERT_EQ(seen.size(), 2);
    EXPECT_EQ(seen[0].log, env.path("log/glimra.log"));
    EXPECT_EQ(seen[1].log, env.path("log2/glimra.log"));
    EXPECT_EQ(seen[0].load, "37 %");
    EXPECT_EQ(seen[1].load, "81 %");
    EXPECT_EQ(seen[0].parameter, "Ingen parametere til programmet");
    EXPECT_EQ(seen[1].parameter, "Parameter:");
    EXPECT_EQ(seen[1].list, "a.jpg\nb.jpg");
    for (const Seen& s : seen) {
        EXPECT_TRUE(s.modal);
        EXPECT_EQ(s.parent, &viewer);
        EXPECT_EQ(s.page, 0);
        EXPECT_FALSE(s.panelEnabled);
        EXPECT_FALSE(s.anyChecked);
    }
    // Both switches acted in the first showing and again in the second, each time from cleared.
    EXPECT_EQ(desktop->calls, QStringList({"showTaskbar(0)", "showTrayToolbar(0)", "showTaskbar(0)",
                                           "showTrayToolbar(0)"}));
    Settle();
    ASSERT_EQ(forms.size(), 2);
    EXPECT_TRUE(forms[0].isNull()) << "released after it closed";
    EXPECT_TRUE(forms[1].isNull()) << "released after it closed";
    viewer.close();
}

}  // namespace
