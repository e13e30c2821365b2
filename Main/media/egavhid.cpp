#include "media/egavhid.h"

#include <hidapi/hidapi.h>

#include <atomic>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <map>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr uint8_t kCommandReportId = 11;
const std::vector<uint8_t> kHdrSwitchCommand { 0x55, 0x0A };

class HidapiBackend final : public HidBackend {
public:
    std::vector<std::string> enumerate(uint16_t vendorId, uint16_t productId) override
    {
        std::vector<std::string> paths;
        if (hid_init() != 0)
            return paths;
        hid_device_info* devices = hid_enumerate(vendorId, productId);
        for (hid_device_info* d = devices; d; d = d->next) {
            if (d->path)
                paths.emplace_back(d->path);
        }
        hid_free_enumeration(devices);
        return paths;
    }
    void* open(const std::string& path) override { return hid_open_path(path.c_str()); }
    void close(void* device) override { hid_close(static_cast<hid_device*>(device)); }
    int write(void* device, const uint8_t* data, size_t length) override
    {
        return hid_write(static_cast<hid_device*>(device), data, length);
    }
    int getInputReport(void* device, uint8_t* data, size_t length) override
    {
        return hid_get_input_report(static_cast<hid_device*>(device), data, length);
    }
    // hidapi 0.13 cannot read a report descriptor; the hidraw node can.
    std::vector<uint8_t> reportDescriptor(const std::string& path) override
    {
        std::vector<uint8_t> descriptor;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return descriptor;
        int size = 0;
        hidraw_report_descriptor raw {};
        if (ioctl(fd, HIDIOCGRDESCSIZE, &size) == 0 && size > 0 && size <= HID_MAX_DESCRIPTOR_SIZE) {
            raw.size = static_cast<uint32_t>(size);
            if (ioctl(fd, HIDIOCGRDESC, &raw) == 0)
                descriptor.assign(raw.value, raw.value + size);
        }
        ::close(fd);
        return descriptor;
    }
};

std::atomic<HidBackend*> g_backend { nullptr };

HidBackend& currentBackend()
{
    HidBackend* backend = g_backend;
    return backend ? *backend : systemHidBackend();
}

} // namespace

HidReportLengths parseReportDescriptor(const std::vector<uint8_t>& descriptor)
{
    struct Globals {
        uint32_t reportSize = 0;
        uint32_t reportCount = 0;
        uint32_t reportId = 0;
    };
    Globals globals;
    std::vector<Globals> stack;
    std::map<uint32_t, uint64_t> inputBits, outputBits;
    bool usesIds = false;

    for (size_t i = 0; i < descriptor.size();) {
        const uint8_t prefix = descriptor[i];
        if (prefix == 0xFE) { // long item: data size, tag, data
            if (i + 1 >= descriptor.size())
                break;
            i += 3 + descriptor[i + 1];
            continue;
        }
        const size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (i + 1 + size > descriptor.size())
            break;
        uint32_t value = 0;
        for (size_t k = 0; k < size; ++k)
            value |= static_cast<uint32_t>(descriptor[i + 1 + k]) << (8 * k);
        const uint8_t type = (prefix >> 2) & 3;
        const uint8_t tag = prefix >> 4;
        if (type == 1) { // global
            if (tag == 7)
                globals.reportSize = value;
            else if (tag == 8) {
                globals.reportId = value;
                usesIds = true;
            } else if (tag == 9)
                globals.reportCount = value;
            else if (tag == 10)
                stack.push_back(globals);
            else if (tag == 11 && !stack.empty()) {
                globals = stack.back();
                stack.pop_back();
            }
        } else if (type == 0) { // main
            const uint64_t bits = static_cast<uint64_t>(globals.reportSize) * globals.reportCount;
            if (tag == 8)
                inputBits[globals.reportId] += bits;
            else if (tag == 9)
                outputBits[globals.reportId] += bits;
        }
        i += 1 + size;
    }
    (void)usesIds;

    auto longest = [](const std::map<uint32_t, uint64_t>& reports) -> uint16_t {
        uint64_t bytes = 0;
        for (const auto& [id, bits] : reports)
            bytes = std::max(bytes, (bits + 7) / 8);
        // The report id byte leads every report, as on the wire to a device with ids.
        return reports.empty() ? 0 : static_cast<uint16_t>(std::min<uint64_t>(bytes + 1, 0xFFFF));
    };
    return { longest(inputBits), longest(outputBits) };
}

HidBackend& systemHidBackend()
{
    static HidapiBackend backend;
    return backend;
}

void setHidBackend(HidBackend* backend) { g_backend = backend; }

EGAVHID::EGAVHID(HidBackend& backend)
    : m_backend(backend)
{
}

EGAVHID::~EGAVHID() { close(); }

EGAVResult EGAVHID::open(EGAVDeviceID id)
{
    for (const std::string& path : m_backend.enumerate(id.vendorId, id.productId)) {
        void* device = m_backend.open(path);
        if (!device)
            continue;
        close();
        m_device = device;
        m_caps = parseReportDescriptor(m_backend.reportDescriptor(path));
        return { kEGAVSuccess };
    }
    return { kEGAVNotFound };
}

EGAVResult EGAVHID::close()
{
    if (m_device) {
        m_backend.close(m_device);
        m_device = nullptr;
    }
    return { kEGAVSuccess };
}

EGAVResult EGAVHID::setOutputReport(const std::vector<uint8_t>& data, uint8_t reportId)
{
    if (!m_caps.output)
        return { kEGAVNoCapabilities };
    if (data.size() > size_t(m_caps.output) - 1)
        return { kEGAVTooLong };
    std::vector<uint8_t> report(m_caps.output, 0);
    report[0] = reportId;
    std::copy(data.begin(), data.end(), report.begin() + 1);
    if (!m_device || m_backend.write(m_device, report.data(), report.size()) < 0)
        return { kEGAVCallFailed };
    return { kEGAVSuccess };
}

EGAVResult EGAVHID::getInputReport(std::vector<uint8_t>& data, uint8_t reportId, size_t length)
{
    if (data.size() >= m_caps.input)
        return { kEGAVTooLong };
    std::vector<uint8_t> report(m_caps.input, 0);
    if (length > 0)
        report.resize(length);
    report[0] = reportId;
    if (!m_device || m_backend.getInputReport(m_device, report.data(), report.size()) < 0)
        return { kEGAVCallFailed };
    data = std::move(report);
    return { kEGAVSuccess };
}

std::shared_ptr<EGAVHIDInterface> makeEGAVHID() { return std::make_shared<EGAVHID>(currentBackend()); }

HidCommandChannel::HidCommandChannel(std::shared_ptr<EGAVHIDInterface> hid)
    : m_hid(std::move(hid))
{
}

EGAVResult HidCommandChannel::sendHdrSwitchCommand(bool enable)
{
    std::lock_guard lock(m_mutex);
    return writeHidCommand(kHdrSwitchCommand, { static_cast<uint8_t>(enable ? 1 : 0) });
}

EGAVResult HidCommandChannel::writeHidCommand(
    const std::vector<uint8_t>& command, const std::vector<uint8_t>& data)
{
    if (data.empty() || !m_hid)
        return { kEGAVNoData };
    std::lock_guard lock(m_mutex);
    std::vector<uint8_t> report = command;
    report.push_back(static_cast<uint8_t>(data.size()));
    report.insert(report.end(), data.begin(), data.end());
    return m_hid->setOutputReport(report, kCommandReportId);
}
