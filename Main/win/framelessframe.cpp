#include "win/framelessframe.h"

#include "global/windowkitnames.h"

#include <bridge/bridge_init.h>
#include <bridge/value.h>

void requestFramelessFrame(QWidget* widget)
{
    // Sent through the framework once its component interface is available.
    (void)widget;
}
