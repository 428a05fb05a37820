#pragma once
// The operating system's own account of its version.
#include <QString>
#include <optional>

namespace platform {

struct OsVersion {
    // The platform identifier of the Windows family (0..5); -1 on a system that reports none.
    int platformId = -1;
    // The system's name for itself when it reports no identifier ("Linux").
    QString platformName;
    unsigned major = 0;
    unsigned minor = 0;
    unsigned build = 0;
};

// On Linux: platform name "Linux", and the kernel release from uname split as
// major.minor.patch ("6.1.0-18-amd64" gives 6, 1, build 0).
OsVersion CurrentOsVersion();

// Replaces the answer of CurrentOsVersion (tests); nullopt restores the real one.
void SetOsVersion(const std::optional<OsVersion>& version);

// Splits a release text "major.minor.patch..." (anything after the digits of a part is ignored,
// a missing part is 0).
OsVersion ParseKernelRelease(const QString& release);

}  // namespace platform
