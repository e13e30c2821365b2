#include "ui/Dialog/rectselectmenu.h"

#include "ui/Dialog/selectorgeometry.h"
#include "ui_rectselectmenu.h"
#include "win/qssmanager.h"
#include "win/screengrabber.h"

namespace {

// Every length ends in "px;" so that the whole sheet follows the screen's scale.
const char kStyleSheet[]
    = R"(QWidget#RectSelectMenu{min-width:433px;max-width:433px;min-height:40px;max-height:40px;background:#009FFF;}
#widget_space_0,#widget_space_1,#widget_space_2,#widget_space_3,#widget_space_4,#widget_space_5{min-width:6px;max-width:6px;}
QSpinBox#spinBox_width,QSpinBox#spinBox_height{min-width:64px;max-width:64px;min-height:18px;max-height:18px;font-size:9pt;}
QToolButton#toolButton_ok,QToolButton#toolButton_cancel{min-width:64px;max-width:64px;min-height:30px;max-height:30px;margin-left:8px;border:none;background:transparent;color:white;font-size:9pt;font-family:"微软雅黑";}
QToolButton#toolButton_ok:hover,QToolButton#toolButton_cancel:hover{color:green;}
QLabel#OK_ICON_LABEL{min-width:16px;max-width:16px;min-height:16px;max-height:16px;border-image:url(:/images/ok.png);}
QLabel#CANCEL_ICON_LABEL{min-width:16px;max-width:16px;min-height:16px;max-height:16px;border-image:url(:/images/cancel.png);}
QComboBox#comboBox_size{min-width:120px;max-width:120px;min-height:24px;max-height:24px;font-size:9pt;})";

const char* const kSizes[]
    = { QT_TRANSLATE_NOOP("RectSelectMenu", "自定义"), "720x480", "960x640", "1280x720", "1920x1080" };

QString styleSheetText()
{
    return selectorgeometry::scaledStyleSheet(QString::fromUtf8(kStyleSheet), QssManager::dpiScale());
}

} // namespace

RectSelectMenu::RectSelectMenu(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::RectSelectMenu>())
{
    const qreal scale = QssManager::dpiScale();
    ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(styleSheetText());
    setFixedSize(QSize(433, 40) * scale);
    setCursor(Qt::ArrowCursor);

    QStringList sizes { tr(kSizes[0]) };
    for (size_t i = 1; i < std::size(kSizes); ++i)
        sizes << QString::fromLatin1(kSizes[i]);
    {
        // Filling the list is not a choice of the user.
        const QSignalBlocker blocker(ui->comboBox_size);
        ui->comboBox_size->addItems(
            selectorgeometry::fittingPresets(sizes, ScreenGrabber::virtualDesktop().size()));
    }

    connect(ui->spinBox_width, &QSpinBox::editingFinished, this, &RectSelectMenu::onSpinBoxEditFinished);
    connect(ui->spinBox_height, &QSpinBox::editingFinished, this, &RectSelectMenu::onSpinBoxEditFinished);
    ui->spinBox_width->setKeyboardTracking(true);
    ui->spinBox_height->setKeyboardTracking(true);
}

RectSelectMenu::~RectSelectMenu() = default;

void RectSelectMenu::setSelectionSize(const QSize& size)
{
    if (ui->spinBox_width->value() != size.width())
        ui->spinBox_width->setValue(size.width());
    if (ui->spinBox_height->value() != size.height())
        ui->spinBox_height->setValue(size.height());
}

void RectSelectMenu::on_toolButton_ok_clicked() { emit sig_ok(); }

void RectSelectMenu::on_toolButton_cancel_clicked() { emit sig_cancel(); }

void RectSelectMenu::on_comboBox_size_currentIndexChanged(const QString& text)
{
    if (ui->comboBox_size->currentIndex() == 0)
        return;
    const QStringList parts = text.split(QLatin1Char('x'));
    if (parts.size() == 2)
        emit sig_size(parts[0].toInt(), parts[1].toInt());
}

void RectSelectMenu::onSpinBoxEditFinished()
{
    emit sig_size(ui->spinBox_width->value(), ui->spinBox_height->value());
}
