#pragma once

#include <QString>

#include <functional>

class QUrl;
class QWidget;

// Opens links in the user's default browser. Tests replace the opener (to record the address, or to make
// the start fail); an empty opener restores the desktop's. GUI thread only.
using UrlOpener = std::function<bool(const QUrl& url)>;
void setUrlOpener(UrlOpener opener);

// Hands `url` to the opener; false when no browser could be started.
bool openUrl(const QUrl& url);

// Opens `address` (parsed tolerantly); when the browser cannot be started, shows the address in a small
// modal window titled "启动默认浏览器失败" (parent `parent`) so the user can copy it. True when a browser
// started.
bool openUrlOrShowAddress(QWidget* parent, const QString& address);
