#include "platform/osversion.h"

#include <QStringList>

#include <sys/utsname.h>

namespace platform {
namespace {

std::optional<OsVersion>& Override()
{
    static std::optional<OsVersion> version;
    return version;
}

unsigned LeadingNumber(const QString& text)
{
    unsigned value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        value = value * 10 + static_cast<unsigned>(c.unicode() - '0');
    }
    return value;
}

}  // namespace

OsVersion ParseKernelRelease(const QString& release)
{
    OsVersion v;
    v.platformName = QStringLiteral("Linux");
    const QStringList parts = release.split(QLatin1Char('.'));
    unsigned* fields[] = {&v.major, &v.minor, &v.build};
    for (int i = 0; i < 3 && i < parts.size(); ++i) {
        *fields[i] = LeadingNumber(parts.at(i));
        // "6.1-rc3.x": what follows the digits of a part ends the numbers.
        if (QString::number(*fields[i]) != parts.at(i))
            break;
    }
    return v;
}

OsVersion CurrentOsVersion()
{
    if (Override())
        return *Override();
    utsname u{};
    if (::uname(&u) != 0)
        return ParseKernelRelease(QString());
    return ParseKernelRelease(QString::fromLatin1(u.release));
}

void SetOsVersion(const std::optional<OsVersion>& version) { Override() = version; }

}  // namespace platform
