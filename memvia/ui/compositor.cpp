#include "ui/compositor.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <string>

static void initMemviaResources() { Q_INIT_RESOURCE(memvia); }

namespace memvia {

namespace {

    std::optional<bool> overridden;

    bool x11CompositorRunning()
    {
        int screen = 0;
        xcb_connection_t* connection = xcb_connect(nullptr, &screen);
        if (!connection || xcb_connection_has_error(connection)) {
            if (connection)
                xcb_disconnect(connection);
            return false;
        }
        const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(connection,
            xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.c_str()), nullptr);
        bool owned = false;
        if (atom && atom->atom != XCB_ATOM_NONE) {
            xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
                connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
            owned = owner && owner->owner != XCB_WINDOW_NONE;
            std::free(owner);
        }
        std::free(atom);
        xcb_disconnect(connection);
        return owned;
    }

} // namespace

bool hasCompositor()
{
    if (overridden)
        return *overridden;
    return QGuiApplication::platformName() == QLatin1String("xcb") && x11CompositorRunning();
}

void setCompositorOverride(std::optional<bool> answer) { overridden = answer; }

void ensureResources()
{
    static const bool registered = [] {
        initMemviaResources();
        return true;
    }();
    (void)registered;
}

} // namespace memvia
