#pragma once

#include <QString>

namespace zov {

// The content of one chat item or of the input: rich text in which emoticons are images.
class MsgCtx {
public:
    virtual ~MsgCtx() = default;
    // The content as plain text.
    virtual QString text() const = 0;
    // The content as HTML; each emoticon stands as <img src="PATH"/>.
    virtual QString html() const = 0;
};

class MsgSendCtx : public MsgCtx {
public:
    explicit MsgSendCtx(const QString& html)
        : m_html(html)
    {
    }
    QString text() const override;
    QString html() const override { return m_html; }

private:
    QString m_html;
};

} // namespace zov
