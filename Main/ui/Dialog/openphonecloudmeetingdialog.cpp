#include "ui/Dialog/openphonecloudmeetingdialog.h"

#include "ui_openphonecloudmeetingdialog.h"

#include "app/zovmeetingapplication.h"
#include "global/windowkitnames.h"
#include "win/framelessframe.h"
#include "win/qssmanager.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QStyle>
#include <QTimer>
#include <QVariant>

namespace {

constexpr char kClickType[] = "clicktype";
constexpr int kCopiedMs = 2000;

} // namespace

OpenPhoneCloudMeetingDialog::OpenPhoneCloudMeetingDialog(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::OpenPhoneCloudMeetingDialog>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    ui->pushButton_copy_links->setProperty(kClickType, QStringLiteral("default"));
    (new QssManager(this, true))
        ->loadStyleSheet(QStringLiteral(":/qss/dialog/open-phone-cloud-meeting-dialog.css"));
    const double scale = QssManager::dpiScale();
    setFixedSize(QSize(430, 170) * scale);
    ui->widget_title->setFixedHeight(int(30 * scale));

    // The whole dialog is the drag band; only the two buttons take clicks.
    setProperty(windowkit::kHeaderButtons,
        QVariant::fromValue(QList<QObject*> { ui->pushButton_close, ui->pushButton_copy_links }));
    setProperty(windowkit::kHeaderHeight, height());
    setProperty(windowkit::kHeaderVisible, false);
    requestFramelessFrame(this);

    // A server's text: shown as it came, never interpreted as markup.
    ui->label_vip_links->setTextFormat(Qt::PlainText);
    auto* app = qobject_cast<ZovMeetingApplication*>(QCoreApplication::instance());
    ui->label_vip_links->setText(app ? app->playHost() : QString());
}

OpenPhoneCloudMeetingDialog::~OpenPhoneCloudMeetingDialog() = default;

void OpenPhoneCloudMeetingDialog::setCopyState(bool copied)
{
    QPushButton* button = ui->pushButton_copy_links;
    button->setEnabled(!copied);
    button->setProperty(kClickType, copied ? QStringLiteral("copy") : QStringLiteral("default"));
    button->setText(copied ? QString::fromUtf8("链接已复制") : QString::fromUtf8("复制链接"));
    button->style()->unpolish(button);
    button->style()->polish(button);
    update();
}

void OpenPhoneCloudMeetingDialog::on_pushButton_copy_links_clicked()
{
    setCopyState(true);
    // Bound to the dialog: closing it earlier cancels the restore.
    QTimer::singleShot(kCopiedMs, this, [this] { setCopyState(false); });
    auto* mime = new QMimeData;
    mime->setText(ui->label_vip_links->text());
    QApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
}

void OpenPhoneCloudMeetingDialog::on_pushButton_close_clicked() { accept(); }
