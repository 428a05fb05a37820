// The system-information window's layout: the white top band with the logo, heading and legal
// notice, the pages, and the bottom band with "Lukk".
#include "sysinfo/isysinfo.h"

#include <QCheckBox>
#include <QFont>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

constexpr int ClientWidth = 527;
constexpr int ClientHeight = 375;
constexpr int TopBandHeight = 81;
constexpr int BottomBandHeight = 48;
constexpr int LogoSize = 73;
constexpr int HeadingPixels = 19;
const QColor Navy(0, 0, 128);
const QColor HeadingGreen(0, 128, 0);

void SetTextColour(QWidget* w, const QColor& colour)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, colour);
    w->setPalette(pal);
}

QLabel* Bold(QLabel* label)
{
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    return label;
}

// A page whose rows are a caption and its value, from the top down.
class Rows {
public:
    explicit Rows(QWidget* page) : m_grid(new QGridLayout(page))
    {
        m_grid->setColumnStretch(1, 1);
        m_grid->setHorizontalSpacing(12);
    }
    Rows(const Rows&) = delete;
    Rows& operator=(const Rows&) = delete;
    QGridLayout* grid() const { return m_grid; }
    template <typename W>
    W* add(const QString& caption, W* value)
    {
        m_grid->addWidget(new QLabel(caption), m_row, 0, Qt::AlignLeft | Qt::AlignTop);
        m_grid->addWidget(value, m_row++, 1);
        return value;
    }
    template <typename W>
    W* line(W* widget)
    {
        m_grid->addWidget(widget, m_row++, 0, 1, 2);
        return widget;
    }
    void end() { m_grid->setRowStretch(m_row, 1); }

private:
    QGridLayout* m_grid;
    int m_row = 0;
};

QGroupBox* Group(const QString& title, std::initializer_list<QWidget*> lines)
{
    auto* box = new QGroupBox(title);
    auto* layout = new QVBoxLayout(box);
    for (QWidget* w : lines)
        layout->addWidget(w);
    return box;
}

}  // namespace

LinkLabel::LinkLabel(const QString& text, QWidget* parent, bool link) : QLabel(text, parent)
{
    if (link) {
        SetTextColour(this, Navy);
        setCursor(Qt::PointingHandCursor);
    }
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void LinkLabel::mouseDoubleClickEvent(QMouseEvent* event)
{
    QLabel::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
}

QWidget* TSysInfoForm::createTop()
{
    auto* top = new QWidget;
    top->setAutoFillBackground(true);
    QPalette pal = top->palette();
    pal.setColor(QPalette::Window, Qt::white);
    top->setPalette(pal);
    top->setFixedHeight(TopBandHeight);

    Image1 = new LinkLabel({}, top, false);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(LogoSize, LogoSize);
    Image1->setPixmap(QPixmap(QStringLiteral(":/glimra/logo.png")));

    GroupBox4 = new LinkLabel({}, top, false);
    GroupBox4->setObjectName(QStringLiteral("GroupBox4"));
    GroupBox4->setAlignment(Qt::AlignCenter);
    // Tahoma where it is installed; fontconfig puts the nearest sans-serif in its place.
    QFont heading(QStringLiteral("Tahoma"));
    heading.setStyleHint(QFont::SansSerif);
    heading.setPixelSize(HeadingPixels);
    heading.setBold(true);
    GroupBox4->setFont(heading);
    SetTextColour(GroupBox4, HeadingGreen);

    lCopyright = new QLabel(QString::fromUtf8(LegalNotice), top);
    lCopyright->setAlignment(Qt::AlignCenter);
    QFont small = lCopyright->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    lCopyright->setFont(small);
    SetTextColour(lCopyright, HeadingGreen);

    auto* texts = new QVBoxLayout;
    texts->addStretch();
    texts->addWidget(GroupBox4);
    texts->addWidget(lCopyright);
    texts->addStretch();
    auto* row = new QHBoxLayout(top);
    row->setContentsMargins(4, 4, 4, 4);
    row->addWidget(Image1, 0, Qt::AlignVCenter);
    row->addLayout(texts, 1);
    // Keeps the heading centred over the window, not over the room beside the logo.
    row->addSpacing(LogoSize);
    return top;
}

void TSysInfoForm::createPages()
{
    PageControl1 = new QTabWidget;
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    // Every tab in sight at once: the window widens to hold the row rather than scroll it.
    PageControl1->setUsesScrollButtons(false);

    // "Program"
    auto* program = new QWidget;
    Rows p(program);
    cProgramnavn = p.line(Bold(new QLabel));
    lInitVersjon = p.add(QStringLiteral("Init versjon"), new QLabel);
    lBuildNr = p.add(QStringLiteral("Build nr."), new QLabel);
    lBuildDato = p.add(QStringLiteral("Build dato"), new QLabel);
    lBuildId = p.add(QStringLiteral("Build ID"), new QLabel);
    lKompilator = p.add(QStringLiteral("Kompilert med"), new LinkLabel);
    lXml = p.line(new QLabel);
    lParameter = p.line(new QLabel);
    Memo1 = p.line(new QPlainTextEdit);
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setBackgroundRole(QPalette::Window);
    Memo1->viewport()->setBackgroundRole(QPalette::Window);
    Memo1->setFixedHeight(60);
    Memo1->setVisible(false);
    p.end();
    PageControl1->addTab(program, QStringLiteral("Program"));

    // "Filer og mapper"
    auto* files = new QWidget;
    auto* f = new QVBoxLayout(files);
    cInifil = new LinkLabel;
    nb_fil = new LinkLabel;
    cLoggfil = new LinkLabel;
    cData = new LinkLabel;
    NotesLabel = new LinkLabel;
    f->addWidget(Group(QStringLiteral("Inifil"), {cInifil, nb_fil}));
    f->addWidget(Group(QStringLiteral("Loggfil:"), {cLoggfil}));
    f->addWidget(Group(QStringLiteral("Datamappe:"), {cData}));
    f->addWidget(Group(QStringLiteral("Andre:"), {NotesLabel}));
    f->addStretch();
    PageControl1->addTab(files, QStringLiteral("Filer og mapper"));

    // "Windows"
    auto* system = new QWidget;
    Rows w(system);
    v_platform = w.line(Bold(new QLabel));
    lMinneTotal = w.add(QStringLiteral("Minne tilgjengelig for Windows"), new QLabel);
    lMinneBruk = w.add(QStringLiteral("Minne i bruk"), new QLabel);
    n_system = w.add(QString::fromUtf8("Systemområde"), new LinkLabel);
    ProgramdataLabel = w.add(QStringLiteral("Programdata"), new LinkLabel);
    Innstillinger = w.add(QStringLiteral("Midlertidige filer:"), new LinkLabel);
    lHosts = w.add(QStringLiteral("Hosts:"), new LinkLabel);
    lLMHosts = w.add(QStringLiteral("Lmhosts:"), new LinkLabel);
    w.end();
    PageControl1->addTab(system, QStringLiteral("Windows"));

    // "Knuteban"
    auto* knuteban = new QWidget;
    Rows k(knuteban);
    KnutebanLabel = k.line(new LinkLabel);
    Bold(KnutebanLabel);
    KnutebanLabel->setToolTip(QStringLiteral("Start Knuteban Database Desktop"));
    kCache = k.line(new QLabel);
    kVersjon = k.line(new QLabel);
    kDato = k.line(new QLabel);
    kBruker = k.line(new QLabel);
    kPeker = k.line(new QLabel);
    k.end();
    PageControl1->addTab(knuteban, QStringLiteral("Knuteban"));

    // "Kontorverk"
    auto* suite = new QWidget;
    Rows s(suite);
    v_firma = s.line(new LinkLabel);
    Bold(v_firma);
    Label2 = s.add(QStringLiteral("Databaseversjon "), new LinkLabel);
    Label2->setToolTip(QStringLiteral("Gå til Devarts hjemmeside"));
    s.end();
    PageControl1->addTab(suite, QStringLiteral("Kontorverk"));

    // "Spesial": the lockdown switches; the tab stays hidden.
    TabSheet6 = new QWidget;
    auto* special = new QVBoxLayout(TabSheet6);
    Panel2 = new QFrame;
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel2->setMinimumSize(305, 65);
    auto* switches = new QGridLayout(Panel2);
    cWinTast = new QCheckBox(QStringLiteral("Ikke tillat systemtaster"));
    cWinDisTask = new QCheckBox(QStringLiteral("Sperr oppgavelinje"));
    cWinStartKnapp = new QCheckBox(QStringLiteral("Sperr startknappen"));
    cWinDesktop = new QCheckBox(QStringLiteral("Skjul skrivebord"));
    cWinShowTask = new QCheckBox(QStringLiteral("Skjul oppgavelinje"));
    cWinTray = new QCheckBox(QStringLiteral("Skjul systemstatusfelt"));
    switches->addWidget(cWinTast, 0, 0);
    switches->addWidget(cWinDisTask, 1, 0);
    switches->addWidget(cWinStartKnapp, 2, 0);
    switches->addWidget(cWinDesktop, 0, 1);
    switches->addWidget(cWinShowTask, 1, 1);
    switches->addWidget(cWinTray, 2, 1);
    Panel2->setEnabled(false);
    special->addWidget(Panel2, 0, Qt::AlignLeft | Qt::AlignTop);
    special->addStretch();
    const int specialIndex = PageControl1->addTab(TabSheet6, QStringLiteral("Spesial"));
    PageControl1->setTabVisible(specialIndex, false);
    // The tab bar's arrow keys would step onto the hidden page too; until the heading has been
    // double-clicked they step over it, on in the direction they were going.
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (index >= 0 && PageControl1->widget(index) == TabSheet6 && !m_specialReachable) {
            int next = index > m_lastPage ? index + 1 : index - 1;
            if (next < 0 || next >= PageControl1->count())
                next = m_lastPage;
            PageControl1->setCurrentIndex(next);
            return;
        }
        m_lastPage = index;
    });

    // "Rapport"
    auto* report = new QWidget;
    Rows r(report);
    auto* test = new QWidget;
    auto* testRow = new QHBoxLayout(test);
    testRow->setContentsMargins(0, 0, 0, 0);
    Label14 = new LinkLabel(QStringLiteral("Utskrift"));
    PagonaLabel = new LinkLabel(QString::fromUtf8("forhåndsvisning"));
    testRow->addWidget(Label14);
    testRow->addWidget(new QLabel(QStringLiteral("/")));
    testRow->addWidget(PagonaLabel);
    testRow->addStretch();
    r.add(QStringLiteral("Testside"), test);
    lRapportgenerator = r.add(QStringLiteral("Rapportgenerator"), new LinkLabel);
    r.end();
    PageControl1->addTab(report, QStringLiteral("Rapport"));

    PageControl1->setCurrentIndex(0);
}

TSysInfoForm::TSysInfoForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint)
{
    setWindowTitle(QStringLiteral("Tavlund systeminformasjon"));
    setObjectName(QStringLiteral("SysInfoForm"));

    createPages();
    BitBtn1 = new QPushButton(QStringLiteral("Lukk"));
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    auto* bottom = new QWidget;
    bottom->setFixedHeight(BottomBandHeight);
    auto* buttons = new QHBoxLayout(bottom);
    buttons->addStretch();
    buttons->addWidget(BitBtn1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(createTop());
    auto* middle = new QVBoxLayout;
    middle->setContentsMargins(6, 6, 6, 0);
    middle->addWidget(PageControl1, 1);
    layout->addLayout(middle, 1);
    layout->addWidget(bottom);
    // The designed size at least; a long path makes the window wider rather than cut off.
    PageControl1->setMinimumSize(ClientWidth - 12, ClientHeight - TopBandHeight - BottomBandHeight - 6);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(BitBtn1, &QPushButton::clicked, this, &TSysInfoForm::BitBtn1Click);
    const std::pair<LinkLabel*, void (TSysInfoForm::*)()> links[] = {
        {cInifil, &TSysInfoForm::BitBtn3Click},
        {nb_fil, &TSysInfoForm::nb_filClick},
        {cLoggfil, &TSysInfoForm::BitBtn2Click},
        {cData, &TSysInfoForm::cDataClick},
        {NotesLabel, &TSysInfoForm::NotesLabelClick},
        {n_system, &TSysInfoForm::n_systemClick},
        {ProgramdataLabel, &TSysInfoForm::ProgramdataLabelClick},
        {Innstillinger, &TSysInfoForm::InnstillingerClick},
        {lHosts, &TSysInfoForm::lHostsClick},
        {lLMHosts, &TSysInfoForm::lLMHostsClick},
        {KnutebanLabel, &TSysInfoForm::KnutebanLabelClick},
        {v_firma, &TSysInfoForm::v_firmaClick},
        {Label2, &TSysInfoForm::Label2Click},
        {lKompilator, &TSysInfoForm::KompilatorClick},
        {Label14, &TSysInfoForm::Label14Click},
        {PagonaLabel, &TSysInfoForm::PagonaLabelClick},
        {lRapportgenerator, &TSysInfoForm::PagonaLabelClick},
    };
    for (const auto& [label, handler] : links)
        connect(label, &LinkLabel::clicked, this, handler);
    connect(Image1, &LinkLabel::doubleClicked, this, &TSysInfoForm::Image1DblClick);
    connect(GroupBox4, &LinkLabel::doubleClicked, this, &TSysInfoForm::GroupBox4DblClick);

    const std::pair<QCheckBox*, void (TSysInfoForm::*)()> checks[] = {
        {cWinTast, &TSysInfoForm::cWinTastClick},
        {cWinShowTask, &TSysInfoForm::cWinShowTaskClick},
        {cWinDisTask, &TSysInfoForm::cWinDisTaskClick},
        {cWinStartKnapp, &TSysInfoForm::cWinStartKnappClick},
        {cWinDesktop, &TSysInfoForm::cWinDesktopClick},
        {cWinTray, &TSysInfoForm::cWinTrayClick},
    };
    for (const auto& [box, handler] : checks)
        connect(box, &QCheckBox::clicked, this, handler);
}

TSysInfoForm::~TSysInfoForm() = default;
