#include "ui/part/newmeetingreadyform.h"

#include "ui_newmeetingreadyform.h"

#include "app/meetingnotice.h"
#include "app/zovmeetingapplication.h"
#include "global/customevents.h"
#include "global/eventdeliverer.h"
#include "global/randomsource.h"
#include "global/roomkeys.h"
#include "global/settings.h"
#include "global/valueqt.h"
#include "net/netmanager.h"
#include "ui/Dialog/openphonecloudmeetingdialog.h"
#include "ui/Dialog/settingdialog.h"
#include "win/qssmanager.h"

#include <bridge/bg_log.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>
#include <bridge/valuemap.h>

#include <json/value.h>
#include <jsonread/jsonread.h>

#include <QCoreApplication>
#include <QDebug>
#include <QListView>
#include <QRegExpValidator>

#include <memory>
#include <optional>
#include <stdexcept>

namespace {

constexpr char kStyleSheet[] = ":/qss/part/newmeetingreadyform.css";
constexpr int kCreatePage = 0;
constexpr int kJoinPage = 1;

// Combo-box index to audio mode (0 system sound only, 1 microphone only, 2 both, 3 none).
constexpr int kAudioModes[] = { 2, 1, 0, 3 };

bg::Abstract_Config* config() { return CD ? CD->config : nullptr; }

bg::Value dataValue(const char* key, const bg::Value& fallback)
{
    return CD && CD->data ? CD->data->get_data(key, fallback) : fallback;
}

void setData(const char* key, const bg::Value& value)
{
    if (CD && CD->data)
        CD->data->set_data(key, value);
}

QString dataText(const char* key)
{
    return QString::fromUtf8(dataValue(key, bg::Value("")).toStdString("").c_str());
}

void notice(const QString& text) { showMeetingNotice(QString::fromUtf8("提示"), text, 1); }

QString fromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), int(text.size())); }

ZovMeetingApplication* application() { return qobject_cast<ZovMeetingApplication*>(QCoreApplication::instance()); }

bool parseJson(const QString& text, Json::Value& root, std::string& error)
{
    const QByteArray bytes = text.toUtf8();
    return jsonread::parse(bytes.constData(), bytes.constData() + bytes.size(), root, &error);
}

// Strict readers: a member of another type is an error with the member's name, never a silent default.
std::string requiredString(const Json::Value& object, const char* name)
{
    const Json::Value& value = jsonread::member(object, name);
    if (!value.isString())
        throw std::runtime_error(std::string("\"") + name + "\" is missing or not a string");
    return value.asString();
}

std::string optionalString(const Json::Value& object, const char* name)
{
    const Json::Value& value = jsonread::member(object, name);
    if (value.isNull())
        return std::string();
    if (!value.isString())
        throw std::runtime_error(std::string("\"") + name + "\" is not a string");
    return value.asString();
}

long long optionalInt64(const Json::Value& object, const char* name)
{
    const Json::Value& value = jsonread::member(object, name);
    if (value.isNull())
        return 0;
    const std::optional<int64_t> number = jsonread::toInt64(value);
    if (!number)
        throw std::runtime_error(std::string("\"") + name + "\" is not a 64-bit integer");
    return *number;
}

int optionalInt(const Json::Value& object, const char* name)
{
    const Json::Value& value = jsonread::member(object, name);
    if (value.isNull())
        return 0;
    if (!value.isInt())
        throw std::runtime_error(std::string("\"") + name + "\" is not a 32-bit integer");
    return value.asInt();
}

// The main streamer's id: the last element of "streamers" whose "main" is the integer 1; 0 when none.
long long mainStreamId(const Json::Value& streamers)
{
    long long id = 0;
    if (!streamers.isArray())
        return id;
    for (const Json::Value& streamer : streamers) {
        if (!streamer.isObject())
            continue;
        const Json::Value& main = jsonread::member(streamer, "main");
        if ((main.isInt() || main.isUInt()) && main.asInt64() == 1)
            id = optionalInt64(streamer, "stream_id");
    }
    return id;
}

} // namespace

NewMeetingReadyForm::NewMeetingReadyForm(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::NewMeetingReadyForm>())
{
    ui->setupUi(this);
    (new QssManager(this, false))->loadStyleSheet(QString::fromLatin1(kStyleSheet));
    EventDeliverer::instance()->registerReceiver(UserEventType::V3Logout, this);
    init();
}

NewMeetingReadyForm::~NewMeetingReadyForm()
{
    EventDeliverer::instance()->unregisterReceiver(UserEventType::V3Logout, this);
}

bool NewMeetingReadyForm::event(QEvent* event) { return QWidget::event(event); }

void NewMeetingReadyForm::init()
{
    ui->label_show_img->setScaledContents(true);
    ui->label_show_img->setPixmap(QPixmap(QStringLiteral(":/image/ready_showImg.png")));
    showPage(kCreatePage);

    const QString title = QString::fromStdString(cfgGetStdString(config(), kCfgLastMeetingTitle, "", true));
    cfgGetBool(config(), kCfgLastMeetingPwdUse, true, true);
    const int audioIndex = cfgGetInt(config(), kCfgLastMeetingAudioType, 0, true);
    const QString nickname = QString::fromStdString(cfgGetStdString(config(), kCfgLastMeetingAddName, "", true));

    ui->lineEdit_create_meetingtitle->setValidator(
        new QRegExpValidator(QRegExp(QStringLiteral("^[^\\s]*$")), ui->lineEdit_create_meetingtitle));
    ui->lineEdit_create_meetingtitle->setMaxLength(30);
    ui->lineEdit_create_meetingtitle->setPlaceholderText(QString::fromUtf8("请输入30个字以内的主题"));
    ui->lineEdit_create_meetingtitle->setText(title);

    ui->comboBox_voices->setView(new QListView(ui->comboBox_voices));
    const char* items[] = { "麦克风和系统声音", "仅麦克风", "仅系统声音", "不开启声音" };
    for (int i = 0; i < 4; ++i)
        ui->comboBox_voices->addItem(QString::fromUtf8(items[i]), i);
    ui->comboBox_voices->setCurrentIndex(audioIndex < ui->comboBox_voices->count() ? audioIndex : 0);

    ui->lineEdit_add_name->setPlaceholderText(QString::fromUtf8("请输入您的昵称"));
    ui->lineEdit_add_name->setText(nickname);
    // The join page asks for the room's password: without it a password would protect nothing.
    ui->lineEdit_add_pwd->setPlaceholderText(QString::fromUtf8("请输入房间密码(可不填)"));

    ui->checkBox_no_pwd->setChecked(true);
    ui->lineEdit_create_meetingpwd->setEnabled(false);
    ui->lineEdit_create_meetingpwd->setValidator(
        new QRegExpValidator(QRegExp(QStringLiteral("^[0-9]{4}$")), ui->lineEdit_create_meetingpwd));
    ui->lineEdit_create_meetingpwd->setPlaceholderText(QString::fromUtf8("请设置4位数字密码，不能包含空格"));
}

void NewMeetingReadyForm::showPage(int page)
{
    ui->stackedWidget->setCurrentIndex(page);
    ui->pushButton_change_to_creat->setChecked(page == kCreatePage);
    ui->pushButton_change_to_add->setChecked(page == kJoinPage);
}

void NewMeetingReadyForm::on_pushButton_change_to_creat_clicked() { showPage(kCreatePage); }

void NewMeetingReadyForm::on_pushButton_change_to_add_clicked() { showPage(kJoinPage); }

void NewMeetingReadyForm::on_comboBox_voices_currentIndexChanged(int index)
{
    if (index >= 0 && index < 4)
        m_audioMode = kAudioModes[index];
}

void NewMeetingReadyForm::on_checkBox_no_pwd_stateChanged(int state)
{
    ui->lineEdit_create_meetingpwd->setEnabled(state == 0);
    qDebug() << "[no_pwd]:" << state;
}

void NewMeetingReadyForm::on_pushButton_get_phone_links_clicked()
{
    OpenPhoneCloudMeetingDialog dialog(window());
    dialog.exec();
}

QString NewMeetingReadyForm::nextTag()
{
    return QStringLiteral("ready-%1-%2").arg(quintptr(this), 0, 16).arg(++m_serial);
}

QString NewMeetingReadyForm::makeRoomNumber(const QString& head, const QString& body)
{
    if (!head.isEmpty() && !body.isEmpty())
        return head + body;
    const quint64 value = (quint64(randomU32()) * 100000000ULL) >> 32;
    return QStringLiteral("%1").arg(value, 8, 10, QLatin1Char('0'));
}

void NewMeetingReadyForm::on_pushButton_create_meeting_clicked()
{
    qDebug() << "开启直播";
    if (!isSignedIn()) {
        EventDeliverer::instance()->deliver(new LoginEvent);
        return;
    }
    if (!isMember()) {
        EventDeliverer::instance()->deliver(new PayEvent);
        return;
    }
    const QString title = ui->lineEdit_create_meetingtitle->text();
    if (title.isEmpty()) {
        notice(QString::fromUtf8("请输入直播主题"));
        return;
    }
    QString password = QString::fromLatin1(kNoPassword);
    if (!ui->checkBox_no_pwd->isChecked()) {
        password = ui->lineEdit_create_meetingpwd->text();
        if (!QRegExp(QStringLiteral("^[0-9]{4}$")).exactMatch(password)) {
            notice(QString::fromUtf8("请设置4位数字密码"));
            return;
        }
    }
    const QString preset = dataText(kRoomPresetHost);
    bool matches = true;
    QString host;
    ZovMeetingApplication* app = application();
    SettingDialog* settings = app ? app->settingDialog() : nullptr;
    if (settings && settings->checkMeetingHost(&matches, &host) && !matches) {
        notice(QString::fromUtf8("填写的直播地址与账号配置的不匹配，\n请前往设置中重新填写"));
        return;
    }
    setData(kRoomServiceHost, bg::ValueQt(host.isEmpty() ? preset : host));
    ui->pushButton_create_meeting->setText(QString::fromUtf8("正在开启直播中..."));
    ui->pushButton_create_meeting->setEnabled(false);
    requestCreateMeeting(title, password, m_area, m_audioMode);
}

void NewMeetingReadyForm::requestCreateMeeting(
    const QString& title, const QString& password, const QRect& area, int audioMode)
{
    const QString tag = nextTag();
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(NetManager::instance(), &NetManager::SRVCreateMeetingResult, this,
        [=](bool result, QString json, int code, QString error, QString uuid) {
            if (uuid != tag)
                return;
            QObject::disconnect(*connection);
            onCreateMeetingResult(result, json, code, error, title, password, area, audioMode);
        });
    m_meetingKey = makeRoomNumber(QString::fromStdString(cfgGetString(config(), kCfgMeetingKeyHead, "")),
        QString::fromStdString(cfgGetString(config(), kCfgMeetingKeyBody, "")));
    bg::ValueMap params;
    params["title"] = bg::Value(title.toUtf8().toStdString());
    params["meeting_key"] = bg::Value(m_meetingKey.toUtf8().toStdString());
    params["meeting_pwd"] = bg::Value(password.toUtf8().toStdString());
    params["req_id"] = bg::Value(tag.toStdString());
    NetManager::instance()->addTask(NetManager::SRVCreateMeeting, params);
}

void NewMeetingReadyForm::onCreateMeetingResult(bool result, const QString& json, int code, const QString& error,
    const QString& title, const QString& password, const QRect& area, int audioMode)
{
    ui->pushButton_create_meeting->setText(QString::fromUtf8("开启直播"));
    ui->pushButton_create_meeting->setEnabled(true);
    if (!result) {
        BG_LOGE("[create开启直播失败] error info: %d %s", code, error.toUtf8().constData());
        notice(QString::fromUtf8("开启直播失败，请稍后再重试\n %1 %2").arg(code).arg(error));
        return;
    }
    // A reply that names no meeting made none: it is a failure like any other.
    Json::Value root;
    std::string parseError;
    std::string key, chatHost, chatWss;
    long long duration = 0;
    int viewer = 0, pusher = 0;
    bool readable = parseJson(json, root, parseError) && jsonread::objectOf(root, "meetting") != nullptr;
    if (readable) {
        try {
            const Json::Value& meeting = jsonread::member(root, "meetting");
            key = optionalString(meeting, "meetting_key");
            chatHost = optionalString(meeting, "chat_host");
            chatWss = optionalString(meeting, "chat_wss");
            duration = optionalInt64(meeting, "duration");
            viewer = optionalInt(meeting, "viewer");
            pusher = optionalInt(meeting, "pusher");
            readable = !key.empty();
        } catch (const std::exception&) {
            readable = false;
        }
    }
    if (!readable) {
        BG_LOGW("[开启直播失败-返回报文解析出错]: %s", json.toUtf8().constData());
        notice(QString::fromUtf8("开启直播失败，请稍后再重试"));
        return;
    }
    setData(kRoomMeetingKeyMain, bg::Value(key));
    setData(kRoomIsHost, bg::Value(true));
    setData(kRoomChatHostMain, bg::Value(chatHost));
    setData(kRoomChatWssMain, bg::Value(chatWss));
    setData(kRoomPusherNum, bg::Value(pusher));
    if (ZovMeetingApplication* app = application())
        app->showMeetingKey(fromUtf8(key));
    EventDeliverer::instance()->deliver(
        new V3ReadyToCreateMeetingEvent(title, password, area, audioMode, qint64(duration), viewer));
    cfgSetStdString(config(), kCfgLastMeetingTitle, ui->lineEdit_create_meetingtitle->text().toUtf8().constData());
    cfgSetInt(config(), kCfgLastMeetingAudioType, ui->comboBox_voices->currentIndex());
}

void NewMeetingReadyForm::on_pushButton_add_meeting_clicked()
{
    qDebug() << "加入直播";
    if (ui->lineEdit_add_meeting_key->text().isEmpty()) {
        notice(QString::fromUtf8("请先输入直播房间号"));
        return;
    }
    if (ui->lineEdit_add_name->text().isEmpty()) {
        notice(QString::fromUtf8("请先输入昵称"));
        return;
    }
    ui->pushButton_add_meeting->setEnabled(false);
    requestJoinMeeting(ui->lineEdit_add_name->text(), ui->lineEdit_add_pwd->text());
}

void NewMeetingReadyForm::requestJoinMeeting(const QString& nickname, const QString& password)
{
    const QString tag = nextTag();
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(NetManager::instance(), &NetManager::SRVJoinMeetingResult, this,
        [=](bool result, QString json, int code, QString error, QString uuid) {
            if (uuid != tag)
                return;
            QObject::disconnect(*connection);
            onJoinMeetingResult(result, json, code, error, nickname);
        });
    bg::ValueMap params;
    params["user_name"] = bg::Value(nickname.toUtf8().toStdString());
    params["meeting_key"] = bg::Value(ui->lineEdit_add_meeting_key->text().toUtf8().toStdString());
    params["meeting_pwd"] = bg::Value(password.toUtf8().toStdString());
    params["req_id"] = bg::Value(tag.toStdString());
    NetManager::instance()->addTask(NetManager::SRVJoinMeeting, params);
}

void NewMeetingReadyForm::onJoinMeetingResult(
    bool result, const QString& json, int code, const QString& error, const QString& nickname)
{
    Q_UNUSED(code);
    ui->pushButton_add_meeting->setEnabled(true);
    if (!result) {
        BG_LOGW("[加入直播失败]");
        notice(QString::fromUtf8("加入直播失败.\n%1").arg(error));
        return;
    }
    Json::Value root;
    std::string readError;
    std::string key, chatHost, chatWss, roomId, roomPwd, title;
    long long duration = 0, mainId = 0;
    int viewer = 0;
    bool readable = parseJson(json, root, readError);
    if (readable && !root.isObject()) {
        readable = false;
        readError = "the reply is not a JSON object";
    }
    if (readable) {
        try {
            const Json::Value& meeting = jsonread::member(root, "meetting");
            if (!meeting.isObject())
                throw std::runtime_error("\"meetting\" is missing or not an object");
            key = requiredString(meeting, "meetting_key");
            chatHost = requiredString(meeting, "chat_host");
            chatWss = requiredString(meeting, "chat_wss");
            roomId = requiredString(meeting, "room_id");
            roomPwd = requiredString(meeting, "room_pwd");
            title = requiredString(meeting, "title");
            duration = optionalInt64(meeting, "duration");
            viewer = optionalInt(meeting, "viewer");
            // The service lists the streamers inside the meeting; older replies put them beside it.
            const Json::Value& inside = jsonread::member(meeting, "streamers");
            mainId = mainStreamId(inside.isArray() ? inside : jsonread::member(root, "streamers"));
        } catch (const std::exception& failure) {
            readable = false;
            readError = failure.what();
        }
    }
    if (!readable) {
        BG_LOGW("[加入直播失败，返回报文解析异常]");
        notice(QString::fromUtf8("加入直播失败：\n%1").arg(fromUtf8(readError)));
        return;
    }
    setData(kRoomIsHost, bg::Value(false));
    setData(kRoomMeetingKeyClient, bg::ValueQt(fromUtf8(key)));
    EventDeliverer::instance()->deliver(new V3ReadyToAddMeetingEvent(nickname, qint64(mainId), QString(),
        fromUtf8(chatHost), fromUtf8(chatWss), fromUtf8(title), fromUtf8(roomId), fromUtf8(roomPwd), QString(),
        qint64(duration), viewer));
    cfgSetStdString(config(), kCfgLastMeetingAddName, ui->lineEdit_add_name->text().toUtf8().constData());
}
