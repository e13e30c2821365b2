#pragma once

#include <QPixmap>
#include <QRect>

#include <functional>

// The virtual desktop and a picture of it, both in physical pixels. The virtual desktop is the union of the
// screens' geometries, each scaled by its device-pixel ratio; the picture holds every screen's own grab at
// its place in that rectangle. Where a platform cannot grab (Wayland, offscreen) the picture is still the
// desktop's size, only blank. GUI thread only.
class ScreenGrabber {
public:
    static QRect virtualDesktop();
    static QPixmap grabVirtualDesktop();

    // Test seam: a fixed desktop and picture in place of the screens'; clearFake() restores them.
    struct Fake {
        QRect desktop;
        QPixmap shot;
    };
    static void setFake(const Fake& fake);
    static void clearFake();
};
