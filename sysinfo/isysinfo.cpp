// The system-information window's values, its link actions and the lockdown switches.
#include "sysinfo/isysinfo.h"

#include "framework/felles.h"
#include "framework/kv_reg.h"
#include "framework/textfil.h"
#include "framework/xmldata.h"
#include "platform/desktopshell.h"
#include "platform/environment.h"
#include "platform/memorystatus.h"
#include "printing/utskrift.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QFrame>
#include <QLocale>
#include <QPlainTextEdit>
#include <QShowEvent>
#include <QTabWidget>
#include <memory>

namespace {

QString Env(const char* name) { return platform::EnvironmentValue(QString::fromLatin1(name)); }

// %SystemRoot% + "/explorer.exe", the program the folder links hand their folder to.
QString Explorer() { return Env("SystemRoot") + QStringLiteral("/explorer.exe"); }

const QString Notepad = QStringLiteral("notepad.exe");

}  // namespace

QString CompilerDescription()
{
#if defined(__clang__)
    const QString compiler = QStringLiteral("Clang ") + QString::fromLatin1(__clang_version__).trimmed();
#elif defined(__GNUC__)
    const QString compiler = QStringLiteral("GCC ") + QString::fromLatin1(__VERSION__).trimmed();
#else
    const QString compiler = QStringLiteral("C++-kompilator");
#endif
    return compiler + QStringLiteral(", C++") + QString::number(__cplusplus / 100 % 100) +
           QStringLiteral(", Qt ") + QString::fromLatin1(QT_VERSION_STR);
}

QString CompilerWebAddress()
{
#if defined(__clang__)
    return QStringLiteral("https://clang.llvm.org/");
#else
    return QStringLiteral("https://gcc.gnu.org/");
#endif
}

QString MemoryTotalText(quint64 totalBytes)
{
    return QLocale().toString(qulonglong(totalBytes / 1024)) + QStringLiteral(" KB");
}

QString MemoryLoadText(int percent) { return QString::asprintf("%d %%", percent); }

// ---------------------------------------------------------------------------------------------
// Filling the window

void TSysInfoForm::showEvent(QShowEvent* event)
{
    // A window brought back from the task list is not a new showing.
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TSysInfoForm::FormShow()
{
    GroupBox4->setText(ProgramTitle());
    cProgramnavn->setText(QFileInfo(platform::ProgramFilePath()).absoluteFilePath());

    const platform::MemoryStatus memory = platform::CurrentMemoryStatus();
    lMinneTotal->setText(MemoryTotalText(memory.totalBytes));
    lMinneBruk->setText(MemoryLoadText(memory.loadPercent));

    lInitVersjon->setText(QString::fromLatin1(InitVersion));
    lBuildNr->setText(QString::fromLatin1(BuildNumber));
    lBuildDato->setText(QString::fromLatin1(BuildDate));
    lBuildId->setText(QString::fromLatin1(BuildId));
    lKompilator->setText(CompilerDescription());
    v_firma->setText(QString::fromLatin1(SuiteVersion));
    v_firma->setToolTip(QString::fromUtf8("Gå til Kontorverks hjemmeside på internett, ") +
                        QString::fromLatin1(MakerWebAddress));
    Label2->setText(QString::fromLatin1(DatabaseComponent));

    const SettingsState& settings = settingsState();
    cInifil->setText(settings.SettingsPath);
    nb_fil->setText(settings.SettingsFolder + CurrentUser() + QStringLiteral(".INI"));

    v_platform->setText(OsVersionText());
    n_system->setText(Env("WINDIR"));
    lXml->setText(QString::fromLatin1(XmlApiName) + QLatin1Char(' ') + QString::fromLatin1(XmlApiVersion));
    cLoggfil->setText(logState().LogFilePath);
    lHosts->setText(HostsFolder() + QStringLiteral("/hosts"));
    lLMHosts->setText(HostsFolder() + QStringLiteral("/lmhosts"));
    cData->setText(tavlundpath(QStringLiteral("data")));

    const QStringList& parameters = startupState().arguments;
    Memo1->clear();
    if (parameters.isEmpty()) {
        lParameter->setText(QStringLiteral("Ingen parametere til programmet"));
        Memo1->setVisible(false);
    } else {
        lParameter->setText(QStringLiteral("Parameter:"));
        Memo1->setVisible(true);
        for (const QString& parameter : parameters)
            Memo1->appendPlainText(parameter);
    }

    KnutebanLabel->setText(QString::fromLatin1(KnutebanInfo.name));
    kCache->setText(QStringLiteral("Skrivebuffer AV"));
    kVersjon->setText(QStringLiteral("Versjon ") + QString::fromLatin1(KnutebanInfo.version));
    kDato->setText(QStringLiteral("Oppdatert ") + QString::fromLatin1(KnutebanInfo.date));
    kBruker->setText(QString::fromLatin1(KnutebanInfo.userMode));
    kPeker->setText(QString::fromUtf8("Pekerstørrelse (datapointer) ") + QString::number(KnutebanPointerSize) +
                    QStringLiteral(" bytes"));

    NotesLabel->setText(NotesDataFolder());
    ProgramdataLabel->setText(Env("APPDATA"));
    Innstillinger->setText(Env("TEMP"));
    lRapportgenerator->setText(QString::fromLatin1(PrintingVersionText) + QStringLiteral("  ") +
                               QString::fromLatin1(PrintingVersionDate));
}

// ---------------------------------------------------------------------------------------------
// Links. Those that name a file or folder of the program compute it afresh; the Notes, program
// data, temporary, hosts and lmhosts links open what their label shows.

void TSysInfoForm::BitBtn1Click() { close(); }

void TSysInfoForm::BitBtn3Click() { ShellOpen(Notepad, settingsState().SettingsPath, {}); }

void TSysInfoForm::nb_filClick()
{
    ShellOpen(Notepad, settingsState().SettingsFolder + CurrentUser() + QStringLiteral(".INI"), {});
}

void TSysInfoForm::BitBtn2Click()
{
    // The log file is written first, so what opens is complete up to this moment.
    SaveLog();
    ShellOpen(logState().LogFilePath, {}, {});
}

void TSysInfoForm::cDataClick()
{
    const QString data = tavlundpath(QStringLiteral("data"));
    ShellOpen(Explorer(), data, data);
}

void TSysInfoForm::NotesLabelClick() { ShellOpen(NotesLabel->text(), {}, {}); }

void TSysInfoForm::n_systemClick()
{
    const QString windir = Env("WINDIR");
    ShellOpen(Explorer(), windir, windir);
}

void TSysInfoForm::ProgramdataLabelClick() { ShellOpen(ProgramdataLabel->text(), {}, {}); }
void TSysInfoForm::InnstillingerClick() { ShellOpen(Innstillinger->text(), {}, {}); }
void TSysInfoForm::lHostsClick() { ShellOpen(Notepad, lHosts->text(), {}); }
void TSysInfoForm::lLMHostsClick() { ShellOpen(Notepad, lLMHosts->text(), {}); }

void TSysInfoForm::KnutebanLabelClick()
{
    ShellOpen(tavlundpath(QStringLiteral("bin")) + QStringLiteral("knuteban.exe"), {}, {});
}

void TSysInfoForm::v_firmaClick() { ShellOpen(QString::fromLatin1(SuiteWebAddress), {}, {}); }
void TSysInfoForm::Label2Click() { ShellOpen(QString::fromLatin1(DatabaseVendorWebAddress), {}, {}); }
void TSysInfoForm::KompilatorClick() { ShellOpen(CompilerWebAddress(), {}, {}); }

void TSysInfoForm::Image1DblClick() { CreateDesktopShortcut(); }

void TSysInfoForm::Label14Click()
{
    previewState().PageProc = TestPage;
    PrintPage();
}

void TSysInfoForm::PagonaLabelClick()
{
    previewState().PageProc = TestPage;
    ShowPreview();
}

// ---------------------------------------------------------------------------------------------
// The lockdown switches: each click does its one effect at once, by the switch's new state.

void TSysInfoForm::GroupBox4DblClick()
{
    Panel2->setEnabled(true);
    // The page's tab stays hidden; the page itself comes forward, so that the switches just
    // enabled can be reached at all. Any tab leads away from it again.
    m_specialReachable = true;
    PageControl1->setCurrentWidget(TabSheet6);
}

void TSysInfoForm::cWinTastClick() { platform::desktopShell().blockSystemKeys(cWinTast->isChecked()); }
void TSysInfoForm::cWinShowTaskClick() { platform::desktopShell().showTaskbar(!cWinShowTask->isChecked()); }
void TSysInfoForm::cWinDisTaskClick() { platform::desktopShell().enableTaskbar(!cWinDisTask->isChecked()); }
void TSysInfoForm::cWinStartKnappClick()
{
    platform::desktopShell().enableStartButton(!cWinStartKnapp->isChecked());
}
void TSysInfoForm::cWinDesktopClick() { platform::desktopShell().showDesktopIcons(!cWinDesktop->isChecked()); }
void TSysInfoForm::cWinTrayClick() { platform::desktopShell().showTrayToolbar(!cWinTray->isChecked()); }

// ---------------------------------------------------------------------------------------------

void ShowSystemInfo(QWidget* owner)
{
    if (!owner)
        owner = QApplication::activeWindow();
    auto form = std::make_unique<TSysInfoForm>(owner);
    // Modal over the window it was opened from: the program waits here, while the print preview
    // that the "Rapport" page opens (a window of its own) still takes the user's input.
    if (owner)
        form->setWindowModality(Qt::WindowModal);
    form->exec();
}
