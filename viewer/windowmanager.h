#pragma once
// The window manager's side of a window that changes its border and state by leaving the screen
// and coming back (the viewer's full-screen view), on X11. Qt leaves two things of the window
// manager's protocol to us there:
// - the window is to come back only once the window manager has let it go (withdrawn it); else
//   the manager, still handling its leaving, may take the new map for the old window and keep
//   the old frame or state;
// - the manager's state hints (_NET_WM_STATE: maximised and the like) stay on a window that
//   left the screen, and Qt, showing it again, only adds the hints of the state it has now: a
//   window once maximised would come back maximised whatever its state says.
// And Qt's idea of the frame around a window lags behind just after the window was mapped anew,
// so the frame and the outer bounds go by what the window manager reports.
// On other platforms and without a window manager every one of these does nothing (or reports
// nothing) and Qt's own handling stands.
#include <QMargins>
#include <QRect>
#include <optional>

class QWidget;

// Hides the window and waits (a second at most) until the window manager has let it go.
void HideAndWaitUntilWithdrawn(QWidget& window);

// Drops the window manager's state hints of a hidden window, before it is shown again in a
// state that is not maximised.
void ForgetWindowManagerState(QWidget& window);

// The frame the window manager has put around the window (_NET_FRAME_EXTENTS); none when no
// window manager reports one.
std::optional<QMargins> FrameExtents(const QWidget& window);

// Asks the window manager for the outer bounds (frame included) of a window on the screen,
// directly, so that no stale idea of the frame comes between. False where that cannot be done.
bool RequestOuterBounds(QWidget& window, const QRect& outer, const QMargins& frame);
