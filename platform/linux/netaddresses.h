#pragma once
// The network interfaces' IPv4 addresses as the Linux registry backend reports them, from the
// list getifaddrs gives (a separate step so that a test can hand it a list of its own).
#include <QHash>
#include <QSet>
#include <QString>

struct ifaddrs;

namespace platform {

struct InterfaceAddresses {
    QHash<QString, QString> firstIPv4;  // interface name -> its first IPv4 address in the list
    QSet<QString> loopback;             // names of the loopback interfaces
};

InterfaceAddresses ReadInterfaceAddresses(const ifaddrs* list);

}  // namespace platform
