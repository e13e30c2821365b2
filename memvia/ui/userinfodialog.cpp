#include "ui/userinfodialog.h"

#include "base/memvialog.h"
#include "base/vip/vipdata.h"
#include "base/vip/vipnet.h"
#include "base/vip/vippaths.h"
#include "ui/framelesswidgethelper.h"
#include "ui/skinmgr.h"
#include "ui/userheaderform.h"

#include <bridge/dataauth.h>

#include <QDate>
#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QVariant>

namespace {

constexpr char kEndTimeLimit[] = "end_time_limit";
constexpr char kLifetime[] = "终身会员";

int refreshDelayMs = 2000;
int refreshClicks = 0;

// The renewal window of "end_time_limit" ("year+1"): now moved ahead, or an invalid date when the value
// is not "<year|month|day>+<non-zero count>".
QDate renewalLimit(const QString& limit)
{
    const QStringList parts = limit.split('+', Qt::KeepEmptyParts);
    if (parts.size() != 2)
        return QDate();
    bool ok = false;
    const int count = parts[1].toInt(&ok);
    if (!ok || count == 0)
        return QDate();
    const QDate today = QDate::currentDate();
    if (parts[0] == "year")
        return today.addYears(count);
    if (parts[0] == "month")
        return today.addMonths(count);
    if (parts[0] == "day")
        return today.addDays(count);
    return QDate();
}

QString endTimeLimit()
{
    bg::Interface* component = memvia::module();
    if (!component || !component->data)
        return QString();
    return QString::fromStdString(component->data->get_data(kEndTimeLimit, bg::Value("")).toStdString());
}

QToolButton* linkButton(const char* name, const QString& text, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(text);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QLabel* label(const char* name, const QString& text, QWidget* parent)
{
    auto* created = new QLabel(text, parent);
    created->setObjectName(name);
    return created;
}

} // namespace

void UserInfoDialog::setRefreshDelayMs(int milliseconds) { refreshDelayMs = milliseconds; }

UserInfoDialog::UserInfoDialog(QWidget* parent)
    : QDialog(parent)
{
    buildForm();
    setWindowTitle(tr("账号信息"));
    setWindowIcon(QIcon());
    setWindowFlags(Qt::Dialog);
    setProperty("header_height", int(Base::dpiScale() * 28));
    SkinMgr::instance()->applyStyle(0, this);
    FramelessWidgetHelper::frame(this);
}

void UserInfoDialog::buildForm()
{
    resize(419, 247);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* child = new QWidget(this);
    child->setObjectName("top_childWidget");
    outer->addWidget(child);

    auto* column = new QVBoxLayout(child);
    auto* top = new QHBoxLayout;
    m_header = new UserHeaderForm(child);
    m_header->setObjectName("widget_header");
    m_header->setFixedSize(124, 124);
    top->addWidget(m_header);

    auto* grid = new QGridLayout;
    m_userName = label("label_user_username", tr("用户名"), child);
    grid->addWidget(m_userName, 0, 0, 1, 3);
    grid->addWidget(label("label_6", tr("用户ID:"), child), 1, 0);
    m_userId = label("label_user_id", "12345", child);
    grid->addWidget(m_userId, 1, 1, 1, 2);
    grid->addWidget(label("label_8", tr("VIP状态:"), child), 2, 0);
    m_vipName = label("label_user_vipname", tr("普通用户"), child);
    grid->addWidget(m_vipName, 2, 1, 1, 2);
    grid->addWidget(label("label_10", tr("到期时间:"), child), 3, 0);
    m_endTime = label("label_endtime", tr("无"), child);
    m_endTime->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    grid->addWidget(m_endTime, 3, 1);
    m_refresh = linkButton("toolButton_refresh", tr(" 刷新"), child);
    grid->addWidget(m_refresh, 3, 2);
    m_pay = new QPushButton(tr("续费"), child);
    m_pay->setObjectName("pushButton_pay");
    grid->addWidget(m_pay, 4, 0, 1, 2, Qt::AlignLeft);
    top->addLayout(grid, 1);
    column->addLayout(top);

    auto* bottom = new QHBoxLayout;
    bottom->addSpacing(160);
    m_changePassword = linkButton("toolButton_changepwd", tr("修改密码"), child);
    m_findPasswordLine = label("label_line_findpwd", "|", child);
    m_userCenter = linkButton("toolButton_usercenter", tr("个人中心"), child);
    m_userCenterLine = label("label_line_usercenter", "|", child);
    m_logout = linkButton("toolButton_loginout", tr("退出账号"), child);
    for (QWidget* widget : { static_cast<QWidget*>(m_changePassword),
             static_cast<QWidget*>(m_findPasswordLine), static_cast<QWidget*>(m_userCenter),
             static_cast<QWidget*>(m_userCenterLine), static_cast<QWidget*>(m_logout) })
        bottom->addWidget(widget);
    bottom->addStretch();
    column->addLayout(bottom);
    QMetaObject::connectSlotsByName(this);
}

void UserInfoDialog::setOptions(const bg::ValueMap& options)
{
    const auto flag = [&options](const char* key) { return options.get_data(key, bg::Value(true)).toBool(); };
    const bool findPassword = flag("show_findpwd");
    m_changePassword->setVisible(findPassword);
    m_findPasswordLine->setVisible(findPassword);
    const bool userCenter = flag("show_usercenter");
    m_userCenter->setVisible(userCenter);
    m_userCenterLine->setVisible(userCenter);
    m_showPay = flag("show_vippay");
    m_pay->setVisible(m_showPay);
    m_typeName = options.get_data("type_name", bg::Value("")).toStdString();
}

void UserInfoDialog::updateInfo()
{
    VipData* data = VipData::instance();
    m_userName->setText(QString::fromStdString(data->displayName(m_typeName)));
    m_userId->setText(QString::fromStdString(data->userIdText()));
    const QString suffix = data->busiType() == 1 ? QString(" (%1)").arg(tr("商业授权版")) : QString();
    m_vipName->setText(QString::fromStdString(data->vipName()) + suffix);
    if (!data->isMember() && !data->isExpired()) {
        m_pay->setText(tr("开通会员"));
        m_endTime->setText(tr("无会员"));
        if (m_showPay)
            m_pay->show();
    } else {
        m_pay->setText(tr("续费会员"));
        const std::string end = data->endTimeText();
        m_endTime->setText(QString::fromStdString(end));
        if (end == kLifetime)
            m_pay->hide(); // nothing left to renew
        else
            applyRenewalWindow();
    }
    if (!data->avatar().empty())
        m_header->setAvatar(QString::fromStdString(data->avatar()));
    m_header->update();
}

// A membership that already runs past the window of "end_time_limit" cannot be renewed from here.
void UserInfoDialog::applyRenewalWindow()
{
    VipData* data = VipData::instance();
    const QString limitText = endTimeLimit();
    if (limitText.isEmpty() || !m_showPay || !data->isMember())
        return;
    const QDate limit = renewalLimit(limitText);
    if (!limit.isValid())
        return;
    const QDate end = QDate::fromString(QString::fromStdString(data->endTimeText()), "yyyy-MM-dd");
    m_pay->setVisible(!(limit < end));
}

void UserInfoDialog::showEvent(QShowEvent* event)
{
    updateInfo();
    QDialog::showEvent(event);
}

void UserInfoDialog::on_toolButton_refresh_clicked()
{
    if (refreshClicks == 0) {
        refreshClicks = 1;
        requestProductState();
        return;
    }
    const int token = ++refreshClicks;
    QPointer<UserInfoDialog> self(this);
    QTimer::singleShot(refreshDelayMs, this, [self, token] {
        if (!self)
            return;
        if (token != refreshClicks) {
            BG_LOGE("------------ canceled,  token=%d, session=%d", token, refreshClicks);
            return;
        }
        self->requestProductState();
    });
}

void UserInfoDialog::requestProductState()
{
    QPointer<UserInfoDialog> self(this);
    VipNet::instance()->getProductState([self](int errcode, std::string errmsg, std::string result) {
        if (errcode != 0) {
            BG_LOGE("vip_queryProductState err: %s", errmsg.c_str());
            return;
        }
        if (!VipData::instance()->parseProductStateResult(result) || !self)
            return;
        self->updateInfo();
        emit self->sig_sendState();
    });
}

void UserInfoDialog::on_pushButton_pay_clicked()
{
    close();
    emit sig_needPay(parentWidget());
}

void UserInfoDialog::on_toolButton_changepwd_clicked()
{
    const std::string address = Base::websiteUrl(vippages::kForgetName);
    if (!address.empty())
        QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
}

void UserInfoDialog::on_toolButton_usercenter_clicked() { VipData::instance()->jumpTarget(0); }

void UserInfoDialog::on_toolButton_loginout_clicked()
{
    VipData::instance()->clear();
    close();
    emit sig_loginOut();
    emit sig_sendState();
}
