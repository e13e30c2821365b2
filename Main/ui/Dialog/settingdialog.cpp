#include "ui/Dialog/settingdialog.h"

#include "ui_settingdialog.h"

#include "app/zovmeetingapplication.h"
#include "global/appkeys.h"
#include "global/servicehosts.h"
#include "global/settingkeys.h"
#include "global/settings.h"
#include "global/urlopener.h"
#include "global/windowkitnames.h"
#include "win/framelessframe.h"
#include "win/qssmanager.h"

#include <bridge/abstract_config.h>
#include <bridge/app.h>
#include <bridge/bridge_init.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>

#include <QButtonGroup>
#include <QCursor>
#include <QGraphicsDropShadowEffect>
#include <QHelpEvent>
#include <QListView>
#include <QMouseEvent>
#include <QRegExpValidator>
#include <QRegularExpression>
#include <QUrl>

namespace {

bg::Abstract_Config* config() { return CD ? CD->config : nullptr; }

// The stream parameters the combo boxes offer: shown text and stored value.
struct SizeItem {
    const char* text;
    int width;
    int height;
};
constexpr SizeItem kSizeItems[] = {
    { "1280x720", 1280, 720 },
    { "960x540", 960, 540 },
    { "720x1280", 720, 1280 },
    { "540x960", 540, 960 },
};
struct NamedValue {
    const char* text;
    int value;
};
constexpr NamedValue kEncoderItems[] = { { "x264软编码", 0 }, { "硬件编码", 1 } };

constexpr int kFpsDefault = 30;
constexpr int kKeyframeDefault = 3;
constexpr int kEncoderDefault = 1;

QString websiteUrl(const char* path)
{
    return QString::fromStdString(servicehosts::deploymentUrl(servicehosts::kWebsiteBase))
        + QLatin1String(path);
}

QString linkParagraph(const QString& before, const QString& url, const QString& linkText)
{
    return QStringLiteral("<p>%1<a href=\"%2\"><span style=\"color:#48c2ff;\">%3</span></a></p>")
        .arg(before.toHtmlEscaped(), url.toHtmlEscaped(), linkText.toHtmlEscaped());
}

bool matchesWhole(const QString& value, const char* pattern)
{
    return QRegularExpression(QString::fromLatin1(pattern)).match(value).hasMatch();
}

} // namespace

SettingDialog::SettingDialog(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::SettingDialog>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    loadStyleSheets();

    const double scale = QssManager::dpiScale();
    setFixedSize(qRound(527 * scale), qRound(440 * scale));
    const int titleHeight = int(40 * scale);
    ui->widget_set_title->setFixedHeight(titleHeight);
    setHeaderProperties(titleHeight);
    requestFramelessFrame(this);

    fillComboBoxes();
    showVideoSettings();
    showMeetingKey();
    ui->pushButton_meeting_key_clear->setToolTip(QString::fromUtf8("重置房间号"));
    ui->pushButton_meeting_key_whatis->setToolTip(QString::fromUtf8(
        "设置完房间号后，会固定使用该房间号开启直播。\n不设置时每次开播房间号均会随机生成。"));
    hideHostRow();
    dressPageButtons();
    dressBackgroundRows();
    fillAboutPage();
    setUpPageGroup();
    // The background rows are built and kept working, but not offered.
    ui->frame_general_background->hide();
    ui->frame_greenscm_background->hide();
}

SettingDialog::~SettingDialog() = default;

void SettingDialog::loadStyleSheets()
{
    QWidget* const styled[] = { this, ui->page_general, ui->page_aboutus, ui->frame_general_background,
        ui->frame_greenscm_background, ui->frame_setting_showTips, ui->frame_user_meeting_host };
    for (QWidget* widget : styled)
        (new QssManager(widget, false))->loadStyleSheet(QString::fromLatin1(kSettingStyleSheet));
}

void SettingDialog::setHeaderProperties(int titleHeight)
{
    setProperty(windowkit::kHeaderButtons, QVariant::fromValue(QList<QObject*> { ui->pushButton_close }));
    setProperty(windowkit::kHeaderVisible, false);
    setProperty(windowkit::kHeaderHeight, titleHeight);
}

void SettingDialog::fillComboBoxes()
{
    for (QComboBox* box : { ui->comboBox_sd_size, ui->comboBox_sd_frame_rate, ui->comboBox_sd_keyframe_src,
             ui->comboBox_encoder })
        box->setView(new QListView(box));
    for (const SizeItem& item : kSizeItems)
        ui->comboBox_sd_size->addItem(
            QIcon(), QString::fromLatin1(item.text), QSize(item.width, item.height));
    for (int fps = 20; fps <= 30; fps += 5)
        ui->comboBox_sd_frame_rate->addItem(QIcon(), QString::number(fps), fps);
    for (int seconds = 1; seconds <= 2; ++seconds)
        ui->comboBox_sd_keyframe_src->addItem(QIcon(), QString::number(seconds), seconds);
    for (const NamedValue& item : kEncoderItems)
        ui->comboBox_encoder->addItem(QIcon(), QString::fromUtf8(item.text), item.value);
}

void SettingDialog::showVideoSettings()
{
    const QSize size = cfgGetSize(config(), kCfgVideoSize, 1280, 720, true);
    const int sizeIndex
        = ui->comboBox_sd_size->findText(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
    ui->comboBox_sd_size->setCurrentIndex(qMax(sizeIndex, 0));

    const int fps = cfgGetInt(config(), kCfgVideoFps, kFpsDefault, true);
    ui->comboBox_sd_frame_rate->setCurrentIndex(
        qMax(ui->comboBox_sd_frame_rate->findText(QString::number(fps)), 0));

    const int keyframe = cfgGetInt(config(), kCfgVideoKeyframeSec, kKeyframeDefault, true);
    ui->comboBox_sd_keyframe_src->setCurrentIndex(keyframe >= 2 ? 1 : 0);

    const int encoder = cfgGetInt(config(), kCfgVideoEncoder, kEncoderDefault, true);
    ui->comboBox_encoder->setCurrentIndex(encoder == 0 ? 0 : 1);
}

void SettingDialog::showMeetingKey()
{
    const struct {
        QLineEdit* edit;
        const char* key;
        const char* pattern;
        const char* placeholder;
    } fields[] = {
        { ui->lineEdit_meeting_key_head, kCfgMeetingKeyHead, kMeetingKeyHeadPattern, "3位字母" },
        { ui->lineEdit_meeting_key_body, kCfgMeetingKeyBody, kMeetingKeyBodyPattern, "5位数字" },
    };
    for (const auto& field : fields) {
        const std::string stored = cfgGetString(config(), field.key, std::string());
        const QRegExp pattern(QString::fromLatin1(field.pattern), Qt::CaseSensitive, QRegExp::RegExp);
        field.edit->setValidator(new QRegExpValidator(pattern, field.edit));
        field.edit->setPlaceholderText(QString::fromUtf8(field.placeholder));
        field.edit->setText(QString::fromStdString(stored));
    }
}

void SettingDialog::hideHostRow()
{
    ui->label_setting_user_host->hide();
    ui->label_setting_general_host->installEventFilter(this);
    ui->label_setting_general_host->hide();
    ui->frame_user_meeting_host->hide();
}

void SettingDialog::dressPageButtons()
{
    const struct {
        HBoxButton* button;
        const char* text;
        const char* normal;
        const char* hover;
    } pages[] = {
        { ui->pushButton_general, "常规设置", ":/image/setting/general_default.png",
            ":/image/setting/general_hover.png" },
        { ui->pushButton_aboutus, "关于我们", ":/image/setting/live_default.png",
            ":/image/setting/liva_hover.png" },
    };
    for (const auto& page : pages) {
        page.button->setText(QString::fromUtf8(page.text));
        page.button->setTextAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        page.button->setNormalImage(QString::fromLatin1(page.normal));
        page.button->setHoverImage(QString::fromLatin1(page.hover));
        page.button->setCheckedImage(QString::fromLatin1(page.hover));
        page.button->setNormalColor(QColor(51, 51, 51));
        page.button->setHoverColor(QColor(53, 151, 255));
        page.button->setCheckedColor(QColor(53, 151, 255));
    }
}

void SettingDialog::fillAboutPage()
{
    auto* shadow = new QGraphicsDropShadowEffect(ui->label_aud_icon);
    shadow->setOffset(0, 0);
    shadow->setColor(QColor(55, 155, 255, 180));
    shadow->setBlurRadius(30);
    ui->label_aud_icon->setGraphicsEffect(shadow);

    const char* version = CD && CD->app ? CD->app->version() : nullptr;
    ui->label_aud_version->setText(QStringLiteral("v%1").arg(QString::fromUtf8(version ? version : "")));

    const QUrl home(QString::fromStdString(servicehosts::deploymentUrl(servicehosts::kWebsiteHome)));
    const QString site
        = home.port() < 0 ? home.host() : QStringLiteral("%1:%2").arg(home.host()).arg(home.port());
    const struct {
        QLabel* label;
        QString html;
    } links[] = {
        { ui->label_aud_agreement,
            linkParagraph(QString(), websiteUrl(kWebsiteAgreementPath), QString::fromUtf8("用户协议")) },
        { ui->label_aud_policy,
            linkParagraph(QString(), websiteUrl(kWebsitePolicyPath), QString::fromUtf8("隐私政策")) },
        { ui->label_aud_more,
            linkParagraph(QString::fromUtf8("想要了解更多信息？请访问"), home.toString(), site) },
    };
    for (const auto& link : links) {
        link.label->setTextFormat(Qt::RichText);
        link.label->setText(link.html);
        connect(link.label, &QLabel::linkActivated, this, &SettingDialog::slot_openUrl);
    }
}

void SettingDialog::setUpPageGroup()
{
    auto* group = new QButtonGroup(this);
    group->addButton(ui->pushButton_general, 0);
    group->addButton(ui->pushButton_aboutus, 1);
    ui->pushButton_general->setCheckable(true);
    ui->pushButton_aboutus->setCheckable(true);
    ui->pushButton_general->setChecked(true);
    SwitchPage(0);
    connect(group, &QButtonGroup::idClicked, this, &SettingDialog::SwitchPage);
}

int SettingDialog::exec()
{
    const int result = QDialog::exec();
    writeBack();
    if (bg::Abstract_Config* store = config())
        store->save();
    return result;
}

// Both fields empty, or a complete room number. A half-typed number stays on screen but is never stored
// (Escape skips the close button's check): the next meeting would open under it.
bool SettingDialog::meetingKeyWritable() const
{
    const QString head = ui->lineEdit_meeting_key_head->text();
    const QString body = ui->lineEdit_meeting_key_body->text();
    if (head.isEmpty() && body.isEmpty())
        return true;
    return matchesWhole(head, kMeetingKeyHeadPattern) && matchesWhole(body, kMeetingKeyBodyPattern);
}

void SettingDialog::writeBack()
{
    cfgSetSize(config(), kCfgVideoSize, ui->comboBox_sd_size->currentData().toSize());
    cfgSetInt(config(), kCfgVideoFps, ui->comboBox_sd_frame_rate->currentData().toInt());
    cfgSetInt(config(), kCfgVideoKeyframeSec, ui->comboBox_sd_keyframe_src->currentData().toInt());
    cfgSetInt(config(), kCfgVideoEncoder, ui->comboBox_encoder->currentData().toInt());
    if (!meetingKeyWritable())
        return;
    cfgSetString(config(), kCfgMeetingKeyHead, ui->lineEdit_meeting_key_head->text().toStdString());
    cfgSetString(config(), kCfgMeetingKeyBody, ui->lineEdit_meeting_key_body->text().toStdString());
}

void SettingDialog::updateMeetingHost()
{
    QString host;
    if (CD && CD->data)
        host = QString::fromUtf8(CD->data->get_data(kDataUserMeetingHost, bg::Value("")).toString());
    // The account's address comes from the sign-in reply: shown as it is, never as markup.
    ui->label_setting_user_host->setTextFormat(Qt::PlainText);
    ui->label_setting_user_host->setText(host);
    hostCheckEnabled = !host.isEmpty();
    ui->label_setting_general_host->setVisible(hostCheckEnabled);
    ui->frame_user_meeting_host->setVisible(hostCheckEnabled);
}

bool SettingDialog::checkMeetingHost(bool* matches, QString* host) const
{
    if (!hostCheckEnabled)
        return false;
    const QString account = ui->label_setting_user_host->text();
    const bool equal = ui->lineEdit_host_ip->text().trimmed() == account;
    if (matches)
        *matches = equal;
    if (equal && host)
        *host = account;
    return true;
}

bool SettingDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->label_setting_general_host && event->type() == QEvent::MouseButtonPress
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && ++hostClickCount >= 5) {
        hostClickCount = 0;
        QLabel* label = ui->label_setting_user_host;
        if (label->isVisible())
            label->hide();
        else if (!label->text().isEmpty())
            label->show();
    }
    return QDialog::eventFilter(watched, event);
}

void SettingDialog::on_pushButton_close_clicked() { slot_close(); }

void SettingDialog::slot_close()
{
    if (meetingKeyWritable()) {
        accept();
        return;
    }
    if (auto* app = qobject_cast<ZovMeetingApplication*>(QCoreApplication::instance()))
        app->showMessageBox(QString::fromUtf8(kTextPrompt), QString::fromUtf8(kTextMeetingKeyIncomplete), 1);
}

void SettingDialog::SwitchPage(int id) { ui->stackedWidget->setCurrentIndex(id); }

void SettingDialog::on_pushButton_meeting_key_clear_clicked()
{
    ui->lineEdit_meeting_key_head->clear();
    ui->lineEdit_meeting_key_body->clear();
}

void SettingDialog::on_pushButton_meeting_key_whatis_clicked()
{
    QWidget* button = ui->pushButton_meeting_key_whatis;
    QCoreApplication::postEvent(button, new QHelpEvent(QEvent::ToolTip, QPoint(0, 0), QCursor::pos()));
}

void SettingDialog::slot_openUrl(QString url) { openUrlOrShowAddress(this, url); }
