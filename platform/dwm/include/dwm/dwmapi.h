#pragma once

#include <cstdint>

// The blur-behind and glass-frame entry points that translucent windows look up by name.
// Every function may be called from the GUI thread; none keeps state.
namespace dwm {

using HRESULT = long;
using BOOL = int;
using HWND = std::uintptr_t;

constexpr HRESULT S_OK = 0;
// What the calls answer while no compositor is running.
constexpr HRESULT DWM_E_COMPOSITIONDISABLED = static_cast<HRESULT>(static_cast<std::int32_t>(0x80263001u));

struct MARGINS {
    int cxLeftWidth;
    int cxRightWidth;
    int cyTopHeight;
    int cyBottomHeight;
};

constexpr unsigned long DWM_BB_ENABLE = 0x1;

struct DWM_BLURBEHIND {
    unsigned long dwFlags;
    BOOL fEnable;
    void* hRgnBlur;
    BOOL fTransitionOnMaximized;
};

// Sets *enabled to false: there is no composition to use. S_OK, or an error for a null pointer.
HRESULT DwmIsCompositionEnabled(BOOL* enabled);
// Both refuse with DWM_E_COMPOSITIONDISABLED.
HRESULT DwmExtendFrameIntoClientArea(HWND window, const MARGINS* margins);
HRESULT DwmEnableBlurBehindWindow(HWND window, const DWM_BLURBEHIND* blurBehind);

using Proc = void (*)();
// The entry point of that name ("DwmIsCompositionEnabled", ...), cast to Proc; null for any other name.
Proc resolve(const char* name);

} // namespace dwm
