#pragma once

#include <studio/studioscene.h>

#include <functional>

// Where the studio's desktop sources take their pictures from. By default the X11 screen; a program that
// installs a grabber (a test's synthetic desktop) replaces the screen for every studio started afterwards.
// The grabber runs on a studio's composing thread and must be thread-safe; it fills the picture and
// returns true, or returns false when it has nothing. An empty grabber restores the screen.
namespace studio {

using ScreenGrabber = std::function<bool(DesktopPicture& picture)>;

void setScreenGrabber(ScreenGrabber grabber);

} // namespace studio
