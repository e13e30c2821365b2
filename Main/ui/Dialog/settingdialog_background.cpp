// The background-picture rows of the settings dialog's general page.
#include "ui/Dialog/settingdialog.h"

#include "ui_settingdialog.h"

#include "global/customevents.h"
#include "global/eventdeliverer.h"
#include "global/filepicker.h"
#include "global/settingkeys.h"
#include "global/settings.h"
#include "ui/messageboxdialog.h"

#include <bridge/bridge_init.h>
#include <bridge/interface.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>

namespace {

bg::Abstract_Config* config() { return CD ? CD->config : nullptr; }

void showPrompt(const char* text)
{
    MessageBoxDialog box(QString::fromUtf8(text), 1, QString::fromUtf8(kTextPrompt));
    box.exec();
}

} // namespace

SettingDialog::BackgroundRow SettingDialog::canvasRow() const
{
    return { kCfgBackgroundPath, kCfgBackgroundDir, ui->widget_setting_background,
        ui->pushButton_setting_general_background_image, ui->pushButton_setting_delete_image };
}

SettingDialog::BackgroundRow SettingDialog::greenScreenRow() const
{
    return { kCfgGreenScmBackgroundPath, kCfgGreenScmBackgroundDir, ui->widget_setting_greenscm_background,
        ui->pushButton_setting_greenscm_background_image, ui->pushButton_setting_delete_greenscm_image };
}

void SettingDialog::dressBackgroundRows()
{
    for (HBoxButton* add : { ui->pushButton_setting_general_background_image,
             ui->pushButton_setting_greenscm_background_image }) {
        add->setText(QString::fromUtf8("添加背景"));
        add->setTextAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        add->setNormalImage(QStringLiteral(":/image/setting/add_default.png"));
        add->setHoverImage(QStringLiteral(":/image/setting/add_hover.png"));
        add->setCheckedImage(QStringLiteral(":/image/setting/add_hover.png"));
        add->setDisabledImage(QStringLiteral(":/image/setting/add_disable.png"));
        add->setNormalColor(QColor(51, 51, 51));
        add->setHoverColor(QColor(53, 151, 255));
        add->setCheckedColor(QColor(53, 151, 255));
        add->setDisabledColor(QColor(171, 171, 171));
    }
    loadBackgroundRow(canvasRow());
    loadBackgroundRow(greenScreenRow());
}

void SettingDialog::loadBackgroundRow(const BackgroundRow& row)
{
    row.preview->loadImage(QString::fromStdString(cfgGetString(config(), row.pathKey, std::string())));
    applyRowInvariant(row);
}

// A row with a picture offers only its delete button; one without offers only its add button.
void SettingDialog::applyRowInvariant(const BackgroundRow& row)
{
    const bool hasPicture = !row.preview->isImageNull();
    row.remove->setVisible(hasPicture);
    row.add->setEnabled(!hasPicture);
}

QString SettingDialog::pickPicture(const BackgroundRow& row)
{
    const std::string dir = cfgGetString(config(), row.dirKey, QDir::homePath().toStdString());
    return pickOpenFile(this, QString::fromUtf8(kTextChoosePicture), QString::fromStdString(dir),
        QString::fromLatin1(kPictureFilter));
}

void SettingDialog::storePicture(const BackgroundRow& row, const QString& file)
{
    if (file.isEmpty()) {
        row.preview->loadImage(QString());
    } else {
        const QFileInfo info(file);
        cfgSetString(config(), row.dirKey, info.absolutePath().toStdString());
        cfgSetString(config(), row.pathKey, file.toStdString());
        row.preview->loadImage(file);
    }
    applyRowInvariant(row);
}

void SettingDialog::removePicture(const BackgroundRow& row)
{
    row.preview->loadImage(QString());
    row.remove->hide();
    row.add->setEnabled(true);
    cfgSetString(config(), row.pathKey, std::string());
}

void SettingDialog::on_pushButton_setting_general_background_image_clicked()
{
    const BackgroundRow row = canvasRow();
    storePicture(row, pickPicture(row));
}

void SettingDialog::on_pushButton_setting_greenscm_background_image_clicked()
{
    if (!isSignedIn()) {
        showPrompt(kTextSignInFirst);
        EventDeliverer::instance()->deliver(new LoginEvent);
        return;
    }
    if (!isMember()) {
        EventDeliverer::instance()->deliver(new PayEvent);
        return;
    }
    const BackgroundRow row = greenScreenRow();
    const QString file = pickPicture(row);
    if (!file.isEmpty() && QImage(file).isNull()) {
        showPrompt(kTextPictureUnreadable);
        return;
    }
    storePicture(row, file);
}

void SettingDialog::on_pushButton_setting_delete_image_clicked() { removePicture(canvasRow()); }

void SettingDialog::on_pushButton_setting_delete_greenscm_image_clicked() { removePicture(greenScreenRow()); }
