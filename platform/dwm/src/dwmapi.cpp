#include <dwm/dwmapi.h>

#include <cstring>

namespace dwm {

namespace {

    constexpr HRESULT E_POINTER = static_cast<HRESULT>(static_cast<std::int32_t>(0x80004003u));

} // namespace

HRESULT DwmIsCompositionEnabled(BOOL* enabled)
{
    if (!enabled)
        return E_POINTER;
    *enabled = 0;
    return S_OK;
}

HRESULT DwmExtendFrameIntoClientArea(HWND, const MARGINS*) { return DWM_E_COMPOSITIONDISABLED; }

HRESULT DwmEnableBlurBehindWindow(HWND, const DWM_BLURBEHIND*) { return DWM_E_COMPOSITIONDISABLED; }

Proc resolve(const char* name)
{
    static const struct {
        const char* name;
        Proc proc;
    } entries[] = {
        { "DwmIsCompositionEnabled", reinterpret_cast<Proc>(&DwmIsCompositionEnabled) },
        { "DwmExtendFrameIntoClientArea", reinterpret_cast<Proc>(&DwmExtendFrameIntoClientArea) },
        { "DwmEnableBlurBehindWindow", reinterpret_cast<Proc>(&DwmEnableBlurBehindWindow) },
    };
    if (!name)
        return nullptr;
    for (const auto& entry : entries) {
        if (std::strcmp(entry.name, name) == 0)
            return entry.proc;
    }
    return nullptr;
}

} // namespace dwm
