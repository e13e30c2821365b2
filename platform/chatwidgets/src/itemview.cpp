#include "itemview.h"

#include <QAbstractTextDocumentLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QTextImageFormat>
#include <QVBoxLayout>

#include <cmath>

bool ResourceOnlyDocument::isResource(const QUrl& name)
{
    return name.scheme() == QLatin1String("qrc")
        || (name.scheme().isEmpty() && name.path().startsWith(QLatin1String(":/")));
}

ResourceOnlyDocument::ResourceOnlyDocument(QObject* parent)
    : QTextDocument(parent)
{
    installImageHandler();
}

void ResourceOnlyDocument::installImageHandler()
{
    documentLayout()->registerHandler(QTextFormat::ImageObject, new ResourceImageHandler(this));
}

QVariant ResourceOnlyDocument::loadResource(int type, const QUrl& name)
{
    if (!isResource(name))
        return QVariant();
    return QTextDocument::loadResource(type, name);
}

QImage ResourceImageHandler::image(QTextDocument* document, const QTextFormat& format)
{
    const QString name = format.toImageFormat().name();
    const QUrl url(name.startsWith(QLatin1String(":/")) ? QLatin1String("qrc") + name : name);
    if (!ResourceOnlyDocument::isResource(url))
        return QImage();
    const QVariant data = document->resource(QTextDocument::ImageResource, url);
    QImage image;
    if (data.userType() == QMetaType::QImage)
        image = data.value<QImage>();
    else if (data.userType() == QMetaType::QPixmap)
        image = data.value<QPixmap>().toImage();
    else if (data.userType() == QMetaType::QByteArray)
        image.loadFromData(data.toByteArray());
    if (image.isNull() && name.startsWith(QLatin1String(":/")) && image.load(name))
        document->addResource(QTextDocument::ImageResource, url, image);
    return image;
}

QSizeF ResourceImageHandler::intrinsicSize(QTextDocument* document, int, const QTextFormat& format)
{
    const QTextImageFormat imageFormat = format.toImageFormat();
    const QImage picture = image(document, format);
    QSizeF size = picture.isNull() ? QSizeF(16, 16) : QSizeF(picture.size());
    if (imageFormat.hasProperty(QTextFormat::ImageWidth) && imageFormat.width() > 0)
        size.setWidth(imageFormat.width());
    if (imageFormat.hasProperty(QTextFormat::ImageHeight) && imageFormat.height() > 0)
        size.setHeight(imageFormat.height());
    return size;
}

void ResourceImageHandler::drawObject(
    QPainter* painter, const QRectF& rect, QTextDocument* document, int, const QTextFormat& format)
{
    const QImage picture = image(document, format);
    if (picture.isNull()) {
        painter->save();
        painter->setPen(QColor(128, 128, 128));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(rect.adjusted(0.5, 0.5, -0.5, -0.5));
        painter->restore();
        return;
    }
    painter->drawImage(rect, picture);
}

BubbleView::BubbleView(
    const QString& html, const QColor& background, const QColor& text, const QFont& font, QWidget* parent)
    : QWidget(parent)
    , m_background(background)
    , m_text(text)
{
    m_document.setDefaultFont(font);
    m_document.setDocumentMargin(0);
    m_document.setHtml(html);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void BubbleView::fit(int maxWidth)
{
    m_document.setTextWidth(-1);
    const qreal ideal = m_document.idealWidth();
    m_document.setTextWidth(qMax<qreal>(1, qMin<qreal>(ideal, maxWidth - 2 * kPadding)));
    updateGeometry();
    resize(sizeHint());
}

QSize BubbleView::sizeHint() const
{
    const QSizeF content = m_document.size();
    return QSize(
        int(std::ceil(content.width())) + 2 * kPadding, int(std::ceil(content.height())) + 2 * kPadding);
}

void BubbleView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_background.alpha() > 0) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_background);
        painter.drawRoundedRect(rect(), 6, 6);
    }
    painter.translate(kPadding, kPadding);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, m_text);
    m_document.documentLayout()->draw(&painter, context);
}

namespace {

constexpr int kMargin = 6;
const QColor kBubbleLeft(0x3A, 0x3A, 0x3A);
const QColor kBubbleRight(0x35, 0x97, 0xFF);
const QColor kBubbleText(0xE6, 0xE6, 0xE6);

QLabel* plainLabel(const QString& text, const QFont& font, const QColor& color)
{
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("QLabel { color: %1; }")
                             .arg((color.isValid() ? color : QColor(150, 150, 150)).name()));
    return label;
}

} // namespace

ItemView::ItemView(const ChatManagerStruct& style, std::unique_ptr<zov::MsgCtx> content,
    const QColor& centerBackground, QWidget* parent)
    : QWidget(parent)
    , m_style(style)
    , m_content(std::move(content))
{
    // Screen readers (and anything else that reads the list) get the message as plain text.
    if (m_content)
        setAccessibleName(m_content->text());
    const bool tip = style.type == 1;
    const bool right = style.type == 2;
    const QColor text = tip ? (style.labelColor.isValid() ? style.labelColor : kBubbleText) : kBubbleText;
    m_bubble = new BubbleView(html(), tip ? centerBackground : (right ? kBubbleRight : kBubbleLeft), text,
        tip ? style.labelFont : font());

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kMargin, kMargin / 2, kMargin, kMargin / 2);
    column->setSpacing(2);
    if (!tip) {
        auto* header = new QHBoxLayout();
        header->setSpacing(6);
        if (right)
            header->addStretch();
        header->addWidget(plainLabel(style.label, style.labelFont, style.labelColor));
        if (!style.time.isEmpty())
            header->addWidget(plainLabel(style.time, style.timeFont, style.timeColor));
        if (!right)
            header->addStretch();
        column->addLayout(header);
    }
    auto* row = new QHBoxLayout();
    if (tip || right)
        row->addStretch();
    row->addWidget(m_bubble);
    if (tip || !right)
        row->addStretch();
    column->addLayout(row);
}

void ItemView::fit(int width)
{
    m_bubble->fit(qMax(40, width - 2 * kMargin - (m_style.type == 1 ? 0 : 40)));
    layout()->activate();
    resize(width, sizeHint().height());
}
