#include "ui/messageboxdialog.h"

#include "ui_messageboxdialog.h"

#include "global/windowkitnames.h"
#include "win/framelessframe.h"
#include "win/qssmanager.h"

#include <QIcon>
#include <QObject>
#include <QVariant>

MessageBoxDialog::MessageBoxDialog(const QString& text, int buttons, const QString& title, QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::MessageBoxDialog>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_StyledBackground);
    setWindowTitle(tr("Tavicast"));
    setWindowIcon(QIcon(QString::fromLatin1(windowkit::kAppIcon)));

    const QString sheet = QString::fromLatin1(windowkit::kMessageBoxStyleSheet);
    (new QssManager(this, true))->loadStyleSheet(sheet);
    (new QssManager(ui->widget_messagebox_btn, true))->loadStyleSheet(sheet);

    const double scale = QssManager::dpiScale();
    resize(int(346 * scale), int(200 * scale));
    ui->widget_messagebox_title->setFixedHeight(int(scale * windowkit::kTitleBarHeight));

    // Notices carry member names and the services' error texts: shown as they are, never as markup.
    ui->label_title->setTextFormat(Qt::PlainText);
    ui->label_messagebox_content->setTextFormat(Qt::PlainText);
    if (!title.isEmpty())
        ui->label_title->setText(title);
    ui->label_messagebox_content->setText(text);
    showButtons(buttons);

    setHeaderProperties();
    requestFramelessFrame(this);
}

MessageBoxDialog::~MessageBoxDialog() = default;

void MessageBoxDialog::setButtonTexts(const QString& okText, const QString& cancelText)
{
    if (!okText.isEmpty())
        ui->pushButton_messagebox_ok->setText(okText);
    if (!cancelText.isEmpty())
        ui->pushButton_messagebox_cancel->setText(cancelText);
}

void MessageBoxDialog::showButtons(int buttons)
{
    struct Layout {
        bool ok, mid, cancel;
    };
    static constexpr Layout layouts[] = {
        { false, false, false },
        { true, false, false },
        { false, false, true },
        { true, true, true },
    };
    if (buttons < 0 || buttons > 3)
        return;
    const Layout& layout = layouts[buttons];
    ui->pushButton_messagebox_ok->setVisible(layout.ok);
    ui->widget_spacer_mid->setVisible(layout.mid);
    ui->pushButton_messagebox_cancel->setVisible(layout.cancel);
}

void MessageBoxDialog::setHeaderProperties()
{
    const QList<QObject*> headerButtons {
        ui->pushButton_messagebox_close,
        ui->pushButton_messagebox_ok,
        ui->pushButton_messagebox_cancel,
    };
    setProperty(windowkit::kHeaderButtons, QVariant::fromValue(headerButtons));
    setProperty(windowkit::kHeaderVisible, false);
    setProperty(windowkit::kHeaderHeight, int(QssManager::dpiScale() * windowkit::kTitleBarHeight));
}

void MessageBoxDialog::on_pushButton_messagebox_ok_clicked() { accept(); }

void MessageBoxDialog::on_pushButton_messagebox_cancel_clicked() { reject(); }

void MessageBoxDialog::on_pushButton_messagebox_close_clicked() { reject(); }
