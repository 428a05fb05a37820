#pragma once
// What the benchmarks read of their own process: fields of /proc/self/status (VmRSS, VmHWM) and
// resetting the peak resident size between measurements.
#include <QByteArray>
#include <QFile>

// A field of /proc/self/status in kB, -1 when unreadable.
inline long StatusKb(const char* field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Sets the peak resident size back to the current one (Linux 4.0 and later); false when refused.
inline bool ResetPeak()
{
    QFile refs("/proc/self/clear_refs");
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}
