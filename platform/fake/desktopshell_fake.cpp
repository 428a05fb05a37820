#include "platform/fake/desktopshell_fake.h"

namespace platform {

ScopedFakeDesktopShell::ScopedFakeDesktopShell()
{
    auto fake = std::make_unique<FakeDesktopShell>();
    m_fake = fake.get();
    SetDesktopShell(std::move(fake));
}

ScopedFakeDesktopShell::~ScopedFakeDesktopShell() { SetDesktopShell(nullptr); }

}  // namespace platform
