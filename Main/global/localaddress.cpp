#include "localaddress.h"

#include <bridge/bg_log.h>

#include <QNetworkInterface>

#include <mutex>

namespace {

// Host-only adapters of a virtual-machine product; their addresses are never reachable from elsewhere.
const char* const virtualAdapters[] = { "00:50:56:C0:00:01", "00:50:56:C0:00:08" };

std::mutex cacheMutex;
QString cachedAddress;
std::function<NetworkInterfaceList()> interfaceSource;

NetworkInterfaceList systemInterfaces()
{
    NetworkInterfaceList list;
    for (const QNetworkInterface& nic : QNetworkInterface::allInterfaces()) {
        NetworkInterfaceEntry entry;
        entry.hardwareAddress = nic.hardwareAddress();
        entry.up = nic.flags().testFlag(QNetworkInterface::IsUp);
        entry.running = nic.flags().testFlag(QNetworkInterface::IsRunning);
        for (const QNetworkAddressEntry& address : nic.addressEntries())
            entry.addresses.append(address.ip());
        list.append(entry);
    }
    return list;
}

void dropFirstWithHardwareAddress(NetworkInterfaceList& interfaces, const QString& hardwareAddress)
{
    for (int i = 0; i < interfaces.size(); ++i) {
        if (interfaces[i].hardwareAddress.compare(hardwareAddress, Qt::CaseInsensitive) == 0) {
            interfaces.removeAt(i);
            return;
        }
    }
}

bool isUsableIpv4(const QHostAddress& address)
{
    if (address.isLoopback() || address.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    const quint32 ip = address.toIPv4Address();
    if (ip == 0)
        return false;
    const quint32 linkLocalFirst = (169u << 24) | (254u << 16) | (1u << 8);
    const quint32 linkLocalLast = (169u << 24) | (254u << 16) | (254u << 8) | 255u;
    return ip < linkLocalFirst || ip > linkLocalLast;
}

} // namespace

QString makeServerUrl(const QString& host) { return QStringLiteral("http://%1:8070").arg(host); }

QString selectLocalIpv4(NetworkInterfaceList interfaces)
{
    for (const char* adapter : virtualAdapters)
        dropFirstWithHardwareAddress(interfaces, QString::fromLatin1(adapter));
    for (const NetworkInterfaceEntry& nic : interfaces) {
        if (!nic.up || !nic.running)
            continue;
        for (const QHostAddress& address : nic.addresses) {
            if (isUsableIpv4(address))
                return address.toString();
        }
    }
    return QString();
}

QString localIpAddress()
{
    std::function<NetworkInterfaceList()> source;
    {
        std::lock_guard<std::mutex> lock(cacheMutex);
        if (!cachedAddress.isEmpty())
            return cachedAddress;
        source = interfaceSource;
    }
    // Searched without the lock: listing interfaces can take a while and two searches give one answer.
    const QString found = selectLocalIpv4(source ? source() : systemInterfaces());
    if (found.isEmpty())
        return found;
    {
        std::lock_guard<std::mutex> lock(cacheMutex);
        if (!cachedAddress.isEmpty())
            return cachedAddress;
        cachedAddress = found;
    }
    BG_LOGD("[Final_strIP]:%s", found.toUtf8().constData());
    return found;
}

void setNetworkInterfaceSource(std::function<NetworkInterfaceList()> source)
{
    std::lock_guard<std::mutex> lock(cacheMutex);
    interfaceSource = std::move(source);
    cachedAddress.clear();
}
