#pragma once
// Small helpers shared by the settings unit's own source files; not part of its interface.
#include "framework/kv_reg.h"
#include "platform/environment.h"

namespace kvreg {

// The path with a trailing '/' added when it has none; empty text stays empty.
inline QString WithSlash(QString path)
{
    if (!path.isEmpty() && !path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

// The program's full path: the one start-up fixed, else the running executable's.
inline QString ProgramPath()
{
    const QString& path = startupState().programPath;
    return path.isEmpty() ? platform::ProgramFilePath() : path;
}

// Remembers CurrentSection (optionally making another one current) and puts it back when it
// goes out of scope, also when the operation in between throws.
class SectionGuard {
public:
    SectionGuard() : m_saved(settingsState().CurrentSection) {}
    explicit SectionGuard(const QString& section) : SectionGuard() { settingsState().CurrentSection = section; }
    ~SectionGuard() { settingsState().CurrentSection = m_saved; }
    SectionGuard(const SectionGuard&) = delete;
    SectionGuard& operator=(const SectionGuard&) = delete;

private:
    QString m_saved;
};

}  // namespace kvreg
