#include <chatwidgets/chatmanager.h>

#include "itemview.h"

#include <QListWidget>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>

namespace {

// The input as HTML of our own making: text escaped, each emoticon as <img src="PATH"/>, lines as <br/>, and
// blanks kept as typed.
QString inputHtml(const QTextDocument& document)
{
    QString html = QStringLiteral("<p style=\"white-space:pre-wrap;\">");
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block != document.begin())
            html += QLatin1String("<br/>");
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (format.isImageFormat()) {
                const QString tag = QStringLiteral("<img src=\"%1\"/>").arg(format.toImageFormat().name());
                for (int i = 0; i < fragment.length(); ++i)
                    html += tag;
            } else {
                html += fragment.text().toHtmlEscaped().replace(QChar::LineSeparator, QLatin1String("<br/>"));
            }
        }
    }
    return html + QLatin1String("</p>");
}

ItemView* viewAt(QListWidget* list, int row)
{
    return list ? dynamic_cast<ItemView*>(list->itemWidget(list->item(row))) : nullptr;
}

} // namespace

ChatManager::ChatManager(ChatWidget* chat, EditWidget* edit, HistWidget*, QObject* parent)
    : QObject(parent)
    , m_chat(chat)
    , m_edit(edit)
{
}

ChatManager::~ChatManager() = default;

void ChatManager::setCenterMsgBackColor(const QColor& color) { m_centerBackground = color; }

QListWidget* ChatManager::chatListWidget() const { return m_chat ? m_chat->listWidget() : nullptr; }

QTextEdit* ChatManager::editTextEdit() const { return m_edit ? m_edit->textEdit() : nullptr; }

zov::MsgSendCtx* ChatManager::getSendCtx()
{
    QTextEdit* edit = editTextEdit();
    if (!edit)
        return nullptr;
    m_sendCtx = std::make_unique<zov::MsgSendCtx>(inputHtml(*edit->document()));
    return m_sendCtx.get();
}

void ChatManager::clearContent()
{
    if (QTextEdit* edit = editTextEdit())
        edit->clear();
}

void ChatManager::slot_addFace(const QString& path)
{
    QTextEdit* edit = editTextEdit();
    if (!edit)
        return;
    QTextImageFormat face;
    face.setName(path);
    edit->textCursor().insertImage(face);
}

void ChatManager::sendMsgPosAndStyle(ChatManagerStruct& style, zov::MsgCtx* content)
{
    std::unique_ptr<zov::MsgCtx> owned(content);
    QListWidget* list = chatListWidget();
    if (!list)
        return;
    auto* view = new ItemView(style, std::move(owned), m_centerBackground);
    auto* item = new QListWidgetItem(list);
    const int width = list->viewport()->width();
    view->fit(width);
    item->setSizeHint(QSize(width, view->height()));
    list->setItemWidget(item, view);
    list->scrollToBottom();
}

int ChatManager::itemCount() const
{
    QListWidget* list = chatListWidget();
    return list ? list->count() : 0;
}

ChatManagerStruct ChatManager::itemStyle(int row) const
{
    ItemView* view = viewAt(chatListWidget(), row);
    return view ? view->style() : ChatManagerStruct();
}

QString ChatManager::itemHtml(int row) const
{
    ItemView* view = viewAt(chatListWidget(), row);
    return view ? view->html() : QString();
}

const QTextDocument* ChatManager::itemDocument(int row) const
{
    ItemView* view = viewAt(chatListWidget(), row);
    return view ? view->document() : nullptr;
}
