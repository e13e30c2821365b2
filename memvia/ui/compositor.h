#pragma once

#include <optional>

// Whether translucent windows are drawn by a compositing manager, so that a window's own shadow shows as a
// shadow rather than as a black border. On X11 the owner of the selection "_NET_WM_CM_S<screen>" answers;
// any other platform (offscreen included) has none. GUI thread.
namespace memvia {

bool hasCompositor();

// Test seam: a fixed answer in place of the window system's; nullopt restores the real one.
void setCompositorOverride(std::optional<bool> answer);

// Registers the plug-in's images and style sheets (once; any later call does nothing).
void ensureResources();

} // namespace memvia
