#include "global/servicehosts.h"

#include <QUrl>

QString serviceUrl(const char* builtin)
{
    const QString base = QString::fromUtf8(builtin);
    const QUrl override(QString::fromUtf8(qgetenv("TAVICAST_SERVICE_URL")), QUrl::StrictMode);
    if (!override.isValid() || override.scheme().isEmpty() || override.host().isEmpty())
        return base;
    QUrl url(base);
    url.setScheme(override.scheme());
    url.setHost(override.host());
    url.setPort(override.port());
    return url.toString();
}
