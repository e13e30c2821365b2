#include "win/fontfallback.h"

#include <QFont>
#include <QStringList>

void installFontFallbacks()
{
    const QStringList cjkFonts { QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
        QStringLiteral("Source Han Sans SC") };
    // Forms name the Windows font by its English and by its Chinese family name.
    QFont::insertSubstitutions(QStringLiteral("Microsoft YaHei"), cjkFonts);
    QFont::insertSubstitutions(QStringLiteral("微软雅黑"), cjkFonts);
}
