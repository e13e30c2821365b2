#include <global/localaddress.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

NetworkInterfaceEntry nic(
    const char* mac, std::initializer_list<const char*> addresses, bool up = true, bool running = true)
{
    NetworkInterfaceEntry entry;
    entry.hardwareAddress = QString::fromLatin1(mac);
    entry.up = up;
    entry.running = running;
    for (const char* a : addresses)
        entry.addresses.append(QHostAddress(QString::fromLatin1(a)));
    return entry;
}

struct SelectionCase {
    const char* name;
    NetworkInterfaceList interfaces;
    const char* expected;
};

TEST(LocalAddress, SelectionRule)
{
    const SelectionCase cases[] = {
        { "nothing", {}, "" },
        { "first qualifying wins",
            { nic("AA:00:00:00:00:01", { "10.0.0.5", "10.0.0.6" }),
                nic("AA:00:00:00:00:02", { "192.168.1.9" }) },
            "10.0.0.5" },
        { "loopback and link-local skipped",
            { nic("00:00:00:00:00:00", { "127.0.0.1" }),
                nic("AA:00:00:00:00:01", { "169.254.1.0", "169.254.254.255" }) },
            "" },
        { "link-local range edges", { nic("AA:00:00:00:00:01", { "169.254.0.7", "192.168.0.2" }) },
            "169.254.0.7" },
        { "IPv6 and 0.0.0.0 skipped",
            { nic("AA:00:00:00:00:01", { "fe80::1", "2001:db8::1", "0.0.0.0", "172.16.0.3" }) },
            "172.16.0.3" },
        { "down or not running skipped",
            { nic("AA:00:00:00:00:01", { "10.1.1.1" }, false, true),
                nic("AA:00:00:00:00:02", { "10.2.2.2" }, true, false),
                nic("AA:00:00:00:00:03", { "10.3.3.3" }) },
            "10.3.3.3" },
        { "virtual host adapters dropped",
            { nic("00:50:56:C0:00:01", { "192.168.56.1" }), nic("00:50:56:c0:00:08", { "192.168.57.1" }),
                nic("AA:00:00:00:00:01", { "10.0.0.8" }) },
            "10.0.0.8" },
        { "only the first adapter of each kind is dropped",
            { nic("00:50:56:C0:00:01", { "192.168.56.1" }), nic("00:50:56:C0:00:01", { "192.168.56.2" }) },
            "192.168.56.2" },
    };
    for (const SelectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(selectLocalIpv4(c.interfaces).toStdString(), c.expected);
    }
}

TEST(LocalAddress, ServerUrl) { EXPECT_EQ(makeServerUrl("10.0.0.5"), QString("http://10.0.0.5:8070")); }

TEST(LocalAddress, EmptyResultIsNotCachedAFoundOneIs)
{
    NetworkInterfaceList current = { nic("AA:00:00:00:00:01", { "127.0.0.1", "169.254.10.20" }) };
    setNetworkInterfaceSource([&] { return current; });

    EXPECT_EQ(localIpAddress(), QString());
    current = { nic("AA:00:00:00:00:01", { "169.254.10.20", "192.168.1.20" }) }; // the DHCP lease arrived
    EXPECT_EQ(localIpAddress(), QString("192.168.1.20"));
    current = { nic("AA:00:00:00:00:01", { "10.9.9.9" }) };
    EXPECT_EQ(localIpAddress(), QString("192.168.1.20"));

    setNetworkInterfaceSource({});
}

TEST(LocalAddress, TwoThreadsSeeTheWholeAddress)
{
    std::atomic<int> listings { 0 };
    setNetworkInterfaceSource([&] {
        ++listings;
        return NetworkInterfaceList { nic("AA:00:00:00:00:01", { "192.168.100.200" }) };
    });
    QString seen[2];
    std::thread a([&] {
        for (int i = 0; i < 200; ++i)
            seen[0] = localIpAddress();
    });
    std::thread b([&] {
        for (int i = 0; i < 200; ++i)
            seen[1] = localIpAddress();
    });
    a.join();
    b.join();
    EXPECT_EQ(seen[0], QString("192.168.100.200"));
    EXPECT_EQ(seen[1], QString("192.168.100.200"));
    EXPECT_LE(listings.load(), 2) << "the found address is cached";
    setNetworkInterfaceSource({});
}

} // namespace
