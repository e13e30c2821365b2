#include "agent.h"

#include "app/zovmeetingapplication.h"
#include "global/customevents.h"
#include "global/eventdeliverer.h"
#include "global/loginkeys.h"
#include "global/meetingprompt.h"
#include "global/menurunner.h"
#include "global/settings.h"
#include "media/openglwidget.h"
#include "media/painterwidget.h"
#include "ui/Dialog/cameraselectdialog.h"
#include "ui/Dialog/logindialog.h"
#include "ui/mainwindow.h"
#include "global/roomkeys.h"
#include "ui/part/meetingchatroomform.h"
#include "ui/part/meetingmainctrlform.h"
#include "ui/part/meetingmainform.h"
#include "ui/part/meetingmemberitemform.h"
#include "ui/part/memberinteractform.h"
#include "ui/part/newmeetingreadyform.h"

#include "support/colourbars.h"

#include <bridge/abstract_config.h>
#include <bridge/bridge_init.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>

#include <capture/syntheticcamera.h>
#include <chatwidgets/chatmanager.h>
#include <chatwidgets/chatwidget.h>
#include <studio/screengrabber.h>
#include <studio/sourcewidget.h>
#include <studio/zovmwidget.h>

#include <libyuv/convert_argb.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QMenu>
#include <QRegularExpression>
#include <QTextDocument>
#include <QTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QCryptographicHash>
#include <QLabel>
#include <QListWidget>
#include <QStackedWidget>

#include <atomic>
#include <memory>
#include <cstring>
#include <cstdlib>

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


qint64 idOf(const QJsonObject& request, const char* key = "userId")
{
    const QJsonValue value = request.value(QLatin1String(key));
    return value.isString() ? value.toString().toLongLong() : qint64(value.toDouble());
}

MeetingMemberItemForm* rowOf(qint64 userId)
{
    for (MeetingMemberItemForm* row : allOf<MeetingMemberItemForm>()) {
        if (row->isMember(userId))
            return row;
    }
    return nullptr;
}

// The pointer rests on the row: the host's buttons of that row show, as they do for a user.
void hover(QWidget* row)
{
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(row, &enter);
}

bool clickShown(QWidget* parent, const char* name)
{
    auto* button = parent->findChild<QPushButton*>(QLatin1String(name));
    if (!button || !button->isVisibleTo(parent) || !button->isEnabled())
        return false;
    button->click();
    return true;
}

// The synthetic camera listed alone, with 320 x 240 beside its usual modes.
void listSyntheticCamera()
{
    const char* variable = std::getenv(capture::kSyntheticCameraVariable);
    const std::wstring name = QString::fromUtf8(variable && *variable ? variable : "Tavicast Test Camera").toStdWString();
    std::vector<capture::SyntheticCapability> modes;
    for (const capture::SyntheticCapability& mode : capture::defaultSyntheticCapabilities()) {
        if (mode.width == 640 && mode.height == 480) {
            capture::SyntheticCapability small = mode;
            small.width = 320;
            small.height = 240;
            modes.push_back(small);
        }
    }
    for (const capture::SyntheticCapability& mode : capture::defaultSyntheticCapabilities())
        modes.push_back(mode);
    capture::setCatalog([name, modes](const GUID& category) {
        std::vector<capture::DeviceEntry> entries;
        if (category == CLSID_VideoInputDeviceCategory)
            entries.push_back(capture::syntheticCameraEntry(name, modes));
        return entries;
    });
}

// The camera dialog as a user leaves it: the synthetic camera, 320 x 240. False when it offers neither.
bool chooseSmallSyntheticCamera()
{
    CameraSelectDialog* dialog = first<CameraSelectDialog>();
    auto* cameras = dialog ? dialog->findChild<QComboBox*>(QStringLiteral("comboBox_camera_name")) : nullptr;
    auto* modes = dialog ? dialog->findChild<QComboBox*>(QStringLiteral("comboBox_camera_resolution")) : nullptr;
    if (!cameras || !modes || cameras->count() == 0)
        return false;
    cameras->setCurrentIndex(0);
    for (int i = 0; i < modes->count(); ++i) {
        if (modes->itemText(i).contains(QLatin1String("320")) && modes->itemText(i).contains(QLatin1String("240"))) {
            modes->setCurrentIndex(i);
            return true;
        }
    }
    return false;
}

QJsonObject imageAnswer(const QWidget* widget, const QImage& image)
{
    return QJsonObject { { QStringLiteral("renderer"), nameOf(widget) }, { QStringLiteral("visible"), widget->isVisible() },
        { QStringLiteral("width"), image.width() }, { QStringLiteral("height"), image.height() },
        { QStringLiteral("png"), image.isNull() ? QString() : pngBase64(image) } };
}

} // namespace

bool presetVideo(const QString& size, const QString& fps)
{
    bg::Abstract_Config* store = CD ? CD->config : nullptr;
    const QStringList sides = size.split(QLatin1Char('x'));
    bool wide = false, high = false, rate = false;
    const QSize video = sides.size() == 2 ? QSize(sides[0].toInt(&wide), sides[1].toInt(&high)) : QSize();
    const int framesPerSecond = fps.toInt(&rate);
    if (!store || !wide || !high || !rate || video.isEmpty() || framesPerSecond <= 0)
        return false;
    cfgSetSize(store, kCfgVideoSize, video);
    cfgSetInt(store, kCfgVideoFps, framesPerSecond);
    store->save();
    return true;
}

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
    setMeetingPromptHook([this](const MeetingPrompt& prompt) { return answerPrompt(prompt); });
    setMenuRunner([this](QMenu& menu, QPoint) -> QAction* {
        QJsonArray items;
        QAction* chosen = nullptr;
        for (QAction* action : menu.actions()) {
            items.append(action->text());
            if (!m_menuChoice.isEmpty() && action->text() == m_menuChoice)
                chosen = action;
        }
        m_menus.append(QJsonObject { { QStringLiteral("items"), items },
            { QStringLiteral("chosen"), chosen ? chosen->text() : QString() } });
        m_menuChoice.clear();
        return chosen;
    });
    studio::setScreenGrabber(grabPattern);
    listSyntheticCamera();
    addCommands();
    addMeetingCommands();
}

Agent::~Agent()
{
    capture::setCatalog({});
    setMenuRunner({});
    studio::setScreenGrabber({});
    setMeetingPromptHook({});
    m_app.setMessageSink({});
}

// The prompt stays open for the rule's delay, as a modal box would, with the event loop running.
int Agent::answerPrompt(const MeetingPrompt& prompt)
{
    recordMessage(QStringLiteral("prompt"), prompt.title, prompt.text, prompt.buttons);
    PromptRule rule;
    for (const PromptRule& candidate : m_promptRules) {
        if (prompt.text.contains(candidate.match)) {
            rule = candidate;
            break;
        }
    }
    if (rule.delayMs > 0) {
        QEventLoop wait;
        QTimer::singleShot(rule.delayMs, &wait, &QEventLoop::quit);
        wait.exec();
    }
    if (rule.answer == 1 && prompt.text == QLatin1String("camera") && !chooseSmallSyntheticCamera())
        return 0;
    return rule.answer;
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

    // Signs in as a user does: the main window's sign-in button opens the login dialog (modal), then, inside
    // its loop, the password page, the account and the password typed and the dialog's login button
    // clicked. Answers at once; "account" tells when the sign-in is done.
    m_control.addCommand(QStringLiteral("login"), [this](const QJsonObject& request) {
        const QString account = request.value(QStringLiteral("account")).toString();
        const QString password = request.value(QStringLiteral("password")).toString();
        MainWindow* window = m_app.mainWindow();
        QPushButton* open = window ? window->findChild<QPushButton*>(QStringLiteral("pushButton_login")) : nullptr;
        if (account.isEmpty() || password.isEmpty() || !open)
            return ControlServer::failure(QStringLiteral("login needs \"account\", \"password\" and the main window"));
        // Polls until the dialog shows (the click below runs it), for at most ten seconds.
        auto* poll = new QTimer(window);
        poll->setInterval(50);
        auto tries = std::make_shared<int>(0);
        QObject::connect(poll, &QTimer::timeout, poll, [poll, tries, account, password] {
            LoginDialog* dialog = first<LoginDialog>();
            if (dialog && dialog->isVisible()) {
                if (auto* page = dialog->findChild<QAbstractButton*>(QStringLiteral("toolButton_to_pwd_login_page")))
                    page->click();
                type(dialog, "lineEdit_user_name", account);
                type(dialog, "lineEdit_pwd", password);
                click(dialog, "pushButton_login");
            } else if (++*tries < 200) {
                return;
            }
            poll->deleteLater();
            poll->stop();
        });
        poll->start();
        QTimer::singleShot(0, open, [open] { open->click(); });
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
            const QLabel* logo = row->findChild<QLabel*>(QStringLiteral("label_mmitem_type_logo"));
            rows.append(QJsonObject { { QStringLiteral("userId"), QString::number(record.userId) },
                { QStringLiteral("name"), record.displayName }, { QStringLiteral("host"), record.host },
                { QStringLiteral("device"), record.deviceType }, { QStringLiteral("kind"), row->kind() },
                { QStringLiteral("top"), row->mapToGlobal(QPoint()).y() },
                { QStringLiteral("icon"), logo ? logo->styleSheet() : QString() },
                { QStringLiteral("visible"), row->isVisible() }, { QStringLiteral("labels"), labelTexts(row) } });
        }
        return QJsonObject { { QStringLiteral("rows"), rows } };
    });

    // The chat items of every list of the chat panels: each item's plain text and its labels, and what its
    // bubble shows: the plain text and the images drawn in it.
    m_control.addCommand(QStringLiteral("chatitems"), [](const QJsonObject&) {
        static const QRegularExpression image(QStringLiteral("<img[^>]*src=\"([^\"]+)\""));
        QJsonArray items;
        for (const MeetingChatRoomForm* panel : allOf<MeetingChatRoomForm>()) {
            const ChatManager* chat = panel->chatManager();
            const QListWidget* list = chat ? chat->chatListWidget() : nullptr;
            if (!list)
                continue;
            for (int i = 0; i < list->count() && i < chat->itemCount(); ++i) {
                QListWidgetItem* item = list->item(i);
                QWidget* view = list->itemWidget(item);
                QJsonArray texts = view ? labelTexts(view) : QJsonArray();
                if (view && !view->accessibleName().isEmpty())
                    texts.prepend(view->accessibleName());
                if (!item->text().isEmpty())
                    texts.prepend(item->text());
                QJsonArray plain, images;
                if (const QTextDocument* document = chat->itemDocument(i)) {
                    plain.append(document->toPlainText());
                    auto match = image.globalMatch(document->toHtml());
                    while (match.hasNext())
                        images.append(match.next().captured(1));
                }
                items.append(QJsonObject { { QStringLiteral("view"), nameOf(list) }, { QStringLiteral("texts"), texts },
                    { QStringLiteral("plain"), plain }, { QStringLiteral("images"), images } });
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

    // Creates a meeting from the ready page as a user does: title, and a password or none; the settings are
    // left as they are.
    m_control.addCommand(QStringLiteral("create"), [](const QJsonObject& request) {
        NewMeetingReadyForm* ready = first<NewMeetingReadyForm>();
        if (!ready)
            return ControlServer::failure(QStringLiteral("no ready page"));
        // Media under the sanitizers on a busy machine connects slowly: the push gets more time.
        for (ZovMWidget* studio : allOf<ZovMWidget>())
            studio->setConnectTimeoutMs(60000);
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

// The meeting's own operations, each reached through the widget a user would use.
void Agent::addMeetingCommands()
{
    // The host's "silence all" box of the chat panel, set to "on".
    m_control.addCommand(QStringLiteral("silenceall"), [](const QJsonObject& request) {
        MeetingChatRoomForm* panel = first<MeetingChatRoomForm>();
        auto* box = panel ? panel->findChild<QCheckBox*>(QStringLiteral("checkBox_silenceAll")) : nullptr;
        if (!box || !box->isVisibleTo(panel) || !box->isEnabled())
            return ControlServer::failure(QStringLiteral("no silence-all box"));
        if (box->isChecked() != request.value(QStringLiteral("on")).toBool())
            box->click();
        return QJsonObject { { QStringLiteral("checked"), box->isChecked() } };
    });

    // The host's buttons of a member's row, shown as the pointer rests on it: "kick", "video" or "voice"
    // (an invitation, or its withdrawal when the button is already down).
    m_control.addCommand(QStringLiteral("row"), [](const QJsonObject& request) {
        MeetingMemberItemForm* row = rowOf(idOf(request));
        if (!row)
            return ControlServer::failure(QStringLiteral("no row of that member"));
        const QString button = request.value(QStringLiteral("button")).toString();
        const char* name = button == QLatin1String("kick") ? "pushButton_mmitem_delete"
            : button == QLatin1String("video")             ? "pushButton_mmitem_video"
            : button == QLatin1String("voice")             ? "pushButton_mmitem_audio"
                                                           : nullptr;
        if (!name)
            return ControlServer::failure(QStringLiteral("\"button\" is kick, video or voice"));
        hover(row);
        if (!clickShown(row, name))
            return ControlServer::failure(QStringLiteral("the row shows no %1 button").arg(button));
        return QJsonObject {};
    });

    // A right click on the co-broadcast tile of a member; the menu it opens chooses "item" (none: dismissed).
    // The menu runs once the click has been handled: "menus" tells what it offered.
    m_control.addCommand(QStringLiteral("tilemenu"), [this](const QJsonObject& request) {
        const qint64 userId = idOf(request);
        for (MemberInteractForm* tile : allOf<MemberInteractForm>()) {
            if (tile->userId() != userId || !tile->isVisible())
                continue;
            m_menuChoice = request.value(QStringLiteral("item")).toString();
            const QPoint centre = tile->rect().center();
            QContextMenuEvent click(QContextMenuEvent::Mouse, centre, tile->mapToGlobal(centre));
            QApplication::sendEvent(tile, &click);
            return QJsonObject {};
        }
        return ControlServer::failure(QStringLiteral("no shown tile of that member"));
    });

    m_control.addCommand(QStringLiteral("menus"), [this](const QJsonObject&) {
        return QJsonObject { { QStringLiteral("menus"), m_menus } };
    });

    // How the next prompts whose text holds "match" are answered: "answer" 1 (first button) or 0, after
    // "delayMs". A later rule for the same text replaces the earlier one.
    m_control.addCommand(QStringLiteral("answer"), [this](const QJsonObject& request) {
        PromptRule rule;
        rule.match = request.value(QStringLiteral("match")).toString();
        rule.answer = request.value(QStringLiteral("answer")).toInt(1) == 1 ? 1 : 0;
        rule.delayMs = qBound(0, request.value(QStringLiteral("delayMs")).toInt(0), 120000);
        if (rule.match.isEmpty())
            return ControlServer::failure(QStringLiteral("answer needs \"match\""));
        for (auto it = m_promptRules.begin(); it != m_promptRules.end(); ++it) {
            if (it->match == rule.match) {
                m_promptRules.erase(it);
                break;
            }
        }
        m_promptRules.push_back(rule);
        return QJsonObject {};
    });

    // The control bar's camera button, pressed when its state differs from "on"; the camera dialog's prompt
    // is answered as the rules say (by default: accepted with the synthetic camera at 320 x 240).
    m_control.addCommand(QStringLiteral("camera"), [](const QJsonObject& request) {
        MeetingMainCtrlForm* bar = first<MeetingMainCtrlForm>();
        auto* button = bar ? bar->findChild<QAbstractButton*>(QStringLiteral("pushButton_open_or_close_camera")) : nullptr;
        if (!button || !button->isVisibleTo(bar) || !button->isEnabled())
            return ControlServer::failure(QStringLiteral("no camera button"));
        if (bar->isCameraOn() != request.value(QStringLiteral("on")).toBool()) {
            // The click opens the modal dialog: it runs once this answer is out.
            QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
        }
        return QJsonObject {};
    });

    m_control.addCommand(QStringLiteral("cameraon"), [](const QJsonObject&) {
        MeetingMainCtrlForm* bar = first<MeetingMainCtrlForm>();
        MeetingMainForm* meeting = first<MeetingMainForm>();
        return QJsonObject { { QStringLiteral("on"), bar && bar->isCameraOn() },
            { QStringLiteral("source"), meeting && meeting->cameraSource() != nullptr } };
    });

    // The screen-cast answers of the host's row, which reach the meeting as events 1011 (accept or refuse)
    // and 1012 (end).
    m_control.addCommand(QStringLiteral("screencast"), [](const QJsonObject& request) {
        const qint64 userId = idOf(request);
        const QString action = request.value(QStringLiteral("action")).toString();
        if (action == QLatin1String("accept") || action == QLatin1String("refuse"))
            EventDeliverer::instance()->deliver(new ViewerMemberToupingEvent(userId, action == QLatin1String("accept")));
        else if (action == QLatin1String("end"))
            EventDeliverer::instance()->deliver(new ViewerMemberToupingEndEvent(userId));
        else
            return ControlServer::failure(QStringLiteral("\"action\" is accept, refuse or end"));
        return QJsonObject {};
    });

    // The co-broadcast tiles as they stand, each with its picture when a source is bound.
    m_control.addCommand(QStringLiteral("tiles"), [](const QJsonObject&) {
        QJsonArray tiles;
        for (MemberInteractForm* tile : allOf<MemberInteractForm>()) {
            if (!tile->isVisible())
                continue;
            QJsonObject entry { { QStringLiteral("userId"), QString::number(tile->userId()) },
                { QStringLiteral("bound"), tile->isSourceBound() }, { QStringLiteral("labels"), labelTexts(tile) } };
            SourceWidget* stream = tile->findChild<SourceWidget*>();
            if (tile->isSourceBound() && stream && stream->isVisible())
                entry.insert(QStringLiteral("picture"), imageAnswer(stream, stream->grab().toImage()));
            tiles.append(entry);
        }
        return QJsonObject { { QStringLiteral("tiles"), tiles } };
    });

    // The co-broadcast state of the meeting form, host and viewer side.
    m_control.addCommand(QStringLiteral("cobroadcast"), [](const QJsonObject&) {
        MeetingMainForm* meeting = first<MeetingMainForm>();
        if (!meeting)
            return ControlServer::failure(QStringLiteral("no meeting form"));
        QJsonArray members, waiting, embedded;
        for (const auto& [id, name] : meeting->coBroadcastMembers())
            members.append(QString::number(id));
        for (qint64 id : meeting->waitingMembers())
            waiting.append(QString::number(id));
        for (const CoBroadcastRecord& record : meeting->coBroadcasts()) {
            if (record.source)
                embedded.append(QString::number(record.userId));
        }
        return QJsonObject { { QStringLiteral("members"), members }, { QStringLiteral("waiting"), waiting },
            { QStringLiteral("embedded"), embedded }, { QStringLiteral("pushing"), meeting->isCoBroadcasting() },
            { QStringLiteral("invitationPending"), meeting->isInvitationPending() } };
    });

    // The whole main window as the user sees it.
    m_control.addCommand(QStringLiteral("screenshot"), [this](const QJsonObject&) {
        MainWindow* window = m_app.mainWindow();
        if (!window)
            return ControlServer::failure(QStringLiteral("no main window"));
        return imageAnswer(window, window->grab().toImage());
    });
}
