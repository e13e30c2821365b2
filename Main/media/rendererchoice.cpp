#include "media/rendererchoice.h"

#include <QGLFormat>

namespace rendererchoice {
namespace {
Override g_override = Override::None;
}

bool useOpenGL()
{
    switch (g_override) {
    case Override::OpenGL:
        return true;
    case Override::Painter:
        return false;
    case Override::None:
        break;
    }
    return QGLFormat::hasOpenGL();
}

void setOverride(Override choice) { g_override = choice; }

} // namespace rendererchoice
