#include "media/capture/separateaudio.h"

#include "media/capture/deviceenum.h"

#include <algorithm>
#include <cwctype>

namespace DShow {
namespace {

    constexpr const wchar_t* kUsbVendors[]
        = { L"0FD9", L"3842", L"0B05", L"07CA", L"048D", L"04B4", L"0557", L"1164", L"1532", L"1BCF", L"1E4E",
              L"1E71", L"2040", L"2935", L"298F", L"2B77", L"32ED", L"534D", L"EBA4" };
    constexpr const wchar_t* kPciVendors[] = { L"1CD7", L"8888", L"1461" };
    constexpr wchar_t kPciSubsystemVendor[] = L"1CFA";

    constexpr const wchar_t* kVideoWords[]
        = { L"(video) ", L"(video)", L"video ", L"video", L"hdmi", L" / multiview" };
    constexpr const wchar_t* kAudioWords[] = { L"(audio) ", L"(audio)", L"audio ", L"audio" };

    std::wstring toLower(std::wstring text)
    {
        for (wchar_t& c : text)
            c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
        return text;
    }

    void eraseAll(std::wstring& text, const wchar_t* word)
    {
        const std::wstring needle = word;
        for (size_t at = text.find(needle); at != std::wstring::npos; at = text.find(needle, at))
            text.erase(at, needle.size());
    }

    bool startsWith(const std::wstring& text, const std::wstring& prefix)
    {
        return text.compare(0, prefix.size(), prefix) == 0;
    }

    template <size_t N>
    bool vendorAt(const std::wstring& id, size_t offset, const wchar_t* const (&vendors)[N])
    {
        if (id.size() < offset + 4)
            return false;
        const std::wstring vendor = id.substr(offset, 4);
        return std::any_of(
            std::begin(vendors), std::end(vendors), [&](const wchar_t* v) { return vendor == v; });
    }

    struct VideoNameSearch {
        std::wstring path;
        std::wstring name;
    };

    std::wstring VideoDeviceName(const wchar_t* videoDevicePath)
    {
        VideoNameSearch search { videoDevicePath, {} };
        EnumDevices(
            CLSID_VideoInputDeviceCategory,
            [](void* param, IBaseFilter*, const wchar_t* name, const wchar_t* path) {
                auto* s = static_cast<VideoNameSearch*>(param);
                if (path && s->path == path) {
                    s->name = name;
                    return false;
                }
                return true;
            },
            &search);
        return search.name;
    }

    bool FindAudioFilter(const GUID& category, const wchar_t* videoDevicePath, const std::wstring& instanceId,
        bool checkName, IBaseFilter** filter)
    {
        std::wstring videoName;
        if (checkName) {
            videoName = NormalizeVideoDeviceName(VideoDeviceName(videoDevicePath));
            if (videoName.empty())
                return false;
        }

        ComPtr<ICreateDevEnum> deviceEnum;
        if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                deviceEnum.putVoid())))
            return false;
        ComPtr<IEnumMoniker> monikers;
        if (deviceEnum->CreateClassEnumerator(category, monikers.put(), 0) != S_OK || !monikers)
            return false;

        ComPtr<IMoniker> moniker;
        while (monikers->Next(1, moniker.put(), nullptr) == S_OK) {
            ComPtr<IPropertyBag> bag;
            if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.putVoid())))
                continue;
            VARIANT path;
            if (FAILED(bag->Read(L"DevicePath", &path, nullptr))) {
                // Devices without a path would need matching through their wave-in id and the video
                // device's parent device; nothing lists such devices here, so they are never candidates.
                continue;
            }
            if (path.bstrVal == videoDevicePath || ConvertDevicePathToInstanceId(path.bstrVal) != instanceId)
                continue;
            if (checkName) {
                VARIANT name;
                if (FAILED(bag->Read(L"FriendlyName", &name, nullptr))
                    || NormalizeAudioDeviceName(name.bstrVal) != videoName)
                    continue;
            }
            if (SUCCEEDED(moniker->BindToObject(
                    nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter))))
                return true;
        }
        return false;
    }

} // namespace

std::wstring ConvertDevicePathToInstanceId(const std::wstring& devicePath)
{
    std::wstring id = devicePath;
    for (wchar_t& c : id)
        c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    if (startsWith(id, L"\\\\?\\") || startsWith(id, L"\\??\\"))
        id.erase(0, 4);
    const size_t last = id.rfind(L'#');
    if (last != std::wstring::npos)
        id.erase(last);
    std::replace(id.begin(), id.end(), L'#', L'\\');
    return id;
}

bool IsKnownCaptureCardVendor(const std::wstring& instanceId)
{
    static const std::wstring usb = L"USB\\VID_";
    static const std::wstring pci = L"PCI\\VEN_";
    static const std::wstring subsystem = L"SUBSYS_";
    if (startsWith(instanceId, usb))
        return vendorAt(instanceId, usb.size(), kUsbVendors);
    if (!startsWith(instanceId, pci))
        return false;
    if (vendorAt(instanceId, pci.size(), kPciVendors))
        return true;
    const size_t at = instanceId.find(subsystem);
    return at != std::wstring::npos && instanceId.size() >= at + subsystem.size() + 8
        && instanceId.compare(at + subsystem.size() + 4, 4, kPciSubsystemVendor) == 0;
}

std::wstring NormalizeVideoDeviceName(const std::wstring& name)
{
    std::wstring normal = toLower(name);
    for (const wchar_t* word : kVideoWords)
        eraseAll(normal, word);
    return normal;
}

std::wstring NormalizeAudioDeviceName(const std::wstring& name)
{
    std::wstring normal = toLower(name);
    for (const wchar_t* word : kAudioWords)
        eraseAll(normal, word);
    return normal;
}

bool GetDeviceAudioFilter(const wchar_t* videoDevicePath, IBaseFilter** filter)
{
    if (!videoDevicePath || !filter)
        return false;
    const std::wstring instanceId = ConvertDevicePathToInstanceId(videoDevicePath);
    if (!IsKnownCaptureCardVendor(instanceId))
        return false;
    return FindAudioFilter(CLSID_AudioInputDeviceCategory, videoDevicePath, instanceId, true, filter)
        || FindAudioFilter(KSCATEGORY_CAPTURE, videoDevicePath, instanceId, true, filter)
        || FindAudioFilter(CLSID_AudioInputDeviceCategory, videoDevicePath, instanceId, false, filter)
        || FindAudioFilter(KSCATEGORY_CAPTURE, videoDevicePath, instanceId, false, filter);
}

} // namespace DShow
