#pragma once

// Which of the two frame renderers a view uses: the OpenGL one where the platform offers OpenGL, else the
// painter. Tests may force the answer; the override holds until it is cleared. GUI thread only.
namespace rendererchoice {

bool useOpenGL();

enum class Override { None, OpenGL, Painter };
void setOverride(Override choice);

} // namespace rendererchoice
