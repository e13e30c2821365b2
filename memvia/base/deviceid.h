#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// How the login and version requests identify this computer. Each value is computed on its first use in
// the process and then kept; the first use may come from any thread.

// The hardware address of the first valid interface that is neither loopback nor all zero; "unknown"
// without one.
std::string getMacAddress();
// The local host name.
std::string getDeviceName();
// The application-info "global_machineid" when set, else the MD5 digest (32 lower-case hex digits) of the
// volume serial of "/" and the processor's signature laid out by `machineText`.
std::string getMachineCode();

namespace deviceid {

struct InterfaceInfo {
    bool valid = false;
    bool loopback = false;
    std::string hardwareAddress;
};

std::string pickMacAddress(const std::vector<InterfaceInfo>& interfaces);
// "%08X" of the volume serial (nothing without one), "@_@", then "%08X%08X" of EDX and EAX of CPUID leaf 1.
std::string machineText(std::optional<uint32_t> volumeSerial, uint32_t edx, uint32_t eax);
// The machine code as `getMachineCode` computes it, without keeping it.
std::string computeMachineCode();

} // namespace deviceid
