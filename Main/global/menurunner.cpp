#include "global/menurunner.h"

#include <QMenu>

namespace {

MenuRunner& installedRunner()
{
    static MenuRunner runner;
    return runner;
}

} // namespace

void setMenuRunner(MenuRunner runner) { installedRunner() = std::move(runner); }

QAction* runMenu(QMenu& menu, QPoint at) { return installedRunner() ? installedRunner()(menu, at) : menu.exec(at); }
