#pragma once

// The HID command channel of the Elgato HD60 S+: output reports carry commands, input reports answers.
// The device is reached through a HidBackend (hidapi's hidraw back-end by default; tests put in a fake).
// Report lengths come from the device's report descriptor. One channel is used from one thread at a time;
// HidCommandChannel serialises commands.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct EGAVResult {
    int code = -1;
    bool succeeded() const { return code > 0; }
};

// Result codes.
inline constexpr int kEGAVSuccess = 1;
inline constexpr int kEGAVNotDone = -1;
inline constexpr int kEGAVNoData = -2;
inline constexpr int kEGAVNoCapabilities = -7;
inline constexpr int kEGAVTooLong = -8;
inline constexpr int kEGAVNotFound = -13;
inline constexpr int kEGAVCallFailed = -300;

inline constexpr uint16_t kHD60SPlusVendorId = 0x0FD9;
inline constexpr uint16_t kHD60SPlusProductId = 0x006A;

struct EGAVDeviceID {
    uint16_t vendorId;
    uint16_t productId;
};

// Report lengths in bytes, the report id byte included (0 when the device has no such report).
struct HidReportLengths {
    uint16_t input = 0;
    uint16_t output = 0;
};

// The lengths a report descriptor declares: the longest input and output report, plus the id byte.
HidReportLengths parseReportDescriptor(const std::vector<uint8_t>& descriptor);

class HidBackend {
public:
    virtual ~HidBackend() = default;
    // Paths of the HID interfaces with these ids.
    virtual std::vector<std::string> enumerate(uint16_t vendorId, uint16_t productId) = 0;
    virtual void* open(const std::string& path) = 0; // null on failure
    virtual void close(void* device) = 0;
    // Both return the byte count, or -1.
    virtual int write(void* device, const uint8_t* data, size_t length) = 0;
    virtual int getInputReport(void* device, uint8_t* data, size_t length) = 0;
    // Empty when it cannot be read.
    virtual std::vector<uint8_t> reportDescriptor(const std::string& path) = 0;
};

HidBackend& systemHidBackend();
// Null restores the system's.
void setHidBackend(HidBackend* backend);

class EGAVHIDInterface {
public:
    virtual ~EGAVHIDInterface() = default;
    virtual EGAVResult open(EGAVDeviceID id) = 0;
    virtual EGAVResult close() = 0;
    // The report read into `data`, which must be shorter than the input report.
    virtual EGAVResult getInputReport(std::vector<uint8_t>& data, uint8_t reportId, size_t length) = 0;
    virtual EGAVResult setOutputReport(const std::vector<uint8_t>& data, uint8_t reportId) = 0;
};

class EGAVHID : public EGAVHIDInterface {
public:
    explicit EGAVHID(HidBackend& backend);
    // Closes the device: no handle is left behind.
    ~EGAVHID() override;

    EGAVResult open(EGAVDeviceID id) override;
    EGAVResult close() override;
    EGAVResult getInputReport(std::vector<uint8_t>& data, uint8_t reportId, size_t length) override;
    EGAVResult setOutputReport(const std::vector<uint8_t>& data, uint8_t reportId) override;

private:
    HidBackend& m_backend;
    void* m_device = nullptr;
    HidReportLengths m_caps;
};

std::shared_ptr<EGAVHIDInterface> makeEGAVHID();

class HidCommandChannel {
public:
    explicit HidCommandChannel(std::shared_ptr<EGAVHIDInterface> hid);
    EGAVResult sendHdrSwitchCommand(bool enable);
    EGAVResult writeHidCommand(const std::vector<uint8_t>& command, const std::vector<uint8_t>& data);

private:
    std::shared_ptr<EGAVHIDInterface> m_hid;
    std::recursive_mutex m_mutex;
};
