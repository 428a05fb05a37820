#pragma once
// The machine's memory as the system-information window shows it: the total physical memory
// and how much of it is in use.
#include <QByteArray>
#include <cstdint>
#include <optional>

namespace platform {

struct MemoryStatus {
    std::uint64_t totalBytes = 0;  // physical memory
    int loadPercent = 0;           // share of it in use, 0..100
};

// On Linux from /proc/meminfo: MemTotal, and the load as the share of MemTotal that is not
// MemAvailable. Zero and 0 % when the file cannot be read.
MemoryStatus CurrentMemoryStatus();

// Replaces the answer of CurrentMemoryStatus (tests); nullopt restores the real one.
void SetMemoryStatus(const std::optional<MemoryStatus>& status);

// Reads the text of /proc/meminfo ("MemTotal:  16384000 kB" lines). Lines that do not parse are
// skipped; without MemAvailable the load is taken from MemFree; a load is held to 0..100.
MemoryStatus ParseMemInfo(const QByteArray& text);

}  // namespace platform
