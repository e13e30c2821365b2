#pragma once

#include <QWidget>

class QListWidget;
class QTextEdit;

// The message list: one row per item, bubbles for messages and centred lines for tips. Filled through its
// `ChatManager`.
class ChatWidget : public QWidget {
    Q_OBJECT
public:
    explicit ChatWidget(QWidget* parent = nullptr);
    QListWidget* listWidget() const { return m_list; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Fits every row to the viewport's present width.
    void fitRows();

    QListWidget* m_list;
};

// The input box: rich text, so that emoticons show as images. Pastes arrive as plain text; images load only
// from the application's compiled resources.
class EditWidget : public QWidget {
    Q_OBJECT
public:
    explicit EditWidget(QWidget* parent = nullptr);
    QTextEdit* textEdit() const { return m_edit; }

private:
    QTextEdit* m_edit;
};

// A view of earlier messages. This client shows none; the type exists for `ChatManager`'s signature.
class HistWidget : public QWidget {
    Q_OBJECT
public:
    explicit HistWidget(QWidget* parent = nullptr)
        : QWidget(parent)
    {
    }
};
