#include "platform/fake/shell_fake.h"

namespace platform {

ScopedFakeShell::ScopedFakeShell()
{
    auto fake = std::make_unique<FakeShell>();
    m_fake = fake.get();
    SetShell(std::move(fake));
}

ScopedFakeShell::~ScopedFakeShell() { SetShell(nullptr); }

}  // namespace platform
