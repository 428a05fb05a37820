#include "viewer/main.h"
#include "viewer/guardedapplication.h"
#include "viewer/openpicturedialog.h"
#include "viewer/picturecontrol.h"
#include "viewer/pictureloader.h"
#include "viewer/picturesource.h"
#include "viewer/windowmanager.h"
#include "framework/felles.h"
#include "framework/kv_reg.h"
#include "framework/uihooks.h"
#include "sysinfo/isysinfo.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QScreen>


namespace {

const QString kWindowName = QStringLiteral("Bildeviser");
const QString kCaption = QStringLiteral("Tavlund bildeviser");
const QString kStretchKey = QStringLiteral("Bilde-Strekk");
const QString kProportionalKey = QStringLiteral("Bilde-Proposjonalt");
const QString kFolderKey = QStringLiteral("SisteBildeMappe");
constexpr int SlideshowInterval = 4000;
constexpr int PointerRows = 12;   // the pointer rule: rows 0..12 bring border and menu back
// How long (ms) a placement is applied again while the window manager frames the window.
constexpr qint64 PlacementPatience = 1500;

}  // namespace

QString FolderPart(const QString& fileName)
{
    const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : fileName.left(slash + 1);
}

TBildeviserForm::TBildeviserForm(const QStringList& arguments, QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(kCaption);
    m_area = new QWidget(this);
    m_area->setAutoFillBackground(true);
    QPalette pal = m_area->palette();
    pal.setColor(QPalette::Window, Qt::white);
    m_area->setPalette(pal);
    setCentralWidget(m_area);
    setAcceptDrops(true);
    // The window itself takes the viewer's keys; nothing in it takes the focus from it.
    setFocusPolicy(Qt::StrongFocus);

    m_area->installEventFilter(this);
    // The area around the picture answers the pointer rule and the pop-up menu too: with the
    // picture control shrunk to nothing (stretch off, no picture) in the borderless view, they
    // are the only way back to the menus.
    m_area->setMouseTracking(true);
    Image1 = new PictureControl(m_area);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setStretch(true);
    Image1->setProportional(true);

    Timer1.setInterval(SlideshowInterval);
    connect(&Timer1, &QTimer::timeout, this, &TBildeviserForm::NesteBildeExecute);

    createActions();
    createMenus();
    connect(Image1, &PictureControl::clicked, this, &TBildeviserForm::NesteBildeExecute);
    connect(Image1, &PictureControl::doubleClicked, this, &QWidget::close);
    connect(Image1, &PictureControl::pointerMoved, this, &TBildeviserForm::Image1MouseMove);

    // Design-time placement: left 280, top 185, a client area of 688 x 434 under the menu.
    move(280, 185);
    resize(688, 434 + menuBar()->sizeHint().height());
    fitImageToArea();

    choosePicture = [this](const QString& start) { return runOpenDialog(start); };
    RunGuarded([&] { FormCreate(arguments); });
}

TBildeviserForm::~TBildeviserForm() = default;

void TBildeviserForm::createActions()
{
    const auto make = [this](const QString& caption, bool checkable, bool checked) {
        auto* action = new QAction(caption, this);
        action->setCheckable(checkable);
        action->setChecked(checked);
        return action;
    };
    Strekk = make(QStringLiteral("Strekk bilde"), true, true);
    Proposjonalt = make(QStringLiteral("Vis proposjonalt"), true, true);
    Fullskjerm = make(QStringLiteral("Full skjerm"), true, false);
    Avslutt = make(QStringLiteral("Avslutt"), false, false);
    Openfile = make(QStringLiteral("Åpne bilde"), false, false);
    Systeminformasjon = make(QStringLiteral("Systeminformasjon"), false, false);
    OppdaterProgram = make(QStringLiteral("Oppdater program fra internett"), false, false);
    Internett = make(QStringLiteral("Tavlund på internett"), false, false);
    NesteBilde = make(QStringLiteral("Neste bilde"), false, false);
    Lysbilde = make(QStringLiteral("Lysbildefremvisning"), true, false);

    // A checkable action has flipped its check when `triggered` arrives; the handlers apply it.
    connect(Strekk, &QAction::triggered, this, [this](bool on) {
        m_choicesKnown = true;
        applyStrekk(on);
    });
    connect(Proposjonalt, &QAction::triggered, this, [this](bool on) {
        m_choicesKnown = true;
        Image1->setProportional(on);
    });
    connect(Fullskjerm, &QAction::triggered, this, [this](bool on) {
        if (on)
            enterFullScreen();
        else
            leaveFullScreen();
    });
    connect(Lysbilde, &QAction::triggered, this, [this](bool on) {
        if (on)
            Timer1.start();
        else
            Timer1.stop();
    });
    connect(Avslutt, &QAction::triggered, this, &QWidget::close);
    connect(Openfile, &QAction::triggered, this, &TBildeviserForm::OpenfileExecute);
    connect(NesteBilde, &QAction::triggered, this, &TBildeviserForm::NesteBildeExecute);
    connect(Systeminformasjon, &QAction::triggered, this, [this] { ShowSystemInfo(this); });
    connect(OppdaterProgram, &QAction::triggered, this, [] { StartProgramUpdate(); });
    connect(Internett, &QAction::triggered, this,
            [] { ShellOpen(QString::fromLatin1(MakerWebAddress), QString(), QString()); });
}

void TBildeviserForm::createMenus()
{
    QMenu* fil = menuBar()->addMenu(QStringLiteral("Fil"));
    fil->addAction(Openfile);
    fil->addSeparator();
    fil->addAction(Avslutt);

    QMenu* muligheter = menuBar()->addMenu(QStringLiteral("Muligheter"));
    muligheter->addAction(Strekk);
    muligheter->addAction(Proposjonalt);
    muligheter->addSeparator();
    muligheter->addAction(Lysbilde);
    muligheter->addSeparator();
    muligheter->addAction(Fullskjerm);

    QMenu* hjelp = menuBar()->addMenu(QStringLiteral("Hjelp"));
    hjelp->addAction(Systeminformasjon);
    hjelp->addAction(OppdaterProgram);
    hjelp->addAction(Internett);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->addAction(Openfile);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(Strekk);
    PopupMenu1->addAction(Proposjonalt);
    PopupMenu1->addAction(Fullskjerm);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(Lysbilde);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(Systeminformasjon);
    PopupMenu1->addAction(OppdaterProgram);
    PopupMenu1->addAction(Internett);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(Avslutt);
    Image1->setPopupMenu(PopupMenu1);
    m_area->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_area, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu1->exec(m_area->mapToGlobal(pos)); });
}

void TBildeviserForm::FormCreate(const QStringList& arguments)
{
    if (ProgramTitle().isEmpty())
        ProgramTitle() = QStringLiteral("Bildeviser");

    if (arguments.size() == 1) {
        const QString picture = arguments.first();
        setWindowTitle(kCaption + ": " + picture);
        enterFullScreenView();
        IniWriteString(kFolderKey, FolderPart(picture));
        // The picture is asked for once the event loop runs, when the window has its full-screen
        // size to decode for; the rest of the start waits for the answer. Steps the user makes
        // meanwhile wait too, so they go through the list the start builds.
        m_awaitingPicture = true;
        QTimer::singleShot(0, this, [this, picture] {
            Image1->request(
                picture,
                [this](const QString& error) {
                    if (!error.isEmpty()) {
                        // The design-time choices stay and the list stays empty.
                        ShowError(error);
                    } else {
                        applyStoredChoices();
                    }
                    pictureArrived();
                },
                0.0);
        });
        return;
    }
    loadPlacement();
    applyStoredChoices();
    prefetchNext();
}

void TBildeviserForm::applyStoredChoices()
{
    const bool stretch = IniReadBool(kStretchKey);
    Strekk->setChecked(stretch);
    Image1->setStretch(stretch);
    const bool proportional = IniReadBool(kProportionalKey);
    Proposjonalt->setChecked(proportional);
    Image1->setProportional(proportional);
    m_choicesKnown = true;
    LastListen();
}

// A picture the rest of a handler waited for has its answer: the steps made meanwhile run now,
// in order, and the next entry of the list is decoded ahead.
void TBildeviserForm::pictureArrived()
{
    m_awaitingPicture = false;
    const int steps = std::exchange(m_stepsWaiting, 0);
    for (int i = 0; i < steps && !m_awaitingPicture; ++i)
        NesteBildeExecute();
    if (steps == 0)
        prefetchNext();
}

void TBildeviserForm::prefetchNext()
{
    Image1->prefetch(ListBox1.Next());
}

// ---------------------------------------------------------------------------------------------
// Handlers

void TBildeviserForm::StrekkExecute() { Strekk->trigger(); }
void TBildeviserForm::ProposjonaltExecute() { Proposjonalt->trigger(); }
void TBildeviserForm::FullskjermExecute() { Fullskjerm->trigger(); }
void TBildeviserForm::LysbildeExecute() { Lysbilde->trigger(); }

void TBildeviserForm::applyStrekk(bool on)
{
    Image1->setStretch(on);
    m_followArea = on;
    if (on)
        fitImageToArea();
    else
        Image1->resize(Image1->pictureSize());
}

void TBildeviserForm::enterFullScreen()
{
    SaveWindowPos(placement(), kWindowName, QString());
    enterFullScreenView();
}

void TBildeviserForm::enterFullScreenView()
{
    Fullskjerm->setChecked(true);
    // Without a window manager a maximise request does nothing, so the window takes the
    // screen's bounds itself; a window manager then keeps it maximised.
    showView(false, Qt::WindowMaximized, [this] {
        if (QScreen* screen = QGuiApplication::primaryScreen())
            setGeometry(screen->geometry());
    });
}

void TBildeviserForm::leaveFullScreen()
{
    Fullskjerm->setChecked(false);
    // The stored placement decides the state as well: a window stored in the normal state
    // comes back normal, not maximised at the size of its normal bounds.
    WindowPlacement p = placement();
    p.maximized = false;
    QString diverse;
    const QScreen* screen = QGuiApplication::primaryScreen();
    LoadWindowPos(p, screen ? screen->size() : QSize(), kWindowName, diverse);
    showView(true, p.maximized ? Qt::WindowMaximized : Qt::WindowNoState, [&] { applyPlacement(p); });
}

void TBildeviserForm::showView(bool border, Qt::WindowStates state, const std::function<void()>& place)
{
    // A window manager takes a new border, state and placement reliably only from a window it
    // does not manage at the time: asked of a window on the screen, its own memory of the
    // window's bounds before it was maximised races with ours, and the window can end up
    // maximised at one size while drawn at another. So the window leaves the screen, is
    // changed, and comes back. Toggling the border takes it off the screen anyway.
    const bool visible = isVisible();
    if (visible)
        HideAndWaitUntilWithdrawn(*this);
    m_border = border;
    setWindowFlag(Qt::FramelessWindowHint, !border);
    menuBar()->setVisible(border);
    // Bounds are set on a window in the normal state (setting them ends a maximised state),
    // then the state the view asks for.
    setWindowState(Qt::WindowNoState);
    if (place)
        place();
    setWindowState(state);
    if (visible) {
        if (!(state & Qt::WindowMaximized))
            ForgetWindowManagerState(*this);
        show();
    }
}

void TBildeviserForm::Image1MouseMove(int, int y)
{
    // Border and menu come back; the window stays maximised and in the full-screen view.
    if (y <= PointerRows && !m_border)
        showView(true, windowState(), nullptr);
}

void TBildeviserForm::NesteBildeExecute()
{
    const double asked = TraceNowMs();
    if (m_awaitingPicture) {
        ++m_stepsWaiting;  // after the picture a start or the open dialog asked for
        return;
    }
    Image1->setEnabled(false);
    // The control takes clicks again at once: the picture arrives later, and a click meanwhile
    // is the next step, which takes the place of this one's picture.
    const auto enableAgain = qScopeGuard([this] { Image1->setEnabled(true); });
    const QString entry = ListBox1.Step();
    if (entry.isEmpty())
        return;
    Image1->request(
        entry,
        [this](const QString& error) {
            if (!error.isEmpty())
                ShowError(error);
            prefetchNext();
        },
        asked);
}

void TBildeviserForm::LastListen() { ListBox1.LastListen(IniReadString(kFolderKey), m_dialogFileName); }

void TBildeviserForm::OpenfileExecute()
{
    const QString file = choosePicture(IniReadString(kFolderKey));
    if (file.isEmpty())
        return;   // cancelled: nothing changes
    OpenChosenFile(file);
}

void TBildeviserForm::OpenChosenFile(const QString& file)
{
    const double asked = TraceNowMs();
    m_dialogFileName = file;
    m_awaitingPicture = true;
    Image1->request(
        file,
        [this, file](const QString& error) {
            if (!error.isEmpty()) {
                ShowError(error);  // caption, folder and list stay as they were
            } else {
                setWindowTitle(kCaption + ": " + file);
                IniWriteString(kFolderKey, FolderPart(file));
                LastListen();
            }
            pictureArrived();
        },
        asked);
}

QString TBildeviserForm::runOpenDialog(const QString& startFolder)
{
    OpenPictureDialog dialog(this);
    if (!startFolder.isEmpty())
        dialog.setDirectory(startFolder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

// ---------------------------------------------------------------------------------------------
// Placement and closing

WindowPlacement TBildeviserForm::placement() const
{
    // The frame as the window manager reports it where it does: Qt's own idea of it may lag
    // behind just after the window was mapped anew.
    const std::optional<QMargins> reported = isVisible() ? FrameExtents(*this) : std::nullopt;
    const QRect outer = reported ? geometry().marginsAdded(*reported) : frameGeometry();
    WindowPlacement p;
    p.left = outer.x();
    p.top = outer.y();
    p.width = outer.width();
    p.height = outer.height();
    p.maximized = isMaximized();
    return p;
}

namespace {

// The frame around the client area: the space between the outer and the client bounds.
QMargins FrameMargins(const QRect& outer, const QRect& client)
{
    return QMargins(client.left() - outer.left(), client.top() - outer.top(), outer.right() - client.right(),
                    outer.bottom() - client.bottom());
}

}  // namespace

void TBildeviserForm::applyPlacement(const WindowPlacement& p)
{
    // The stored bounds are outer bounds; Qt places the client area. The frame is the window
    // manager's: known while the window is on the screen with its border, remembered from then
    // for the times it is not (hidden, or just given its border back). The client bounds are
    // set from the outer ones and the frame. Until the window manager has framed the window
    // again, what Qt does with them is not certain (before the window was ever shown with a
    // border the frame is not known at all), so the outer bounds are held and applied again
    // as the window manager reports the window's place, until they hold; else every run would
    // move and grow the window by its frame.
    const QRect outer(p.left, p.top, p.width, p.height);
    const bool sizeChanged = outer.size() != frameGeometry().size();
    QMargins frame;
    if (m_border) {
        const QMargins current = FrameMargins(frameGeometry(), geometry());
        frame = isVisible() && !current.isNull() ? current : m_frame;
    }
    if (!frame.isNull()) {
        setGeometry(outer.marginsRemoved(frame));
    } else {
        move(outer.topLeft());
        if (sizeChanged)
            resize(outer.size());
    }
    m_pendingOuter = m_border ? outer : QRect();
    m_pendingSize = sizeChanged || !frame.isNull();
    m_pendingClock.start();
    if (p.maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void TBildeviserForm::keyPressEvent(QKeyEvent* event)
{
    // Only plain keys: with a modifier held they belong to someone else. Keys reach this window
    // only when neither a menu nor a dialog has the focus.
    if (event->modifiers() & ~Qt::KeypadModifier) {
        QMainWindow::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Escape:
        if (Fullskjerm->isChecked())
            FullskjermExecute();
        break;
    case Qt::Key_F11:
        FullskjermExecute();
        break;
    case Qt::Key_Right:
    case Qt::Key_Space:
    case Qt::Key_PageDown:
        // A step while the previous one still runs is dropped, as a click then would be.
        if (Image1->isEnabled())
            NesteBildeExecute();
        break;
    default:
        QMainWindow::keyPressEvent(event);
        return;
    }
    event->accept();
}

namespace {

// The first local file among the dropped addresses; empty when there is none.
QString DroppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            return url.toLocalFile();
    return {};
}

}  // namespace

void TBildeviserForm::dragEnterEvent(QDragEnterEvent* event)
{
    if (!DroppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TBildeviserForm::dropEvent(QDropEvent* event)
{
    const QString file = DroppedFile(event->mimeData());
    if (file.isEmpty())
        return;
    event->acceptProposedAction();
    OpenChosenFile(file);
}

bool TBildeviserForm::event(QEvent* event)
{
    const bool handled = QMainWindow::event(event);
    // Qt's own idea of the frame may, just after the window was mapped anew, still be the one
    // of the state before; the window manager's report is used where there is one.
    if (isVisible() && m_border && !isMaximized() &&
        (event->type() == QEvent::Show || event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        const std::optional<QMargins> reported = FrameExtents(*this);
        const QMargins frame = reported ? *reported : FrameMargins(frameGeometry(), geometry());
        if (!frame.isNull()) {
            m_frame = frame;
            if (m_pendingOuter.isValid()) {
                const QRect now = geometry().marginsAdded(frame);
                const QRect want = m_pendingSize ? m_pendingOuter : QRect(m_pendingOuter.topLeft(), now.size());
                if (now == want || m_pendingClock.elapsed() > PlacementPatience)
                    m_pendingOuter = QRect();
                else if (!reported || !RequestOuterBounds(*this, want, frame))
                    setGeometry(want.marginsRemoved(frame));
            }
        }
    }
    return handled;
}

void TBildeviserForm::loadPlacement()
{
    WindowPlacement p = placement();
    QString diverse;
    const QScreen* screen = QGuiApplication::primaryScreen();
    LoadWindowPos(p, screen ? screen->size() : QSize(), kWindowName, diverse);
    applyPlacement(p);
}

void TBildeviserForm::FormClose()
{
    if (m_closed)
        return;
    m_closed = true;
    // Only the normal view's placement is worth keeping; the borderless one is the screen.
    if (m_border)
        RunGuarded([this] { SaveWindowPos(placement(), kWindowName, QString()); });
    // After a start whose picture could not be shown the choices were never read; the ones on
    // screen are the design-time ones, and storing them would overwrite the user's own unless
    // the user chose them since.
    if (m_choicesKnown) {
        IniWriteBool(kStretchKey, Strekk->isChecked());
        IniWriteBool(kProportionalKey, Proposjonalt->isChecked());
    }
}

void TBildeviserForm::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void TBildeviserForm::fitImageToArea()
{
    if (m_followArea)
        Image1->setGeometry(0, 0, m_area->width(), m_area->height());
}

bool TBildeviserForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_area && event->type() == QEvent::Resize)
        fitImageToArea();
    if (watched == m_area && event->type() == QEvent::MouseMove)
        Image1MouseMove(static_cast<QMouseEvent*>(event)->position().toPoint().x(),
                        static_cast<QMouseEvent*>(event)->position().toPoint().y());
    return QMainWindow::eventFilter(watched, event);
}
