#include "win/framelessframe.h"

#include "global/windowkitnames.h"

#include <bridge/bridge_init.h>
#include <bridge/interface.h>
#include <bridge/value.h>

void requestFramelessFrame(QWidget* widget)
{
    if (!CD)
        return;
    // Without the module the admin answers "module not exsit"; the widget then keeps its own frame.
    CD->send(windowkit::kMembershipModule, windowkit::kFramelessFrameCommand,
        bg::Value(static_cast<void*>(widget)), bg::MsgCallback());
}
