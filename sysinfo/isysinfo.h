#pragma once
// The system-information window: which program runs with which parameters and build, where its
// settings, log and data live, the machine's memory and system, the hosts files, the sibling
// products, a test print with its preview, and (on a hidden page) the desktop lockdown switches.
// Almost every value is a link that opens the file, folder, program or web page through the
// desktop shell.
//
// The window is created afresh for each showing and filled when it is shown, so every opening
// shows current values; the switches always start cleared and their panel disabled, and nothing
// of them is stored.
#include <QDialog>
#include <QLabel>
#include <QString>

class QCheckBox;
class QFrame;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QWidget;

// ---------------------------------------------------------------------------------------------
// The texts the window carries

// The sibling database product's facts: fixed texts, not read from an installed copy.
struct KnutebanInfoTexts {
    const char* name = "Tavlund Knuteban";
    const char* version = "1.8.1";
    const char* date = "04.07.2011";
    const char* userMode = "Enbruker";
};
inline constexpr KnutebanInfoTexts KnutebanInfo{};

inline constexpr char InitVersion[] = "5.36";
inline constexpr char BuildNumber[] = "519";
inline constexpr char BuildDate[] = "30.10.2011";
inline constexpr char BuildId[] = "TH";   // the builder's initials
inline constexpr char SuiteVersion[] = "Kontorverk SQL 6.00";
inline constexpr char DatabaseComponent[] = "MySQL 5, Devart DAC 6.10.0.7";
inline constexpr int KnutebanPointerSize = 256;
inline constexpr char LegalNotice[] = "© 2011 Tavlund AS. Alle rettigheter forbeholdt.";

// The web pages of the links: the suite on the maker's site and the database component's vendor.
inline constexpr char SuiteWebAddress[] = "https://www.tavlund.no/kontorverk/";
inline constexpr char DatabaseVendorWebAddress[] = "https://www.devart.com/mydac/";

// The compiler this program was built with, from the compiler's own macros ("GCC 12.2.0",
// "Clang 14.0.6"), with the language level and the Qt version it was built against.
QString CompilerDescription();
// The web page of that compiler.
QString CompilerWebAddress();

// The total memory in kilobytes as the window shows it: total bytes ÷ 1024 with the locale's
// thousands grouping and " KB" ("16 384 000 KB" under nb_NO).
QString MemoryTotalText(quint64 totalBytes);
// The memory load: "%d %%" ("37 %").
QString MemoryLoadText(int percent);

// ---------------------------------------------------------------------------------------------
// The window

// A label that acts as a link: navy, with the hand cursor, announcing clicks and double-clicks.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit LinkLabel(const QString& text = {}, QWidget* parent = nullptr, bool link = true);
signals:
    void clicked();
    void doubleClicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

class TSysInfoForm : public QDialog {
    Q_OBJECT
public:
    explicit TSysInfoForm(QWidget* parent = nullptr);
    ~TSysInfoForm() override;

    // Fills every value; run each time the window is shown.
    void FormShow();

    // Handlers, named after their component and event.
    void BitBtn1Click();         // "Lukk"
    void BitBtn3Click();         // settings file
    void nb_filClick();          // per-user file
    void BitBtn2Click();         // log file
    void cDataClick();           // data folder
    void NotesLabelClick();
    void n_systemClick();        // "Systemområde"
    void ProgramdataLabelClick();
    void InnstillingerClick();   // "Midlertidige filer:"
    void lHostsClick();
    void lLMHostsClick();
    void KnutebanLabelClick();
    void v_firmaClick();         // the business suite
    void Label2Click();          // the database component
    void KompilatorClick();      // "Kompilert med"
    void Image1DblClick();       // the logo
    void GroupBox4DblClick();    // the heading: enables the switches and brings their page forward
    void Label14Click();         // "Utskrift"
    void PagonaLabelClick();     // "forhåndsvisning" and the report generator
    void cWinTastClick();
    void cWinShowTaskClick();
    void cWinDisTaskClick();
    void cWinStartKnappClick();
    void cWinDesktopClick();
    void cWinTrayClick();

    // Components, by their designer names.
    LinkLabel* Image1 = nullptr;          // the logo
    LinkLabel* GroupBox4 = nullptr;       // the heading
    QLabel* lCopyright = nullptr;         // the legal notice
    QPushButton* BitBtn1 = nullptr;       // "Lukk"
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet6 = nullptr;         // "Spesial"
    // "Program"
    QLabel* cProgramnavn = nullptr;
    QLabel* lInitVersjon = nullptr;
    QLabel* lBuildNr = nullptr;
    QLabel* lBuildDato = nullptr;
    QLabel* lBuildId = nullptr;
    LinkLabel* lKompilator = nullptr;
    QLabel* lXml = nullptr;
    QLabel* lParameter = nullptr;
    QPlainTextEdit* Memo1 = nullptr;      // the parameter list
    // "Filer og mapper"
    LinkLabel* cInifil = nullptr;
    LinkLabel* nb_fil = nullptr;
    LinkLabel* cLoggfil = nullptr;
    LinkLabel* cData = nullptr;
    LinkLabel* NotesLabel = nullptr;
    // "Windows"
    QLabel* v_platform = nullptr;
    QLabel* lMinneTotal = nullptr;
    QLabel* lMinneBruk = nullptr;
    LinkLabel* n_system = nullptr;
    LinkLabel* ProgramdataLabel = nullptr;
    LinkLabel* Innstillinger = nullptr;   // "Midlertidige filer:"
    LinkLabel* lHosts = nullptr;
    LinkLabel* lLMHosts = nullptr;
    // "Knuteban"
    LinkLabel* KnutebanLabel = nullptr;
    QLabel* kCache = nullptr;
    QLabel* kVersjon = nullptr;
    QLabel* kDato = nullptr;
    QLabel* kBruker = nullptr;
    QLabel* kPeker = nullptr;
    // "Kontorverk"
    LinkLabel* v_firma = nullptr;
    LinkLabel* Label2 = nullptr;
    // "Rapport"
    LinkLabel* Label14 = nullptr;         // "Utskrift"
    LinkLabel* PagonaLabel = nullptr;     // "forhåndsvisning"
    LinkLabel* lRapportgenerator = nullptr;
    // "Spesial"
    QFrame* Panel2 = nullptr;
    QCheckBox* cWinTast = nullptr;
    QCheckBox* cWinDisTask = nullptr;
    QCheckBox* cWinStartKnapp = nullptr;
    QCheckBox* cWinDesktop = nullptr;
    QCheckBox* cWinShowTask = nullptr;
    QCheckBox* cWinTray = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* createTop();
    void createPages();

    bool m_specialReachable = false;  // the heading was double-clicked
    int m_lastPage = 0;
};

// Creates a new window over the owner (else over the active window), shows it modally and
// releases it when it closes.
void ShowSystemInfo(QWidget* owner = nullptr);
