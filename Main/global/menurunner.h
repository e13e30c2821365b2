#pragma once

#include <QPoint>

#include <functional>

class QAction;
class QMenu;

// Runs a context menu at a screen point and answers the chosen action, null when it was dismissed. Tests
// replace the runner to answer in place of the user; an empty runner restores QMenu::exec. GUI thread only.
using MenuRunner = std::function<QAction*(QMenu& menu, QPoint at)>;
void setMenuRunner(MenuRunner runner);

QAction* runMenu(QMenu& menu, QPoint at);
