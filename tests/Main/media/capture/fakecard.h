#pragma once

// A capture card's kernel-streaming controls for tests: answers the HDMI InfoFrame properties from a
// scripted 32-byte record, and records every property it is asked to set, byte for byte. Also offers the
// topology and the node property of the GC553 with a scripted node list.

#include <capture/interfaces.h>

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace fakecard {

struct SetRequest {
    GUID set;
    uint32_t id;
    std::vector<uint8_t> instance;
    std::vector<uint8_t> data;
};

struct KsRequest {
    std::vector<uint8_t> property; // the whole request (KSP_NODE)
    std::vector<uint8_t> data;
};

class Card final : public IKsPropertySet, public IKsControl, public IKsTopologyInfo {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IKsPropertySet)
            *object = static_cast<IKsPropertySet*>(this);
        else if (iid == IID_IKsControl)
            *object = static_cast<IKsControl*>(this);
        else if (iid == IID_IKsTopologyInfo)
            *object = static_cast<IKsTopologyInfo*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        const ULONG refs = --m_refs;
        if (!refs)
            delete this;
        return refs;
    }

    void setInfoFrame(const std::array<uint8_t, 32>& record)
    {
        std::lock_guard lock(m_mutex);
        m_infoFrame = record;
    }
    std::vector<SetRequest> sets()
    {
        std::lock_guard lock(m_mutex);
        return m_sets;
    }
    std::vector<KsRequest> ksRequests()
    {
        std::lock_guard lock(m_mutex);
        return m_ksRequests;
    }

    bool acceptSets = true;
    std::vector<GUID> nodeTypes;
    ULONG nodeAnswerBytes = 20;

    HRESULT Set(REFGUID set, uint32_t id, void* instance, uint32_t instanceSize, void* data,
        uint32_t dataSize) override
    {
        std::lock_guard lock(m_mutex);
        auto* i = static_cast<uint8_t*>(instance);
        auto* d = static_cast<uint8_t*>(data);
        m_sets.push_back({ set, id, std::vector<uint8_t>(i, i + (i ? instanceSize : 0)),
            std::vector<uint8_t>(d, d + (d ? dataSize : 0)) });
        return acceptSets ? S_OK : E_PROP_SET_UNSUPPORTED;
    }
    HRESULT Get(
        REFGUID, uint32_t id, void*, uint32_t, void* data, uint32_t dataSize, uint32_t* returned) override
    {
        std::lock_guard lock(m_mutex);
        if ((id != 720 && id != 721) || dataSize < 16)
            return E_PROP_ID_UNSUPPORTED;
        std::memcpy(data, m_infoFrame.data() + (id == 721 ? 16 : 0), 16);
        if (returned)
            *returned = 16;
        return S_OK;
    }
    HRESULT QuerySupported(REFGUID, uint32_t, uint32_t*) override { return E_NOTIMPL; }

    HRESULT KsProperty(
        KSPROPERTY* property, ULONG propertyLength, void* data, ULONG dataLength, ULONG* returned) override
    {
        std::lock_guard lock(m_mutex);
        auto* p = reinterpret_cast<uint8_t*>(property);
        auto* d = static_cast<uint8_t*>(data);
        m_ksRequests.push_back(
            { std::vector<uint8_t>(p, p + propertyLength), std::vector<uint8_t>(d, d + dataLength) });
        if (returned)
            *returned = property->Flags & KSPROPERTY_TYPE_GET ? nodeAnswerBytes : 0;
        return S_OK;
    }

    HRESULT get_NumNodes(uint32_t* count) override
    {
        *count = static_cast<uint32_t>(nodeTypes.size());
        return S_OK;
    }
    HRESULT get_NodeType(uint32_t index, GUID* type) override
    {
        if (index >= nodeTypes.size())
            return E_INVALIDARG;
        *type = nodeTypes[index];
        return S_OK;
    }

private:
    ~Card() = default;

    std::atomic<ULONG> m_refs { 0 };
    std::mutex m_mutex;
    std::array<uint8_t, 32> m_infoFrame {};
    std::vector<SetRequest> m_sets;
    std::vector<KsRequest> m_ksRequests;
};

// A Dynamic Range and Mastering InfoFrame with the EOTF given, and a correct checksum.
inline std::array<uint8_t, 32> drmInfoFrame(uint8_t eotf, uint8_t length = 26)
{
    std::array<uint8_t, 32> record {};
    record[0] = 0x87;
    record[1] = 0x01;
    record[2] = length;
    record[4] = eotf;
    uint8_t sum = 0;
    for (size_t i = 0; i < size_t(length) + 4 && i < record.size(); ++i)
        sum = static_cast<uint8_t>(sum + record[i]);
    record[3] = static_cast<uint8_t>(0x100 - sum);
    return record;
}

} // namespace fakecard
