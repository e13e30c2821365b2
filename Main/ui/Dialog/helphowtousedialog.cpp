#include "ui/Dialog/helphowtousedialog.h"

#include "ui_helphowtousedialog.h"

#include "global/servicehosts.h"
#include "global/urlopener.h"
#include "global/windowkitnames.h"
#include "win/framelessframe.h"
#include "win/qssmanager.h"

#include <QVariant>

HelpHowToUseDialog::HelpHowToUseDialog(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::HelpHowToUseDialog>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    (new QssManager(this, false))->loadStyleSheet(QStringLiteral(":/qss/dialog/helphowtousedialog.css"));
    const double scale = QssManager::dpiScale();
    resize(QSize(408, 302) * scale);
    const int titleHeight = int(40 * scale);
    ui->widget_help_title->setFixedHeight(titleHeight);

    setProperty(windowkit::kHeaderButtons, QVariant::fromValue(QList<QObject*> { ui->pushButton_close }));
    setProperty(windowkit::kHeaderVisible, false);
    setProperty(windowkit::kHeaderHeight, titleHeight);
    requestFramelessFrame(this);

    const QString website = QString::fromStdString(servicehosts::deploymentUrl(servicehosts::kWebsiteBase));
    ui->label_contact_us->setTextFormat(Qt::RichText);
    ui->label_contact_us->setText(
        QStringLiteral(
            "<p>%1<a href=\"%2\"><span style=\"text-decoration: underline; color:#3597FF;\">%3</span>"
            "</a></p>")
            .arg(QString::fromUtf8("会员支持加入直播人数 5人 (含主持人) ，如需更多人数版本，请"),
                website.toHtmlEscaped(), QString::fromUtf8("咨询客服")));
    for (QLabel* label : { ui->label_content_1, ui->label_content_2, ui->label_contact_us })
        connect(label, &QLabel::linkActivated, this, &HelpHowToUseDialog::slot_openUrl);
}

HelpHowToUseDialog::~HelpHowToUseDialog() = default;

void HelpHowToUseDialog::on_pushButton_close_clicked() { accept(); }

void HelpHowToUseDialog::slot_close() { accept(); }

void HelpHowToUseDialog::slot_openUrl(const QString& url) { openUrlOrShowAddress(this, url); }
