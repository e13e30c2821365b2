#pragma once

#include <functional>

// Whether the display can make an OpenGL context: the meeting form then draws remote video with its
// OpenGL renderer, else with the painter. The answer of the display is asked once; tests replace it.
// GUI thread only.
using OpenGLPresence = std::function<bool()>;

// An empty source restores the display's answer.
void setOpenGLPresence(OpenGLPresence source);
bool hasOpenGL();
