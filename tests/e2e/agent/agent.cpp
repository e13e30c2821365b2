#include "agent.h"

#include "app/zovmeetingapplication.h"
#include "global/loginkeys.h"
#include "global/meetingprompt.h"
#include "global/settings.h"
#include "media/openglwidget.h"
#include "media/painterwidget.h"
#include "ui/Dialog/logindialog.h"
#include "ui/mainwindow.h"
#include "global/roomkeys.h"
#include "ui/part/meetingchatroomform.h"
#include "ui/part/meetingmainform.h"
#include "ui/part/meetingmemberitemform.h"
#include "ui/part/newmeetingreadyform.h"

#include "support/colourbars.h"

#include <bridge/abstract_config.h>
#include <bridge/bridge_init.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>

#include <chatwidgets/chatwidget.h>
#include <studio/screengrabber.h>
#include <studio/zovmwidget.h>

#include <libyuv/convert_argb.h>

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QCryptographicHash>
#include <QLabel>
#include <QListWidget>
#include <QStackedWidget>

#include <atomic>
#include <cstring>

namespace {

constexpr int kDesktopWidth = 1280;
constexpr int kDesktopHeight = 720;

QString pngBase64(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QString::fromLatin1(bytes.toBase64());
}

QImage imageOf(const I420FramePtr& frame)
{
    if (!frame || !frame->data || frame->width == 0 || frame->height == 0)
        return {};
    QImage image(int(frame->width), int(frame->height), QImage::Format_ARGB32);
    libyuv::I420ToARGB(frame->dataY(), int(frame->strideY()), frame->dataU(), int(frame->strideU()), frame->dataV(),
        int(frame->strideV()), image.bits(), image.bytesPerLine(), image.width(), image.height());
    return image;
}

QString nameOf(const QWidget* widget)
{
    QString name = widget->objectName().isEmpty() ? QString::fromLatin1(widget->metaObject()->className())
                                                   : widget->objectName();
    for (const QWidget* parent = widget->parentWidget(); parent; parent = parent->parentWidget()) {
        if (!parent->objectName().isEmpty() && !parent->objectName().startsWith(QLatin1String("qt_"))) {
            name = parent->objectName() + '/' + name;
            break;
        }
    }
    return name;
}

QJsonArray labelTexts(const QWidget* widget)
{
    QJsonArray texts;
    for (const QLabel* label : widget->findChildren<QLabel*>()) {
        if (!label->text().isEmpty())
            texts.append(label->text());
    }
    return texts;
}

template <typename T>
QList<T*> allOf()
{
    QList<T*> found;
    for (QWidget* widget : QApplication::allWidgets()) {
        if (T* typed = qobject_cast<T*>(widget))
            found.append(typed);
    }
    return found;
}

// The colour bars with the square one step further at every grab, like a desktop that changes.
bool grabPattern(DesktopPicture& picture)
{
    static std::atomic<uint32_t> number { 0 };
    const QImage image = colourbars::draw(kDesktopWidth, kDesktopHeight, number++);
    picture.width = image.width();
    picture.height = image.height();
    picture.stride = image.bytesPerLine();
    picture.bgra.resize(size_t(picture.stride) * size_t(picture.height));
    std::memcpy(picture.bgra.data(), image.constBits(), picture.bgra.size());
    return true;
}

template <typename T>
T* first()
{
    const QList<T*> found = allOf<T>();
    return found.isEmpty() ? nullptr : found.first();
}

// Types into a line edit of `parent` as a user would: its text replaced.
bool type(QWidget* parent, const char* name, const QString& text)
{
    auto* edit = parent->findChild<QLineEdit*>(QLatin1String(name));
    if (!edit)
        return false;
    edit->setText(text);
    return true;
}

bool click(QWidget* parent, const char* name)
{
    auto* button = parent->findChild<QPushButton*>(QLatin1String(name));
    if (!button || !button->isEnabled())
        return false;
    button->click();
    return true;
}

QString dataText(const char* key)
{
    if (!CD || !CD->data)
        return QString();
    return QString::fromUtf8(CD->data->get_data(key, bg::Value("")).toStdString("").c_str());
}

} // namespace

bool presetSignIn(const QString& account, const QString& password)
{
    bg::Abstract_Config* store = CD ? CD->config : nullptr;
    if (account.isEmpty() || password.isEmpty() || !store)
        return false;
    const QByteArray digest = QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Md5).toHex();
    cfgSetStdString(store, kCfgKeyAuto, "1");
    cfgSetStdString(store, kCfgAccount, account.toUtf8().constData());
    cfgSetStdString(store, kCfgPassword, digest.constData());
    store->save();
    return true;
}

Agent::Agent(ZovMeetingApplication& app, QObject* parent)
    : QObject(parent)
    , m_app(app)
{
    m_app.setMessageSink([this](const QString& title, const QString& text, int buttons) {
        recordMessage(QStringLiteral("box"), title, text, buttons);
    });
    setMeetingPromptHook([this](const MeetingPrompt& prompt) {
        recordMessage(QStringLiteral("prompt"), prompt.title, prompt.text, prompt.buttons);
        return 1;
    });
    studio::setScreenGrabber(grabPattern);
    addCommands();
}

Agent::~Agent()
{
    studio::setScreenGrabber({});
    setMeetingPromptHook({});
    m_app.setMessageSink({});
}

void Agent::recordMessage(const QString& kind, const QString& title, const QString& text, int buttons)
{
    m_messages.append(QJsonObject { { QStringLiteral("kind"), kind }, { QStringLiteral("title"), title },
        { QStringLiteral("text"), text }, { QStringLiteral("buttons"), buttons } });
}

void Agent::addCommands()
{
    m_control.addCommand(QStringLiteral("ping"), [](const QJsonObject&) {
        return QJsonObject { { QStringLiteral("pid"), qint64(QCoreApplication::applicationPid()) } };
    });

    m_control.addCommand(QStringLiteral("page"), [this](const QJsonObject&) {
        MainWindow* window = m_app.mainWindow();
        auto* stack = window ? window->findChild<QStackedWidget*>(QStringLiteral("stackedWidget_main")) : nullptr;
        if (!stack || !stack->currentWidget())
            return ControlServer::failure(QStringLiteral("the main window has no page"));
        return QJsonObject { { QStringLiteral("page"), stack->currentWidget()->objectName() } };
    });

    // Signs a member in as the client itself would at start-up: the stored account and digest with automatic
    // sign-in on, then the login dialog's automatic sign-in.
    m_control.addCommand(QStringLiteral("signin"), [](const QJsonObject& request) {
        const QString account = request.value(QStringLiteral("account")).toString();
        const QString password = request.value(QStringLiteral("password")).toString();
        if (!presetSignIn(account, password))
            return ControlServer::failure(QStringLiteral("signin needs \"account\" and \"password\""));
        const QList<LoginDialog*> dialogs = allOf<LoginDialog>();
        if (dialogs.isEmpty())
            return ControlServer::failure(QStringLiteral("no login dialog"));
        QMetaObject::invokeMethod(dialogs.first(), "AutoLogin", Qt::QueuedConnection);
        return QJsonObject {};
    });

    m_control.addCommand(QStringLiteral("account"), [](const QJsonObject&) {
        return QJsonObject { { QStringLiteral("signedIn"), isSignedIn() } };
    });

    m_control.addCommand(QStringLiteral("messages"), [this](const QJsonObject&) {
        return QJsonObject { { QStringLiteral("messages"), m_messages } };
    });

    m_control.addCommand(QStringLiteral("rows"), [](const QJsonObject&) {
        QJsonArray rows;
        for (const MeetingMemberItemForm* row : allOf<MeetingMemberItemForm>()) {
            const MemberRecord& record = row->memberData();
            rows.append(QJsonObject { { QStringLiteral("userId"), QString::number(record.userId) },
                { QStringLiteral("name"), record.displayName }, { QStringLiteral("host"), record.host },
                { QStringLiteral("visible"), row->isVisible() }, { QStringLiteral("labels"), labelTexts(row) } });
        }
        return QJsonObject { { QStringLiteral("rows"), rows } };
    });

    // The chat items of every list of the chat panels: each item's plain text and its labels.
    m_control.addCommand(QStringLiteral("chatitems"), [](const QJsonObject&) {
        QJsonArray items;
        for (const QListWidget* list : allOf<QListWidget>()) {
            const QWidget* panel = list;
            while (panel && !qobject_cast<const MeetingChatRoomForm*>(panel))
                panel = panel->parentWidget();
            if (!panel)
                continue;
            for (int i = 0; i < list->count(); ++i) {
                QListWidgetItem* item = list->item(i);
                QWidget* view = list->itemWidget(item);
                QJsonArray texts = view ? labelTexts(view) : QJsonArray();
                if (view && !view->accessibleName().isEmpty())
                    texts.prepend(view->accessibleName());
                if (!item->text().isEmpty())
                    texts.prepend(item->text());
                items.append(QJsonObject { { QStringLiteral("view"), nameOf(list) }, { QStringLiteral("texts"), texts } });
            }
        }
        return QJsonObject { { QStringLiteral("items"), items } };
    });

    // Each renderer's last picture, as PNG in Base64.
    m_control.addCommand(QStringLiteral("frames"), [](const QJsonObject&) {
        QJsonArray frames;
        auto add = [&frames](const QWidget* renderer, const QImage& image) {
            frames.append(QJsonObject { { QStringLiteral("renderer"), nameOf(renderer) },
                { QStringLiteral("visible"), renderer->isVisible() }, { QStringLiteral("width"), image.width() },
                { QStringLiteral("height"), image.height() },
                { QStringLiteral("png"), image.isNull() ? QString() : pngBase64(image) } });
        };
        for (const PainterWidget* painter : allOf<PainterWidget>())
            add(painter, painter->image());
        for (const OpenGLWidget* gl : allOf<OpenGLWidget>())
            add(gl, imageOf(gl->frame()));
        return QJsonObject { { QStringLiteral("frames"), frames } };
    });

    // Creates a meeting from the ready page: title, and a password or none.
    // The live address typed in the settings is the one the account is configured with.
    m_control.addCommand(QStringLiteral("create"), [](const QJsonObject& request) {
        NewMeetingReadyForm* ready = first<NewMeetingReadyForm>();
        if (!ready)
            return ControlServer::failure(QStringLiteral("no ready page"));
        // Media under the sanitizers on a busy machine connects slowly: the push gets more time.
        for (ZovMWidget* studio : allOf<ZovMWidget>())
            studio->setConnectTimeoutMs(60000);
        for (QLineEdit* edit : allOf<QLineEdit>()) {
            if (edit->objectName() == QLatin1String("lineEdit_host_ip"))
                edit->setText(dataText("user_meeting_host")); // the account's live address
        }
        click(ready, "pushButton_change_to_creat");
        const QString password = request.value(QStringLiteral("password")).toString();
        type(ready, "lineEdit_create_meetingtitle", request.value(QStringLiteral("title")).toString());
        if (auto* noPassword = ready->findChild<QCheckBox*>(QStringLiteral("checkBox_no_pwd")))
            noPassword->setChecked(password.isEmpty());
        if (!password.isEmpty())
            type(ready, "lineEdit_create_meetingpwd", password);
        if (!click(ready, "pushButton_create_meeting"))
            return ControlServer::failure(QStringLiteral("the create button is not usable"));
        return QJsonObject {};
    });

    m_control.addCommand(QStringLiteral("join"), [](const QJsonObject& request) {
        NewMeetingReadyForm* ready = first<NewMeetingReadyForm>();
        if (!ready)
            return ControlServer::failure(QStringLiteral("no ready page"));
        click(ready, "pushButton_change_to_add");
        type(ready, "lineEdit_add_meeting_key", request.value(QStringLiteral("key")).toString());
        type(ready, "lineEdit_add_name", request.value(QStringLiteral("name")).toString());
        type(ready, "lineEdit_add_pwd", request.value(QStringLiteral("password")).toString());
        if (!click(ready, "pushButton_add_meeting"))
            return ControlServer::failure(QStringLiteral("the join button is not usable"));
        return QJsonObject {};
    });

    // Sends a chat text through the meeting's chat panel.
    m_control.addCommand(QStringLiteral("chat"), [](const QJsonObject& request) {
        MeetingChatRoomForm* panel = first<MeetingChatRoomForm>();
        EditWidget* edit = panel ? panel->findChild<EditWidget*>(QStringLiteral("widget_editbox")) : nullptr;
        if (!edit || !edit->textEdit())
            return ControlServer::failure(QStringLiteral("no chat input"));
        edit->textEdit()->setPlainText(request.value(QStringLiteral("text")).toString());
        if (!click(panel, "pushButton_mcrf_send"))
            return ControlServer::failure(QStringLiteral("the send button is not usable"));
        return QJsonObject {};
    });

    m_control.addCommand(QStringLiteral("stop"), [](const QJsonObject&) {
        MeetingMainForm* meeting = first<MeetingMainForm>();
        if (!meeting || !click(meeting, "pushButton_stop"))
            return ControlServer::failure(QStringLiteral("no stop button"));
        return QJsonObject {};
    });

    m_control.addCommand(QStringLiteral("meeting"), [](const QJsonObject&) {
        MeetingMainForm* meeting = first<MeetingMainForm>();
        if (!meeting)
            return ControlServer::failure(QStringLiteral("no meeting form"));
        return QJsonObject { { QStringLiteral("running"), !meeting->isClosing() },
            { QStringLiteral("host"), meeting->isHost() }, { QStringLiteral("streaming"), meeting->isStreaming() },
            { QStringLiteral("key"), dataText(kRoomMeetingKeyMain) },
            { QStringLiteral("selfId"), QString::number(meeting->selfMemberId()) } };
    });

    // The host's studio: the encoding's settings, and the canvas pictures composed so far.
    m_control.addCommand(QStringLiteral("studio"), [](const QJsonObject&) {
        MeetingMainForm* meeting = first<MeetingMainForm>();
        const ZovMWidget* studio = meeting ? meeting->findChild<ZovMWidget*>() : nullptr;
        if (!studio)
            return ControlServer::failure(QStringLiteral("no studio"));
        return QJsonObject { { QStringLiteral("width"), studio->outputSize().width() },
            { QStringLiteral("height"), studio->outputSize().height() }, { QStringLiteral("fps"), studio->fps() },
            { QStringLiteral("bitrateKbps"), studio->videoBitRate() },
            { QStringLiteral("keyFrameSec"), studio->keyFrameSec() },
            { QStringLiteral("constantRate"), studio->rateControl() == EncodeRateControl_Constant },
            { QStringLiteral("composed"), double(studio->composedFrameCount()) } };
    });

    // A run-time data text, as the forms read it.
    m_control.addCommand(QStringLiteral("data"), [](const QJsonObject& request) {
        const QByteArray key = request.value(QStringLiteral("key")).toString().toUtf8();
        return QJsonObject { { QStringLiteral("text"), dataText(key.constData()) } };
    });

    m_control.addCommand(QStringLiteral("quit"), [](const QJsonObject&) {
        QMetaObject::invokeMethod(qApp, [] { QApplication::closeAllWindows(); QCoreApplication::quit(); },
            Qt::QueuedConnection);
        return QJsonObject {};
    });
}
