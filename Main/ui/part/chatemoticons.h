#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// The emoticons of the chat: each image file of the emoticon folder has a code that travels inside chat
// texts ("[\name]" for "emoji_name.png") and an image tag that the chat widgets draw
// (<img src="path"/>). Built once; immutable afterwards, so any thread may read it.
class ChatEmoticons {
public:
    struct Entry {
        QString code;
        QString tag;
    };

    // One entry per path that holds "emoji_", in the given order; other paths are left out.
    static ChatEmoticons fromFiles(const QStringList& paths);

    const QVector<Entry>& entries() const { return m_entries; }

    // Every image tag of the table, as written, becomes its code; the rest stays as it is.
    QString tagsToCodes(const QString& html) const;
    // Every code becomes its image tag.
    QString codesToTags(const QString& text) const;
    // A received chat text as markup for the message list: HTML-escaped, line breaks as <br/>, then the
    // codes as image tags. Markup in the text is shown literally, so the only images ever drawn are this
    // table's.
    QString messageMarkup(const QString& text) const;

private:
    QVector<Entry> m_entries;
};
