// The main window's account concern: the account area of the title bar, login and purchase requests, the
// pay gate and the share link.
#include "ui/mainwindow.h"

#include "ui_mainwindow.h"

#include "app/zovmeetingapplication.h"
#include "global/accountkeys.h"
#include "global/appkeys.h"
#include "global/customevents.h"
#include "global/datakeys.h"
#include "global/eventdeliverer.h"
#include "global/settings.h"
#include "ui/Dialog/copysharetipsdialog.h"
#include "ui/Dialog/logindialog.h"
#include "ui/Dialog/settingdialog.h"
#include "ui/Dialog/viprightshowdialog.h"
#include "win/qssmanager.h"

#include <korvex/zovnet.h>

#include <bridge/abstract_config.h>
#include <bridge/bg_log.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>
#include <bridge/valuemap.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QThreadPool>
#include <QUuid>

#include <atomic>
#include <cstdio>

namespace {

const char kButtonStyle[] = "QPushButton{min-width: %1px;max-width: %1px;min-height: %2px;max-height: %2px; "
                            "border-image:url(%3);border-radius: %4px;}";
const char kLabelStyle[]
    = "QLabel{min-width: %1px;max-width: %1px;min-height: %2px;max-height: %2px; border-image:url(%3);}";
constexpr int kAvatarSize = 35;
constexpr int kAvatarRadius = 17;
// An avatar is small; a stalled transfer must not hold a pool thread (and the exit that waits for it).
constexpr int kAvatarTimeoutSeconds = 30;
// Set when the program quits: a download still running is abandoned instead of holding up the exit (the
// thread pool is waited for when the application ends).
std::atomic<bool> avatarDownloadsAbandoned { false };

const char kCommandApiPath[] = "/cmdApi";
const char kShareLink[] = "%1/?id=%2";
const char kMasked[] = "***";

// How far "end_time_limit" lets a membership be bought ahead: "<unit>+<count>".
enum class LimitUnit { Years, Months, Days };
const struct {
    const char* name;
    LimitUnit unit;
} kLimitUnits[] = {
    { "year", LimitUnit::Years },
    { "month", LimitUnit::Months },
};

QString dataText(const char* key, const char* def = "")
{
    if (!CD || !CD->data)
        return QString::fromUtf8(def);
    return QString::fromStdString(CD->data->get_data(key, bg::Value(def)).toStdString());
}

void setData(const char* key, const bg::Value& value)
{
    if (CD && CD->data)
        CD->data->set_data(key, value);
}

long long userId() { return CD && CD->data ? dataInteger(CD->data->get_data(kDataUserId, bg::Value(0))) : 0; }

// The membership plug-in's user-info (210) or purchase (220) dialog over `parent`. Its reply is only
// logged: without the plug-in the framework answers "module not exsit" and nothing shows.
void sendToMembership(int command, QWidget* parent, const char* logTag)
{
    if (!CD)
        return;
    bg::ValueMap args;
    args["parent"] = bg::Value(static_cast<void*>(parent));
    const std::string tag = logTag;
    CD->send(kMembershipModule, command, bg::Value(args),
        [tag](const bg::Value& reply) { BG_LOGD("%s%s", tag.c_str(), reply.write().c_str()); });
}

// `now` moved ahead by "end_time_limit"; a limit without a count (no "+", or no number after it) adds 0.
QDateTime advanceByEndTimeLimit(const QDateTime& now, const QString& limit)
{
    const QStringList parts = limit.split(QLatin1Char('+'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    const int count = parts.size() > 1 ? parts.at(1).toInt() : 0;
    LimitUnit unit = LimitUnit::Days;
    for (const auto& entry : kLimitUnits) {
        if (parts.at(0) == QLatin1String(entry.name))
            unit = entry.unit;
    }
    switch (unit) {
    case LimitUnit::Years:
        return now.addYears(count);
    case LimitUnit::Months:
        return now.addMonths(count);
    case LimitUnit::Days:
        break;
    }
    return now.addDays(count);
}

// `value` with every member whose name holds "token" masked, at any depth.
QJsonValue maskTokens(const QJsonValue& value)
{
    if (value.isArray()) {
        QJsonArray array = value.toArray();
        for (int i = 0; i < array.size(); ++i)
            array[i] = maskTokens(array.at(i));
        return array;
    }
    if (!value.isObject())
        return value;
    QJsonObject object = value.toObject();
    for (auto member = object.begin(); member != object.end(); ++member)
        *member = member.key().contains(QLatin1String("token"), Qt::CaseInsensitive)
            ? QJsonValue(QLatin1String(kMasked))
            : maskTokens(*member);
    return object;
}

// A login reply as the log may show it: tokens masked; a reply that is no JSON is not shown at all.
QString loggableReply(const QString& json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8());
    if (document.isObject())
        return QString::fromUtf8(
            QJsonDocument(maskTokens(document.object()).toObject()).toJson(QJsonDocument::Compact));
    if (document.isArray())
        return QString::fromUtf8(
            QJsonDocument(maskTokens(document.array()).toArray()).toJson(QJsonDocument::Compact));
    return QString::fromLatin1("<%1 characters>").arg(json.size());
}

} // namespace

void MainWindow::updateUserInfo()
{
    const bool signedIn = isSignedIn();
    ui->pushButton_login->setText(
        signedIn ? dataText(kDataUserName, kTextDefaultUserName) : QString::fromUtf8(kTextLogin));

    const bool member = signedIn && isMember();
    vipEndTime = member ? QDateTime::fromString(dataText(kDataUserEndTime), QLatin1String(kEndDateFormat))
                        : QDateTime();
    ui->pushButton_pay->setText(QString::fromUtf8(member ? kTextRenewMember : kTextBecomeMember));

    auto* app = qobject_cast<ZovMeetingApplication*>(QCoreApplication::instance());
    if (SettingDialog* settings = app ? app->settingDialog() : nullptr)
        settings->updateMeetingHost();

    const double scale = QssManager::dpiScale();
    ui->label_title_pic->setVisible(signedIn);

    const QString address = dataText(kDataUserAvatar);
    const QString tempPath = QDir::tempPath() + QLatin1Char('/') + QUuid::createUuid().toString();
    const QString avatarPath
        = QDir::tempPath() + QLatin1Char('/') + QString::fromLatin1("%1.jpg").arg(qint32(quint32(userId())));
    BG_LOGD("[TEMP目录qvatar路径]：%s", avatarPath.toUtf8().constData());

    if (!address.isEmpty()) {
        QPointer<MainWindow> self(this);
        const QString qss = QString::fromLatin1(kButtonStyle);
        static bool watchingQuit = false;
        if (!watchingQuit) {
            watchingQuit = true;
            QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit,
                [] { avatarDownloadsAbandoned.store(true); });
        }
        QThreadPool::globalInstance()->start([address, tempPath, avatarPath, self, qss] {
            downloadAvatar(address, tempPath, avatarPath, self, qss);
        });
        return;
    }

    const QString size = QString::number(int(scale * kAvatarSize));
    const QString radius = QString::number(int(scale * kAvatarRadius));
    const QString picture = QString::fromLatin1(kDefaultAvatar);
    const QString buttonStyle = QString::fromLatin1(kButtonStyle).arg(size, size, picture, radius);
    ui->label_title_pic->setStyleSheet(QString::fromLatin1(kLabelStyle).arg(size, size, picture));
    BG_LOGD("[头像设置quil为空]：%s", buttonStyle.toUtf8().constData());
    updateVipBorder();
}

void MainWindow::downloadAvatar(
    QString url, QString tempPath, QString avatarPath, QPointer<MainWindow> window, QString qss)
{
    Zov_Client::ZovNet net(url.toStdString());
    net.setTimeout(kAvatarTimeoutSeconds);
    net.setAbortFlag(&avatarDownloadsAbandoned);
    const Zov_Client::ZovResponse response = net.download(std::string(), tempPath.toStdString());
    const bool received = response.status == 200 || response.status == 206;
    // rename(2) replaces an older avatar of the same name in one step, so a failure leaves it whole.
    if (!received
        || std::rename(QFile::encodeName(tempPath).constData(), QFile::encodeName(avatarPath).constData())
            != 0) {
        QFile::remove(tempPath);
        BG_LOGW("avatar not stored in %s: status %d", avatarPath.toUtf8().constData(), response.status);
        return;
    }
    // The window may be gone by the time the GUI thread runs this; the guard is read there only.
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(
        app,
        [window, qss, avatarPath] {
            if (window)
                QMetaObject::invokeMethod(
                    window.data(), "slot_SetImage", Q_ARG(QString, qss), Q_ARG(QString, avatarPath));
        },
        Qt::QueuedConnection);
}

void MainWindow::slot_SetImage(QString qss, QString url)
{
    const double scale = QssManager::dpiScale();
    const QString size = QString::number(scale * kAvatarSize, 'g', 6);
    const QString radius = QString::number(scale * kAvatarRadius, 'g', 6);
    const QString buttonStyle = qss.arg(size, size, url, radius);
    ui->label_title_pic->setStyleSheet(QString::fromLatin1(kLabelStyle).arg(size, size, url));
    BG_LOGE("[头像设置quil不为空]：%s", buttonStyle.toUtf8().constData());
    updateVipBorder();
}

void MainWindow::updateVipBorder()
{
    ui->label_title_pic->setScaledContents(true);
    ui->label_title_pic->setPixmap(isMember() ? QPixmap(QString::fromLatin1(kVipBorder)) : QPixmap());
}

void MainWindow::showUserInfoDialog()
{
    if (isSignedIn()) {
        sendToMembership(kCmdUserInfoDialog, this, "[User_Info]:");
        return;
    }
    if (!loginDialog)
        return;
    loginDialog->setParent(this, loginDialog->windowFlags() | Qt::Dialog);
    loginDialog->exec();
}

void MainWindow::OnLoginResult()
{
    if (!isSignedIn()) {
        const bool wasHost
            = CD && CD->data && CD->data->get_data(kDataMeetingIsHost, bg::Value(true)).toBool();
        if (wasHost) {
            BG_LOGE("[CloseMeeting]:主持端退出登陆");
            EventDeliverer::instance()->deliver(new CloseMeetingEvent);
            setData(kDataMeetingToken, bg::Value(""));
        }
        EventDeliverer::instance()->deliver(new V3LogoutEvent);
    }
    updateUserInfo();
}

void MainWindow::showVipPayDialog()
{
    if (!isMember()) {
        VIPRightShowDialog rights(this);
        if (rights.exec() != 1)
            return;
    }
    sendToMembership(kCmdPurchaseDialog, this, "[Pay_vip]:");
}

void MainWindow::on_pushButton_pay_clicked()
{
    if (!isSignedIn()) {
        showUserInfoDialog();
        return;
    }
    if (isMember()) {
        const QDateTime latest
            = advanceByEndTimeLimit(QDateTime::currentDateTime(), dataText(kDataEndTimeLimit));
        if (latest < vipEndTime) {
            slot_ShowMessageBox(QString::fromUtf8(kTextNotice), QString::fromUtf8(kTextRenewalLimit), 1);
            return;
        }
    }
    sendToMembership(kCmdPurchaseDialog, this, "[Pay_vip]:");
}

void MainWindow::on_pushButton_copy_share_clicked()
{
    const QString room = ui->label_meetingID->text().remove(QString::fromUtf8(kTextRoomLabelPrefix));
    QString host = dataText(kDataNetMeetingHost);
    if (host.endsWith(QLatin1String(kCommandApiPath)))
        host.remove(QLatin1String(kCommandApiPath));

    auto* mime = new QMimeData;
    mime->setText(QString::fromLatin1(kShareLink).arg(host, room));
    QApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);

    bg::Abstract_Config* config = CD ? CD->config : nullptr;
    if (!cfgGetBool(config, kCfgShowCopyTips, true, false))
        return;
    auto* tips = new CopyShareTipsDialog(this);
    tips->exec();
    cfgSetValue(config, kCfgShowCopyTips, !tips->isNotRemind());
    if (config)
        config->save();
    tips->deleteLater();
}

void MainWindow::slot_loginCallBack(QString json_result, QString errMsg, int)
{
    if (!errMsg.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kTextLoginFailed), errMsg);
        box.addButton(QString::fromUtf8(kTextOk), QMessageBox::AcceptRole);
        box.exec();
        return;
    }
    BG_LOGD("执行成功：%s", loggableReply(json_result).toUtf8().constData());
    setData(kDataIsLogin, bg::Value(true));
}
