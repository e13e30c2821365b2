#include "win/fontfallback.h"

#include <QFont>
#include <QStringList>

void installFontFallbacks()
{
    const QStringList cjkFonts { QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
        QStringLiteral("Source Han Sans SC") };
    QFont::insertSubstitutions(QStringLiteral("Microsoft YaHei"), cjkFonts);
}
