#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

#include <functional>

// One network interface as the address selection sees it.
struct NetworkInterfaceEntry {
    QString hardwareAddress; // "00:50:56:C0:00:01" form
    bool up = false;
    bool running = false;
    QList<QHostAddress> addresses; // in the order the platform reports them
};
using NetworkInterfaceList = QList<NetworkInterfaceEntry>;

// The base address of the local streaming service on a host: "http://<host>:8070".
QString makeServerUrl(const QString& host);

// The first usable local IPv4 address in dotted form, or empty when there is none. A found address is
// kept for the rest of the process; an empty result is not, so a later call searches again.
// Safe to call from any thread.
QString localIpAddress();

// The selection rule behind localIpAddress(), without cache: drops the two virtual-machine host adapters,
// then takes the first address of an interface that is up and running which is IPv4, not 0.0.0.0, not
// loopback and not link-local (169.254.1.0 - 169.254.254.255).
QString selectLocalIpv4(NetworkInterfaceList interfaces);

// Test seam: replaces the system's interface list (an empty function restores it) and forgets the cached
// address.
void setNetworkInterfaceSource(std::function<NetworkInterfaceList()> source);
