#pragma once
// The desktop shell's own windows (the panel or taskbar, the desktop, the tray) as the lockdown
// switches of the system-information window act on them. Every operation acts at once, reports
// nothing and is undone only by its opposite; nothing is remembered by the program.
#include <QByteArray>
#include <memory>

namespace platform {

class DesktopShell {
public:
    virtual ~DesktopShell() = default;
    // Blocks the system's own key combinations (on) or lets them through again (off).
    virtual void blockSystemKeys(bool on) = 0;
    // Shows (without activating it) or hides the taskbar.
    virtual void showTaskbar(bool show) = 0;
    // Lets the taskbar take input, or not.
    virtual void enableTaskbar(bool enable) = 0;
    // Lets the start button take input, or not.
    virtual void enableStartButton(bool enable) = 0;
    // Shows or hides the desktop with its icons.
    virtual void showDesktopIcons(bool show) = 0;
    // Shows or hides the tray's toolbar.
    virtual void showTrayToolbar(bool show) = 0;
};

// The backend in use: on first use the X11 one when the program's windows are on an X server,
// else one that does nothing (Wayland and other platforms have no shell windows a program may
// hide).
DesktopShell& desktopShell();
// Installs a backend (tests); null goes back to choosing on first use.
void SetDesktopShell(std::unique_ptr<DesktopShell> backend);

// A backend whose every operation does nothing.
std::unique_ptr<DesktopShell> CreateNoDesktopShell();

// The X11 backend on its own connection to the display (empty name: $DISPLAY); null when the
// display cannot be opened. On X11 (EWMH):
//   - taskbar: every top-level window of type _NET_WM_WINDOW_TYPE_DOCK;
//   - desktop icons: every top-level window of type _NET_WM_WINDOW_TYPE_DESKTOP;
//   - tray toolbar: the window owning the system-tray selection _NET_SYSTEM_TRAY_S<screen>.
// Hiding unmaps such a window and marks it; showing maps again only the windows this mark
// names (a window its own program withdrew stays as it is), without giving them the focus.
// The mark is a property on the window, so a later run of the program can show again what an
// earlier one hid. System keys, taskbar input and the start button have no X11 counterpart:
// those operations do nothing.
std::unique_ptr<DesktopShell> CreateX11DesktopShell(const QByteArray& displayName = {});

}  // namespace platform
