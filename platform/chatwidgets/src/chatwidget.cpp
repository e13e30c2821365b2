#include <chatwidgets/chatwidget.h>

#include "itemview.h"

#include <QListWidget>
#include <QMimeData>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {

// The input's editor: its document loads resources only, and pastes come in as plain text.
class ChatTextEdit : public QTextEdit {
public:
    explicit ChatTextEdit(QWidget* parent)
        : QTextEdit(parent)
    {
        auto* document = new ResourceOnlyDocument(this);
        setDocument(document);
        document->installImageHandler();
        setAcceptRichText(false);
    }

protected:
    void insertFromMimeData(const QMimeData* source) override
    {
        if (source->hasText())
            textCursor().insertText(source->text());
    }
};

} // namespace

ChatWidget::ChatWidget(QWidget* parent)
    : QWidget(parent)
    , m_list(new QListWidget(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The rows follow the width of the list's viewport: a list that was never shown has no width of its own
    // yet, and it gets its real one only as it is shown, after this widget's own resize.
    m_list->viewport()->installEventFilter(this);
}

bool ChatWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list->viewport() && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        fitRows();
    return QWidget::eventFilter(watched, event);
}

void ChatWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitRows();
}

void ChatWidget::fitRows()
{
    const int width = m_list->viewport()->width();
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        if (auto* view = dynamic_cast<ItemView*>(m_list->itemWidget(item))) {
            view->fit(width);
            item->setSizeHint(QSize(width, view->height()));
        }
    }
}

EditWidget::EditWidget(QWidget* parent)
    : QWidget(parent)
    , m_edit(new ChatTextEdit(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_edit);
}
