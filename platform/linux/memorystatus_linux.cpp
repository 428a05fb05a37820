#include "platform/memorystatus.h"

#include <QFile>
#include <QList>
#include <algorithm>

namespace platform {
namespace {

std::optional<MemoryStatus>& Override()
{
    static std::optional<MemoryStatus> status;
    return status;
}

// The value in kB of a line "Name:   1234 kB"; nullopt when the line is not that field.
std::optional<std::uint64_t> FieldKb(const QByteArray& line, const char* name)
{
    const QByteArray prefix = QByteArray(name) + ':';
    if (!line.startsWith(prefix))
        return std::nullopt;
    QByteArray value = line.mid(prefix.size()).trimmed();
    if (value.endsWith(" kB"))
        value.chop(3);
    bool ok = false;
    const qulonglong kb = value.trimmed().toULongLong(&ok);
    if (!ok)
        return std::nullopt;
    return kb;
}

}  // namespace

MemoryStatus ParseMemInfo(const QByteArray& text)
{
    std::optional<std::uint64_t> total, available, free;
    for (const QByteArray& line : text.split('\n')) {
        if (auto v = FieldKb(line, "MemTotal"))
            total = v;
        else if (auto a = FieldKb(line, "MemAvailable"))
            available = a;
        else if (auto f = FieldKb(line, "MemFree"))
            free = f;
    }
    MemoryStatus status;
    if (!total || *total == 0 || *total > UINT64_MAX / 1024)
        return status;
    status.totalBytes = *total * 1024;
    const std::uint64_t unused = std::min(*total, available ? *available : free.value_or(0));
    status.loadPercent = int(double(*total - unused) * 100.0 / double(*total));
    return status;
}

MemoryStatus CurrentMemoryStatus()
{
    if (Override())
        return *Override();
    QFile file(QStringLiteral("/proc/meminfo"));
    // /proc files report no size: read until the end.
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return ParseMemInfo(file.readAll());
}

void SetMemoryStatus(const std::optional<MemoryStatus>& status) { Override() = status; }

}  // namespace platform
