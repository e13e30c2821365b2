#include "ui/skinmgr.h"

#include "base/base.h"
#include "ui/compositor.h"

#include <QFile>
#include <QRegularExpression>
#include <QTextStream>
#include <QWidget>

namespace {

const char* const kStyleSheets[] = {
    ":/qss/userdialog_new.css",
    ":/qss/updatedialog.css",
    ":/qss/vipsuccessdialog.css",
    ":/qss/vipbutton.css",
    ":/title/title_black.css",
    ":/qss/vippaydialog.css",
    ":/qss/vipitembutton.css",
    ":/qss/wechatalipayform.css",
};

} // namespace

SkinMgr::SkinMgr(QObject* parent)
    : QObject(parent)
{
    memvia::ensureResources();
}

SkinMgr* SkinMgr::instance()
{
    static SkinMgr* manager = new SkinMgr;
    return manager;
}

QString SkinMgr::styleSheetPath(int kind)
{
    if (kind < 0 || kind >= int(std::size(kStyleSheets)))
        return QString();
    return QString::fromLatin1(kStyleSheets[kind]);
}

void SkinMgr::applyStyle(int kind, QWidget* widget)
{
    if (widget)
        widget->setStyleSheet(scaleStyleSheet(styleSheetPath(kind)));
}

QString SkinMgr::scaleStyleSheet(const QString& path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    const QString text = QString::fromUtf8(file.readAll());
    const double scale = Base::dpiScale();
    return scale == 1.0 ? text : scaleText(text, scale);
}

QString SkinMgr::scaleText(const QString& text, double scale)
{
    static const QRegularExpression length("[0-9]{1,4}px");
    QString result;
    result.reserve(text.size());
    int done = 0;
    QRegularExpressionMatchIterator matches = length.globalMatch(text);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        const int digits = match.capturedLength() - 2;
        result += text.midRef(done, match.capturedStart() - done);
        const long long scaled = static_cast<long long>(text.midRef(match.capturedStart(), digits).toLongLong() * scale);
        result += QString::number(scaled) + QLatin1String("px");
        done = match.capturedEnd();
    }
    result += text.midRef(done);
    return result;
}
