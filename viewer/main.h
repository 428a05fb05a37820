#pragma once
// The picture viewer, the program's main window.
#include <QMainWindow>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>

#include "viewer/picturelist.h"

class QAction;
class QMenu;
class PictureControl;
struct WindowPlacement;

class TBildeviserForm : public QMainWindow {
    Q_OBJECT
public:
    // Creates the window and runs FormCreate with the program's arguments (1..N).
    explicit TBildeviserForm(const QStringList& arguments, QWidget* parent = nullptr);
    ~TBildeviserForm() override;

    // Components, by their designer names.
    PictureControl* Image1 = nullptr;
    PictureList ListBox1;
    QTimer Timer1;
    QMenu* PopupMenu1 = nullptr;

    QAction* Strekk = nullptr;
    QAction* Proposjonalt = nullptr;
    QAction* Fullskjerm = nullptr;
    QAction* Avslutt = nullptr;
    QAction* Openfile = nullptr;
    QAction* Systeminformasjon = nullptr;
    QAction* OppdaterProgram = nullptr;
    QAction* Internett = nullptr;
    QAction* NesteBilde = nullptr;
    QAction* Lysbilde = nullptr;

    // Handlers. The toggling actions flip their check and apply the new state.
    void StrekkExecute();
    void ProposjonaltExecute();
    void FullskjermExecute();
    void LysbildeExecute();
    void OpenfileExecute();
    void NesteBildeExecute();
    void LastListen();
    void Image1MouseMove(int x, int y);

    // Asks for a picture file to open; empty text when the user cancels. The open dialog by
    // default; tests put a chooser of their own here.
    std::function<QString(const QString& startFolder)> choosePicture;

    // The file last confirmed in the open dialog during this run.
    QString dialogFileName() const { return m_dialogFileName; }
    // True while the window has its sizeable border (normal view, or after the pointer rule).
    bool hasBorder() const { return m_border; }
    // The window's outer bounds and state, as the placement records keep them.
    WindowPlacement placement() const;
    void applyPlacement(const WindowPlacement& placement);

    // Runs FormClose now (the window's close event does it too).
    void FormClose();

    // Opens a picture file as a confirmed choice in the open dialog does: load, then caption,
    // stored folder and list once it is shown. A file that cannot be loaded is reported and
    // changes nothing else.
    void OpenChosenFile(const QString& file);

protected:
    void closeEvent(QCloseEvent* event) override;
    // Escape leaves full screen, F11 switches it, Right, Space and Page Down step like a click.
    void keyPressEvent(QKeyEvent* event) override;
    // A picture file dropped on the window is opened like a choice in the open dialog.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool event(QEvent* event) override;

private:
    void FormCreate(const QStringList& arguments);
    void applyStoredChoices();
    void pictureArrived();
    void prefetchNext();
    void createActions();
    void createMenus();
    void enterFullScreen();
    void enterFullScreenView();
    void leaveFullScreen();
    // Gives the window its border (and menu) or takes them, sets the window state, runs place
    // to set its bounds, all while the window is off the screen, then shows it again.
    void showView(bool border, Qt::WindowStates state, const std::function<void()>& place);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void loadPlacement();
    void fitImageToArea();
    void applyStrekk(bool on);
    QString runOpenDialog(const QString& startFolder);

    QWidget* m_area = nullptr;      // the client area under the menu; white
    bool m_border = true;
    bool m_followArea = true;       // Image1 fills the client area
    bool m_closed = false;
    bool m_choicesKnown = false;    // the scaling choices were read from the settings or chosen
    QString m_dialogFileName;
    QSize m_pendingOuterSize;       // a stored outer size applied before the frame was known
    bool m_awaitingPicture = false; // a start or an open waits for its picture before it goes on
    int m_stepsWaiting = 0;         // steps made meanwhile, run when it arrives
    QRect m_pendingOuter;           // stored outer bounds applied before the frame was known
    bool m_pendingSize = false;     // ... with a size of their own (else only the position)
    QElapsedTimer m_pendingClock;   // since the placement was applied
    QMargins m_frame;               // the window manager's frame around the client area, last seen
};

// Folder part of a file name, up to and including its last separator; empty when it has none.
QString FolderPart(const QString& fileName);
