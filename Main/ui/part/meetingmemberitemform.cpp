#include "ui/part/meetingmemberitemform.h"

#include "ui_meetingmemberitemform.h"

#include "app/meetingnotice.h"
#include "global/customevents.h"
#include "global/datakeys.h"
#include "global/eventdeliverer.h"
#include "global/meetingkeys.h"
#include "global/meetingtimings.h"
#include "global/settings.h"
#include "net/netmanager.h"
#include "win/qssmanager.h"

#include <bridge/dataauth.h>
#include <bridge/bridge_init.h>
#include <bridge/interface.h>
#include <bridge/valuemap.h>

#include <QFontMetrics>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace {

constexpr char kStyleSheet[] = ":/qss/part/item/meetingmemberitemform.css";
constexpr char kPcIcon[] = "border-image: url(:/image/member_type_pc.png)";
constexpr char kPhoneIcon[] = "border-image: url(:/image/member_type_phone.png)";

// The row numbers its kind 1 voice, 2 video; an invitation says 1 video, 2 voice.
constexpr int kKindVoice = 1;
constexpr int kKindVideo = 2;
constexpr int kInviteVideo = 1;
constexpr int kInviteVoice = 2;
constexpr int kUnchanged = 3;
constexpr int kStatusRunning = 1;
constexpr int kStatusWaiting = 2;

bg::Value dataValue(const char* key, const bg::Value& fallback)
{
    return CD && CD->data ? CD->data->get_data(key, fallback) : fallback;
}

long long dataNumber(const char* key)
{
    const bg::Value value = dataValue(key, bg::Value(0));
    if (value.type() == bg::Value::VT_STRING || value.type() == bg::Value::VT_PTR)
        return QByteArray(value.toString()).trimmed().toLongLong();
    return dataInteger(value);
}

} // namespace

MeetingMemberItemForm::MeetingMemberItemForm(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::MeetingMemberItemForm>())
{
    ui->setupUi(this);
    // A member names itself: its name is shown as it is, never as markup.
    ui->label_mmitem_name->setTextFormat(Qt::PlainText);
    (new QssManager(this, false))->loadStyleSheet(QString::fromLatin1(kStyleSheet));
    EventDeliverer::instance()->registerReceiver(UserEventType::RefreshMemItemState, this);
    initForm();
    installEventFilter(this);
}

MeetingMemberItemForm::~MeetingMemberItemForm()
{
    EventDeliverer::instance()->unregisterReceiver(UserEventType::RefreshMemItemState, this);
}

void MeetingMemberItemForm::initForm()
{
    m_isHost = dataValue(kDataMeetingIsHost, bg::Value(true)).toBool();
    ui->widget_mmitem_for_screen->hide();
    ui->pushButton_mmitem_screen->hide();
    ui->pushButton_mmitem_audio->hide();
    ui->pushButton_mmitem_video->hide();
    ui->pushButton_mmitem_delete->hide();
    ui->pushButton_mmitem_audio->setCheckable(true);
    ui->pushButton_mmitem_video->setCheckable(true);
    ui->label_tips->hide();
}

void MeetingMemberItemForm::setMemberData(const MemberRecord& record)
{
    m_record = record;
    ui->label_mmitem_name->setText(record.displayName);
}

void MeetingMemberItemForm::setDeviceIcon(int type)
{
    if (type == 0)
        ui->label_mmitem_type_logo->setStyleSheet(QString::fromLatin1(kPcIcon));
    else if (type == 1)
        ui->label_mmitem_type_logo->setStyleSheet(QString::fromLatin1(kPhoneIcon));
}

void MeetingMemberItemForm::setKind(int kind)
{
    if (kind == kUnchanged || !m_isHost)
        return;
    m_kind = kind;
    ui->pushButton_mmitem_delete->hide();
    ui->pushButton_mmitem_screen->hide();
    ui->pushButton_mmitem_audio->setVisible(kind == kKindVoice);
    ui->pushButton_mmitem_video->setVisible(kind == kKindVideo);
    if (kind == 0) {
        ui->pushButton_mmitem_audio->setChecked(false);
        ui->pushButton_mmitem_video->setChecked(false);
    }
}

bool MeetingMemberItemForm::isMember(qint64 userId) const { return m_record.userId == userId; }

bool MeetingMemberItemForm::isScreenRequestPending() const { return m_status == kStatusWaiting; }

void MeetingMemberItemForm::setStatus(int status)
{
    if (status == kUnchanged)
        return;
    m_status = status;
    ui->pushButton_mmitem_screen->setVisible(status == kStatusRunning);
    ui->widget_mmitem_for_screen->setVisible(status == kStatusWaiting);
}

void MeetingMemberItemForm::on_pushButton_mmitem_audio_clicked(bool checked)
{
    inviteClicked(checked, kKindVoice, kInviteVoice);
}

void MeetingMemberItemForm::on_pushButton_mmitem_video_clicked(bool checked)
{
    inviteClicked(checked, kKindVideo, kInviteVideo);
}

void MeetingMemberItemForm::inviteClicked(bool checked, int rowKind, int inviteKind)
{
    QPushButton* button = rowKind == kKindVoice ? ui->pushButton_mmitem_audio : ui->pushButton_mmitem_video;
    if (checked && allSeatsTaken()) {
        button->setChecked(false);
        showMeetingNotice(QString::fromUtf8("提示"),
            QString::fromUtf8("当前最多允许%1人进行同时连麦").arg(meetingPusherNum()), 1);
        return;
    }
    if (checked) {
        setKind(rowKind);
        ui->label_tips->setText(
            QString::fromUtf8(rowKind == kKindVoice ? "等待语音连麦中..." : "等待视频连麦中..."));
        ui->label_tips->show();
    } else {
        setKind(0);
        ui->label_tips->hide();
    }
    EventDeliverer::instance()->deliver(new ViewerMemberInviteEvent(m_record.userId, inviteKind, checked));
}

void MeetingMemberItemForm::refreshState(qint64 userId, int kind, int status)
{
    if (!isMember(userId))
        return;
    const int before = m_status;
    setKind(kind);
    setStatus(status);
    if (ui->label_tips->isVisible()) {
        if (kind == kKindVideo || kind == kKindVoice) {
            ui->label_tips->setText(QString::fromUtf8(kind == kKindVideo ? "视频连麦成功" : "语音连麦成功"));
            QPointer<QLabel> tips = ui->label_tips;
            QTimer::singleShot(meetingTimings().rowTipHideMs, this, [tips] {
                if (tips)
                    tips->hide();
            });
        } else {
            ui->label_tips->hide();
        }
    }
    if (before == kStatusWaiting || m_status == kStatusWaiting)
        emit sig_refreshViewerListShow();
}

void MeetingMemberItemForm::on_pushButton_mmitem_screen_clicked()
{
    EventDeliverer::instance()->deliver(new ViewerMemberToupingEndEvent(m_record.userId));
}

void MeetingMemberItemForm::on_pushButton_mmitem_scn_yes_clicked()
{
    EventDeliverer::instance()->deliver(new ViewerMemberToupingEvent(m_record.userId, true));
}

void MeetingMemberItemForm::on_pushButton_mmitem_scn_no_clicked()
{
    EventDeliverer::instance()->deliver(new ViewerMemberToupingEvent(m_record.userId, false));
}

void MeetingMemberItemForm::on_pushButton_mmitem_delete_clicked()
{
    bg::ValueMap params;
    params["room_id"] = bg::Value(std::to_string(dataNumber(kDataChatroomId)));
    params["password"] = bg::Value(dataValue(kDataChatroomPwd, bg::Value("")).toStdString());
    params["kick_type"] = bg::Value(int(dataInteger(dataValue(kDataMeetingType, bg::Value(0)))));
    params["chat_id"] = bg::Value(m_record.peerId.toStdString());
    params["user_id"] = bg::Value(static_cast<long long>(m_record.userId));
    NetManager::instance()->addTask(NetManager::ChatroomKickout, params);
}

bool MeetingMemberItemForm::event(QEvent* event)
{
    if (int(event->type()) == UserEventType::RefreshMemItemState) {
        const auto* refresh = static_cast<RefreshMemItemStateEvent*>(event);
        refreshState(refresh->userId, refresh->kind, refresh->status);
        return true;
    }
    return QWidget::event(event);
}

bool MeetingMemberItemForm::hoverShowsButtons() const
{
    const qint64 self = dataInteger(dataValue(kDataMeetingSelfUserId, bg::Value(0LL)));
    return m_isHost && m_record.userId != self;
}

bool MeetingMemberItemForm::eventFilter(QObject* watched, QEvent* event)
{
    const bool enter = event->type() == QEvent::Enter;
    if (watched != this || !(enter || event->type() == QEvent::Leave) || !hoverShowsButtons())
        return QWidget::eventFilter(watched, event);
    // The kick button belongs to the host's hover set on every other member's row.
    if (m_kind == 0) {
        ui->pushButton_mmitem_audio->setVisible(enter);
        ui->pushButton_mmitem_video->setVisible(enter);
        ui->pushButton_mmitem_delete->setVisible(enter);
    }
    return true;
}

void MeetingMemberItemForm::paintEvent(QPaintEvent* event)
{
    int available = width() - int(50 * QssManager::dpiScale()) - ui->label_mmitem_type_logo->width();
    if (ui->label_tips->isVisible())
        available -= ui->label_tips->width();
    if (ui->widget_memberCtrl->isVisible())
        available -= ui->widget_memberCtrl->width();
    available = std::max(available, 0);
    ui->label_mmitem_name->setFixedWidth(available);
    ui->label_mmitem_name->setText(QFontMetrics(ui->label_mmitem_name->font())
                                       .elidedText(m_record.displayName, Qt::ElideRight, available));
    QWidget::paintEvent(event);
}
