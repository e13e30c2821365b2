#pragma once

#include <chatwidgets/chatmanager.h>

#include <QTextDocument>
#include <QTextObjectInterface>
#include <QWidget>

#include <memory>

class QLabel;

// A document that loads and draws images only from the application's compiled resources (":/…" or "qrc:"):
// a name from a chat text never makes it read a file or anything else. Other images show as an empty frame.
class ResourceOnlyDocument : public QTextDocument {
public:
    explicit ResourceOnlyDocument(QObject* parent = nullptr);
    static bool isResource(const QUrl& name);
    // Takes image drawing over from the layout's own handler, which would load a refused name from disk.
    // Call again after the document is given to an editor.
    void installImageHandler();

protected:
    QVariant loadResource(int type, const QUrl& name) override;
};

// Draws the images of a `ResourceOnlyDocument`.
class ResourceImageHandler : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
public:
    using QObject::QObject;
    QSizeF intrinsicSize(QTextDocument* document, int position, const QTextFormat& format) override;
    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* document, int position,
        const QTextFormat& format) override;

private:
    static QImage image(QTextDocument* document, const QTextFormat& format);
};

// Rich text painted on a rounded background, no wider than it needs or is given.
class BubbleView : public QWidget {
public:
    BubbleView(const QString& html, const QColor& background, const QColor& text, const QFont& font,
        QWidget* parent = nullptr);
    const QTextDocument* document() const { return &m_document; }
    void fit(int maxWidth);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static constexpr int kPadding = 8;
    ResourceOnlyDocument m_document;
    QColor m_background;
    QColor m_text;
};

// One row of the list: a message (label, time and bubble, on the left or the right) or a centred tip. Owns
// the row's content.
class ItemView : public QWidget {
public:
    ItemView(const ChatManagerStruct& style, std::unique_ptr<zov::MsgCtx> content,
        const QColor& centerBackground, QWidget* parent = nullptr);
    const ChatManagerStruct& style() const { return m_style; }
    QString html() const { return m_content ? m_content->html() : QString(); }
    const QTextDocument* document() const { return m_bubble->document(); }
    void fit(int width);

private:
    ChatManagerStruct m_style;
    std::unique_ptr<zov::MsgCtx> m_content;
    BubbleView* m_bubble;
};
