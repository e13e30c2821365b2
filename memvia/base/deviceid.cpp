#include "base/deviceid.h"

#include "base/base.h"
#include "base/memviamodule.h"

#include <bridge/app.h>

#include <QHostInfo>
#include <QNetworkInterface>

#include <cstdio>
#include <sys/statvfs.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace deviceid {

namespace {

    // The file-system id of the root volume, the nearest thing to a system drive's serial number.
    std::optional<uint32_t> rootVolumeSerial()
    {
        struct statvfs info = {};
        if (::statvfs("/", &info) != 0)
            return std::nullopt;
        return static_cast<uint32_t>(info.f_fsid & 0xffffffffu);
    }

    void processorSignature(uint32_t& edx, uint32_t& eax)
    {
        edx = 0;
        eax = 0;
#if defined(__x86_64__) || defined(__i386__)
        unsigned int a = 0, b = 0, c = 0, d = 0;
        if (__get_cpuid_count(1, 0, &a, &b, &c, &d)) {
            edx = d;
            eax = a;
        }
#endif
    }

    bool allZero(const std::string& address)
    {
        for (char c : address) {
            if (c != '0' && c != ':' && c != '-')
                return false;
        }
        return true;
    }

} // namespace

std::string pickMacAddress(const std::vector<InterfaceInfo>& interfaces)
{
    for (const InterfaceInfo& entry : interfaces) {
        if (entry.valid && !entry.loopback && !entry.hardwareAddress.empty()
            && !allZero(entry.hardwareAddress))
            return entry.hardwareAddress;
    }
    return "unknown";
}

std::string machineText(std::optional<uint32_t> volumeSerial, uint32_t edx, uint32_t eax)
{
    char volume[16] = "";
    if (volumeSerial)
        std::snprintf(volume, sizeof volume, "%08X", *volumeSerial);
    char processor[32];
    std::snprintf(processor, sizeof processor, "%08X%08X", edx, eax);
    return std::string(volume) + "@_@" + processor;
}

std::string computeMachineCode()
{
    bg::Interface* component = memvia::module();
    if (component && component->app) {
        const std::string configured
            = component->app->get_property("global_machineid", bg::Value(""), false).toStdString();
        if (!configured.empty())
            return configured;
    }
    uint32_t edx = 0;
    uint32_t eax = 0;
    processorSignature(edx, eax);
    return Base::md5(machineText(rootVolumeSerial(), edx, eax));
}

} // namespace deviceid

std::string getMacAddress()
{
    static const std::string address = [] {
        std::vector<deviceid::InterfaceInfo> interfaces;
        for (const QNetworkInterface& entry : QNetworkInterface::allInterfaces()) {
            interfaces.push_back({ entry.isValid(), entry.flags().testFlag(QNetworkInterface::IsLoopBack),
                entry.hardwareAddress().toStdString() });
        }
        return deviceid::pickMacAddress(interfaces);
    }();
    return address;
}

std::string getDeviceName()
{
    static const std::string name = QHostInfo::localHostName().toStdString();
    return name;
}

std::string getMachineCode()
{
    static const std::string code = deviceid::computeMachineCode();
    return code;
}
