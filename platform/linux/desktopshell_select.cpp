// Which desktop-shell backend the program uses, chosen on first use.
#include "platform/desktopshell.h"

#include <QGuiApplication>

namespace platform {
namespace {

class NoDesktopShell final : public DesktopShell {
public:
    void blockSystemKeys(bool) override {}
    void showTaskbar(bool) override {}
    void enableTaskbar(bool) override {}
    void enableStartButton(bool) override {}
    void showDesktopIcons(bool) override {}
    void showTrayToolbar(bool) override {}
};

std::unique_ptr<DesktopShell>& Backend()
{
    static std::unique_ptr<DesktopShell> backend;
    return backend;
}

}  // namespace

std::unique_ptr<DesktopShell> CreateNoDesktopShell() { return std::make_unique<NoDesktopShell>(); }

DesktopShell& desktopShell()
{
    if (!Backend()) {
        // The X11 backend only where the program's own windows are on an X server: under
        // Wayland (even with Xwayland at hand) the shell's windows are out of any client's reach.
        if (QGuiApplication::platformName() == QLatin1String("xcb"))
            Backend() = CreateX11DesktopShell();
        if (!Backend())
            Backend() = CreateNoDesktopShell();
    }
    return *Backend();
}

void SetDesktopShell(std::unique_ptr<DesktopShell> backend) { Backend() = std::move(backend); }

}  // namespace platform
