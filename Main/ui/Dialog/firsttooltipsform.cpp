#include "ui/Dialog/firsttooltipsform.h"

#include "ui_firsttooltipsform.h"

#include <QPainter>
#include <QPolygon>
#include <QRegion>

namespace {

// The body is drawn this far inside the widget's edges; the arrow rises from the body's top edge to the
// widget's top edge.
constexpr int kInset = 10;
const QColor kOutlineColor(223, 223, 223);

} // namespace

FirstTooltipsForm::FirstTooltipsForm(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::FirstTooltipsForm>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setTipText(QString::fromUtf8("不知道怎么用，看这里哦！"), Qt::black);
    setContentsMargins(15, 15, 15, 15);
    ui->label_ftip_text->setStyleSheet(
        QStringLiteral("QLabel {font-family:\"Microsoft YaHei\"; font-size: 9pt; color: #666666;}"));
    ui->pushButton_ftip_close->setStyleSheet(QStringLiteral(
        "QPushButton {border: none;background-color: transparent;font-family:\"Microsoft YaHei\";"
        "font-size: 9pt;color: #3597FF;}QPushButton:hover {color: #1577DF;}QPushButton:pressed {color: "
        "#2587EF;}"));
}

FirstTooltipsForm::~FirstTooltipsForm() = default;

void FirstTooltipsForm::setTipText(const QString& text, QColor colour)
{
    ui->label_ftip_text->setText(text);
    ui->label_ftip_text->setStyleSheet(
        QStringLiteral("color: rgb(%1, %2, %3)").arg(colour.red()).arg(colour.green()).arg(colour.blue()));
}

void FirstTooltipsForm::on_pushButton_ftip_close_clicked() { emit sig_firstClose(); }

void FirstTooltipsForm::paintEvent(QPaintEvent*)
{
    const int w = width();
    const int h = height();
    const double a = w * arrowPosition;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(backgroundColor);

    painter.drawRoundedRect(QRectF(kInset, kInset, w - 2 * kInset, h - 2 * kInset), 4, 4, Qt::RelativeSize);
    const QPointF arrow[] = { { a - 10, kInset }, { a, 0 }, { a + 10, kInset } };
    painter.drawPolygon(arrow, 3, Qt::OddEvenFill);

    painter.setPen(QPen(kOutlineColor, 1));
    const QLineF outline[] = {
        { a - 10, kInset, a, 0 },
        { a, 0, a + 10, kInset },
        { double(kInset), double(kInset), a - 10, double(kInset) },
        { a + 10, double(kInset), double(w - kInset), double(kInset) },
        { double(w - kInset), double(kInset), double(w - kInset), double(h - kInset) },
        { double(w - kInset), double(h - kInset), double(kInset), double(h - kInset) },
        { double(kInset), double(h - kInset), double(kInset), double(kInset) },
    };
    painter.drawLines(outline, 7);
}

// Body and arrow with one pixel to spare for the outline's antialiased edge.
void FirstTooltipsForm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int w = width();
    const int h = height();
    const int a = int(w * arrowPosition);
    QRegion shape(kInset - 1, kInset - 1, w - 2 * kInset + 2, h - 2 * kInset + 2);
    shape += QRegion(QPolygon({ QPoint(a - 12, kInset), QPoint(a, -1), QPoint(a + 12, kInset) }));
    setMask(shape);
}
