#include "global/openglpresence.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>

namespace {

OpenGLPresence& installedSource()
{
    static OpenGLPresence source;
    return source;
}

bool displayHasOpenGL()
{
    static const bool present = [] {
        if (!QGuiApplication::instance())
            return false;
        QOpenGLContext context;
        if (!context.create())
            return false;
        QOffscreenSurface surface;
        surface.setFormat(context.format());
        surface.create();
        const bool ok = surface.isValid() && context.makeCurrent(&surface);
        if (ok)
            context.doneCurrent();
        return ok;
    }();
    return present;
}

} // namespace

void setOpenGLPresence(OpenGLPresence source) { installedSource() = std::move(source); }

bool hasOpenGL() { return installedSource() ? installedSource()() : displayHasOpenGL(); }
