#pragma once

#include <studio/studioscene.h>

#include <studio/screengrabber.h>

#include <memory>

// Grabs the X11 screen (the default display's root window) into BGRA pictures, over shared memory when the
// server offers it, else by plain image requests. The display is opened at the first grab, on the calling
// thread, which must be the only one using the grabber. Without a display (no DISPLAY, server gone, a
// screen that is not 32 bits a pixel) grabs fail, with one log line for the grabber's life. An installed
// screen grabber (studio/screengrabber.h) takes the screen's place.
class DesktopGrabber {
public:
    DesktopGrabber();
    ~DesktopGrabber();
    DesktopGrabber(const DesktopGrabber&) = delete;
    DesktopGrabber& operator=(const DesktopGrabber&) = delete;

    // Fills `picture` with the whole screen; false when there is no screen to grab.
    bool grab(DesktopPicture& picture);

private:
    struct X11;
    std::unique_ptr<X11> m_x;
    bool m_failed = false;
    // A grabber installed through studio::setScreenGrabber when the first grab ran; it replaces the screen.
    studio::ScreenGrabber m_installed;
    bool m_installedChecked = false;
    void fail(const char* why);
};
