#pragma once
// A desktop shell for tests: records every operation as "name(0|1)" and touches no window.
#include "platform/desktopshell.h"

#include <QStringList>

namespace platform {

class FakeDesktopShell : public DesktopShell {
public:
    void blockSystemKeys(bool on) override { record("blockSystemKeys", on); }
    void showTaskbar(bool show) override { record("showTaskbar", show); }
    void enableTaskbar(bool enable) override { record("enableTaskbar", enable); }
    void enableStartButton(bool enable) override { record("enableStartButton", enable); }
    void showDesktopIcons(bool show) override { record("showDesktopIcons", show); }
    void showTrayToolbar(bool show) override { record("showTrayToolbar", show); }

    QStringList calls;

private:
    void record(const char* name, bool value)
    {
        calls << QString::fromLatin1(name) + (value ? QStringLiteral("(1)") : QStringLiteral("(0)"));
    }
};

// Installs a FakeDesktopShell for its lifetime, then leaves the choice to the next use again.
class ScopedFakeDesktopShell {
public:
    ScopedFakeDesktopShell();
    ~ScopedFakeDesktopShell();
    ScopedFakeDesktopShell(const ScopedFakeDesktopShell&) = delete;
    ScopedFakeDesktopShell& operator=(const ScopedFakeDesktopShell&) = delete;

    FakeDesktopShell* operator->() const { return m_fake; }

private:
    FakeDesktopShell* m_fake;
};

}  // namespace platform
