#pragma once
// A desktop shell for tests: records every request and starts nothing.
#include "platform/shell.h"

#include <QList>

namespace platform {

class FakeShell : public Shell {
public:
    void open(const ShellRequest& request) override { m_requests.append(request); }
    const QList<ShellRequest>& requests() const { return m_requests; }

private:
    QList<ShellRequest> m_requests;
};

// Installs a FakeShell for its lifetime, then puts the Linux backend back.
class ScopedFakeShell {
public:
    ScopedFakeShell();
    ~ScopedFakeShell();
    ScopedFakeShell(const ScopedFakeShell&) = delete;
    ScopedFakeShell& operator=(const ScopedFakeShell&) = delete;

    FakeShell& operator*() const { return *m_fake; }
    FakeShell* operator->() const { return m_fake; }

private:
    FakeShell* m_fake;
};

}  // namespace platform
