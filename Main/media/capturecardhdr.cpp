#include "media/capturecardhdr.h"

#include "media/capture/capturelog.h"
#include "media/egavhid.h"

#include <array>
#include <cstring>

namespace {

constexpr GUID kAVerMediaSet { 0x8A80D56F, 0xFAC5, 0x4692,
    { 0xA4, 0x16, 0xCF, 0x20, 0xD4, 0xA1, 0x8F, 0x47 } };
constexpr uint32_t kAVerMediaTonemapper = 2;
constexpr GUID kGC553Set { 0xC835261B, 0xFF1C, 0x4C9A, { 0xB2, 0xF7, 0x93, 0xC9, 0x1F, 0xCF, 0xBE, 0x77 } };
constexpr uint32_t kGC553Tonemapper = 11;
constexpr GUID KSNODETYPE_DEV_SPECIFIC { 0x941C7AC0, 0xC559, 0x11D0,
    { 0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1 } };
constexpr GUID kCardSetTonemapper { 0xD1E5209F, 0x68FD, 0x4529,
    { 0xBE, 0xE0, 0x5E, 0x7A, 0x1F, 0x47, 0x92, 0x26 } };
constexpr GUID kCardSetInfoFrame { 0xD1E5209F, 0x68FD, 0x4529,
    { 0xBE, 0xE0, 0x5E, 0x7A, 0x1F, 0x47, 0x92, 0x24 } };
constexpr uint32_t kElgatoTonemapper = 722;
constexpr uint32_t kInfoFrameFirstHalf = 720;
constexpr uint32_t kInfoFrameSecondHalf = 721;

constexpr uint8_t kDynamicRangeInfoFrame = 7;
// The record is 32 bytes: 4 bytes of header and checksum, so at most 28 bytes of payload.
constexpr uint8_t kMaxInfoFramePayload = 28;

// The 4K60 Pro MK.2's switch.
HRESULT setTonemapperType1(const CardPropertySet& accessor, bool enable)
{
    if (accessor.type != 1)
        return E_FAIL;
    if (!accessor.properties)
        return E_POINTER;
    uint32_t value = enable ? 1 : 0;
    return accessor.properties->Set(accessor.set, kElgatoTonemapper, nullptr, 0, &value, sizeof value);
}

} // namespace

CardPropertySet ksPropertySetGuid(int type, IKsPropertySet* properties)
{
    CardPropertySet accessor;
    accessor.type = type;
    accessor.set = type == 1 ? kCardSetTonemapper : type == 2 ? kCardSetInfoFrame : GUID_NULL;
    accessor.properties = properties;
    return accessor;
}

HRESULT readHdmiInfoFrame(const CardPropertySet& accessor, bool& hdr)
{
    hdr = false;
    if (!accessor.properties)
        return E_POINTER;
    std::array<uint8_t, 32> record {};
    uint32_t returned = 0;
    HRESULT hr = accessor.properties->Get(
        accessor.set, kInfoFrameFirstHalf, nullptr, 0, record.data(), 16, &returned);
    if (FAILED(hr))
        return hr;
    hr = accessor.properties->Get(
        accessor.set, kInfoFrameSecondHalf, nullptr, 0, record.data() + 16, 16, &returned);
    if (FAILED(hr))
        return hr;

    const uint8_t length = record[2];
    if (length > kMaxInfoFramePayload)
        return E_FAIL;
    uint8_t sum = 0;
    for (size_t i = 0; i < size_t(length) + 4; ++i)
        sum = static_cast<uint8_t>(sum + record[i]);
    if (sum != 0)
        return E_FAIL;

    const uint8_t type = record[0] & 0x7F;
    if (type == kDynamicRangeInfoFrame) {
        hdr = (record[4] & 7) != 0;
        return S_OK;
    }
    if (type == 0) {
        for (uint8_t byte : record) {
            if (byte)
                return E_FAIL;
        }
        return S_OK;
    }
    return E_FAIL;
}

bool isHdrSignal(IKsPropertySet* properties)
{
    bool hdr = false;
    return SUCCEEDED(readHdmiInfoFrame(ksPropertySetGuid(2, properties), hdr)) && hdr;
}

void setTonemapperAVerMedia(IKsPropertySet* properties, bool enable)
{
    if (!properties)
        return;
    const uint32_t value = enable ? 1 : 0;
    uint32_t instance[2] = { value, 0 };
    uint8_t data[32] = {};
    std::memcpy(data + 24, &value, sizeof value);
    if (SUCCEEDED(properties->Set(
            kAVerMediaSet, kAVerMediaTonemapper, instance, sizeof instance, data, sizeof data)))
        DShow::Info(L"AVerMedia tonemapper enable=%lu", static_cast<unsigned long>(value));
}

bool setTonemapperAVerMediaGC553(IUnknown* filter, bool enable)
{
    if (!filter)
        return false;
    ComPtr<IKsControl> control;
    if (FAILED(filter->QueryInterface(IID_IKsControl, control.putVoid())) || !control)
        return false;

    ComPtr<IKsTopologyInfo> topology;
    uint32_t nodes = 0;
    if (FAILED(filter->QueryInterface(IID_IKsTopologyInfo, topology.putVoid()))
        || FAILED(topology->get_NumNodes(&nodes)))
        return false;
    bool found = false;
    uint32_t node = 0;
    for (uint32_t i = 0; i < nodes; ++i) {
        GUID type {};
        if (SUCCEEDED(topology->get_NodeType(i, &type)) && type == KSNODETYPE_DEV_SPECIFIC) {
            node = i;
            found = true;
        }
    }
    if (!found)
        return false;

    KSP_NODE request {};
    request.Property.Set = kGC553Set;
    request.Property.Id = kGC553Tonemapper;
    request.Property.Flags = KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_TOPOLOGY;
    request.NodeId = node;
    uint8_t buffer[20] = {};
    ULONG returned = 0;
    if (FAILED(control->KsProperty(&request.Property, sizeof request, buffer, sizeof buffer, &returned))
        || returned < 18)
        return false;

    buffer[17] = enable ? 1 : 0;
    buffer[15] = 2;
    request.Property.Flags = KSPROPERTY_TYPE_SET | KSPROPERTY_TYPE_TOPOLOGY;
    const bool result
        = SUCCEEDED(control->KsProperty(&request.Property, sizeof request, buffer, sizeof buffer, &returned));
    if (result)
        DShow::Info(L"AVerMedia GC553 tonemapper enable=%d", enable ? 1 : 0);
    return result;
}

void setTonemapperElgato(IKsPropertySet* properties, bool enable)
{
    if (SUCCEEDED(setTonemapperType1(ksPropertySetGuid(1, properties), enable))) {
        DShow::Info(L"Elgato GC4K60ProMK2 tonemapper enable=%d", enable ? 1 : 0);
        return;
    }
    std::shared_ptr<EGAVHIDInterface> hid = makeEGAVHID();
    if (hid->open(EGAVDeviceID { kHD60SPlusVendorId, kHD60SPlusProductId }).succeeded()) {
        auto channel = std::make_shared<HidCommandChannel>(hid);
        const EGAVResult written = channel->sendHdrSwitchCommand(enable);
        if (written.succeeded())
            DShow::Info(L"Elgato HD60SPlus tonemapper enable=%d", enable ? 1 : 0);
        else
            DShow::Warning(
                L"Elgato HD60SPlus tonemapper enable=%d failed (%d)", enable ? 1 : 0, written.code);
    }
}

void setCardTonemapper(IBaseFilter* filter, bool enable)
{
    if (!filter)
        return;
    ComPtr<IKsPropertySet> properties;
    if (FAILED(filter->QueryInterface(IID_IKsPropertySet, properties.putVoid())) || !properties)
        return;
    setTonemapperAVerMedia(properties, enable);
    setTonemapperAVerMediaGC553(filter, enable);
    setTonemapperElgato(properties, enable);
}
