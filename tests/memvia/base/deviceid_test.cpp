#include "base/deviceid.h"

#include "memvia/memvia_fixture.h"

#include <openssl/evp.h>

#include <cpuid.h>
#include <regex>
#include <sys/statvfs.h>

namespace {

std::string opensslMd5(const std::string& text)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(text.data(), text.size(), digest, &size, EVP_md5(), nullptr);
    std::string hex;
    char pair[3];
    for (unsigned int i = 0; i < size; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

bool isDigest(const std::string& text) { return std::regex_match(text, std::regex("[0-9a-f]{32}")); }

class DeviceIdentity : public ::testing::Test {
protected:
    void TearDown() override { component.app->erase_property("global_machineid"); }
    MemviaComponent component;
};

} // namespace

TEST_F(DeviceIdentity, ConfiguredMachineIdIsUsedVerbatim)
{
    component.app->set_property("global_machineid", bg::Value("Machine ID, not hashed"), false);
    EXPECT_EQ(deviceid::computeMachineCode(), "Machine ID, not hashed");
}

TEST_F(DeviceIdentity, MachineCodeIsTheDigestOfVolumeAndProcessor)
{
    EXPECT_EQ(deviceid::machineText(0x1234abcdu, 0xbfebfbffu, 0x000906eau), "1234ABCD@_@BFEBFBFF000906EA");
    EXPECT_EQ(deviceid::machineText(std::nullopt, 0, 1), "@_@0000000000000001");

    // The same inputs read here, digested by OpenSSL.
    struct statvfs info = {};
    ASSERT_EQ(::statvfs("/", &info), 0);
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    ASSERT_TRUE(__get_cpuid_count(1, 0, &eax, &ebx, &ecx, &edx));
    const std::string text
        = deviceid::machineText(static_cast<uint32_t>(info.f_fsid & 0xffffffffu), edx, eax);
    EXPECT_TRUE(std::regex_match(text, std::regex("[0-9A-F]{8}@_@[0-9A-F]{16}"))) << text;
    EXPECT_EQ(deviceid::computeMachineCode(), opensslMd5(text));

    const std::string code = getMachineCode();
    EXPECT_TRUE(isDigest(code)) << code;
    EXPECT_EQ(getMachineCode(), code);
}

TEST_F(DeviceIdentity, MacAddressSkipsLoopbackInvalidAndZero)
{
    using deviceid::InterfaceInfo;
    EXPECT_EQ(deviceid::pickMacAddress({}), "unknown");
    EXPECT_EQ(
        deviceid::pickMacAddress({ { true, true, "00:00:00:00:00:00" }, { false, false, "AA:BB:CC:DD:EE:01" },
            { true, false, "" }, { true, false, "00:00:00:00:00:00" }, { true, false, "AA:BB:CC:DD:EE:02" },
            { true, false, "AA:BB:CC:DD:EE:03" } }),
        "AA:BB:CC:DD:EE:02");
    EXPECT_EQ(deviceid::pickMacAddress({ { true, true, "00:00:00:00:00:00" } }), "unknown");

    const std::string address = getMacAddress();
    EXPECT_FALSE(address.empty());
    EXPECT_NE(address, "00:00:00:00:00:00");
    EXPECT_EQ(getMacAddress(), address);
    EXPECT_FALSE(getDeviceName().empty());
}
