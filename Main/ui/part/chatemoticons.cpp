#include "ui/part/chatemoticons.h"

#include <QFileInfo>

ChatEmoticons ChatEmoticons::fromFiles(const QStringList& paths)
{
    static const QString kMarker = QStringLiteral("emoji_");
    ChatEmoticons table;
    for (const QString& path : paths) {
        if (!path.contains(kMarker))
            continue;
        const QString name = QFileInfo(path).baseName().remove(kMarker);
        table.m_entries.append({ QStringLiteral("[\\%1]").arg(name), QStringLiteral("<img src=\"%1\"/>").arg(path) });
    }
    return table;
}

QString ChatEmoticons::tagsToCodes(const QString& html) const
{
    QString text = html;
    for (const Entry& entry : m_entries)
        text.replace(entry.tag, entry.code, Qt::CaseSensitive);
    return text;
}

QString ChatEmoticons::codesToTags(const QString& text) const
{
    QString html = text;
    for (const Entry& entry : m_entries)
        html.replace(entry.code, entry.tag, Qt::CaseSensitive);
    return html;
}

QString ChatEmoticons::messageMarkup(const QString& text) const
{
    QString escaped = text.toHtmlEscaped();
    escaped.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    escaped.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    escaped.replace(QLatin1Char('\n'), QLatin1String("<br/>"));
    return codesToTags(escaped);
}
