#include <chatwidgets/msgctx.h>

#include <QTextDocument>

namespace zov {

QString MsgSendCtx::text() const
{
    QTextDocument document;
    document.setHtml(m_html);
    return document.toPlainText();
}

} // namespace zov
