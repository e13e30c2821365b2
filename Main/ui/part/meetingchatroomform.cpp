#include "ui/part/meetingchatroomform.h"

#include "ui_meetingchatroomform.h"

#include "global/customevents.h"
#include "global/eventdeliverer.h"
#include "ui/Dialog/facedialog.h"
#include "win/qssmanager.h"

#include <bridge/bg_log.h>
#include <chatroom/chatroom.h>
#include <chatwidgets/chatmanager.h>

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QListWidget>
#include <QMimeData>
#include <QScrollBar>
#include <QTextDocument>
#include <QTextEdit>

namespace {

constexpr char kStyleSheet[] = ":/qss/part/meetingchatroomform.css";
constexpr char kEmoticonFolder[] = ":/image/face/";
constexpr char kChatFont[] = "微软雅黑";

constexpr int kEvents[] = {
    UserEventType::ReciveChatMsg,
    UserEventType::AddFace,
    UserEventType::V3ReadyToCreateMeeting,
    UserEventType::V3ReadyToAddMeeting,
    UserEventType::V3ShowChatRoomTips,
    UserEventType::CloseMeeting,
};

const QColor kInputText(162, 162, 162);

QString elided(const QString& text, int width)
{
    return QFontMetrics(QFont(QString::fromUtf8(kChatFont), 8)).elidedText(text, Qt::ElideRight, width);
}

} // namespace

MeetingChatRoomForm::MeetingChatRoomForm(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::MeetingChatRoomForm>())
{
    ui->setupUi(this);
    (new QssManager(this, false))->loadStyleSheet(QString::fromLatin1(kStyleSheet));
    ui->pushButton_image->hide();
    ui->label_wordsNum->hide();
    ui->widget_chatTitle->hide();
    for (int type : kEvents)
        EventDeliverer::instance()->registerReceiver(type, this);
    m_chatManager = std::make_unique<ChatManager>(ui->widget_chat, ui->widget_editbox, nullptr);
    m_chatManager->setCenterMsgBackColor(Qt::transparent);
    styleChatWidgets();
    m_faceDialog = new FaceDialog(ui->pushButton_face);
    m_faceDialog->setAnchorWidget(ui->pushButton_face);
    ui->pushButton_mcrf_send->setToolTip(tr("按Enter键发送，按Ctrl+Enter键换行"));
    loadEmoticons();
}

MeetingChatRoomForm::~MeetingChatRoomForm()
{
    for (int type : kEvents)
        EventDeliverer::instance()->unregisterReceiver(type, this);
}

void MeetingChatRoomForm::styleChatWidgets()
{
    if (QListWidget* list = m_chatManager->chatListWidget()) {
        list->setStyleSheet(QStringLiteral("QListWidget {background-color: #2B2B2B; border: none;}"));
        list->verticalScrollBar()->setStyleSheet(QStringLiteral(
            "QScrollBar:vertical { width: 6px; background-color: #3E3E3E; margin: 0px,0px,0px,0px; "
            "padding-top: 0px; padding-bottom: 0px; border-radius: 2px;}"
            "QScrollBar::handle:vertical {width: 5px; background-color: #979797; border-radius: 2px;}"
            "QScrollBar::handle:vertical:hover {background-color: #878787;}"
            "QScrollBar::add-page:vertical,QScrollBar::sub-page:vertical {background-color: none;}"
            "QScrollBar::add-line:vertical,QScrollBar::sub-line:vertical {height: 0px;}"));
    }
    QTextEdit* input = m_chatManager->editTextEdit();
    input->installEventFilter(this);
    input->setContextMenuPolicy(Qt::CustomContextMenu);
    input->setStyleSheet(
        QStringLiteral("QTextEdit {background-color: #2B2B2B;border: none;font-size: 9pt;color: #a2a2a2;}"));
    QPalette palette = input->palette();
    for (auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled })
        palette.setColor(group, QPalette::Text, kInputText);
    input->setPalette(palette);
}

void MeetingChatRoomForm::loadEmoticons()
{
    QStringList paths;
    QList<QFileInfo> files;
    const QString folder = QString::fromLatin1(kEmoticonFolder);
    for (const QString& name : QDir(folder).entryList(QDir::Files, QDir::Name)) {
        paths.append(folder + name);
        files.append(QFileInfo(folder + name));
        BG_LOGD("表情路径：%s", (folder + name).toUtf8().constData());
    }
    m_emoticons = ChatEmoticons::fromFiles(paths);
    if (m_faceDialog)
        m_faceDialog->setFaceFiles(files);
}

void MeetingChatRoomForm::setSilenceAllChecked(bool checked)
{
    // Hidden means a viewer's panel; a host's box follows the room even while another page is on show.
    if (!ui->checkBox_silenceAll->isHidden())
        ui->checkBox_silenceAll->setChecked(checked);
}

void MeetingChatRoomForm::setSilenceAllVisible(bool visible) { ui->checkBox_silenceAll->setVisible(visible); }

QList<QWidget*> MeetingChatRoomForm::titleButtons() const { return { ui->pushButton_mcrf_close }; }

int MeetingChatRoomForm::titleBarHeight() const { return ui->widget_chatTitle->height(); }

void MeetingChatRoomForm::setTitleBarVisible(bool visible) { ui->widget_chatTitle->setVisible(visible); }

FaceDialog* MeetingChatRoomForm::faceDialog() const { return m_faceDialog.data(); }

void MeetingChatRoomForm::slot_resetTextColor() { m_chatManager->editTextEdit()->setTextColor(kInputText); }

void MeetingChatRoomForm::on_pushButton_mcrf_send_clicked() { sendInput(); }

void MeetingChatRoomForm::on_checkBox_silenceAll_clicked(bool checked) { emit SignalForbiddenAll(checked); }

void MeetingChatRoomForm::on_pushButton_face_clicked()
{
    if (m_faceDialog && !m_faceDialog->isVisible())
        m_faceDialog->popupAt(ui->widget_editCtrl);
}

void MeetingChatRoomForm::on_pushButton_mcrf_close_clicked() { emit sig_hideChatroomDialog(); }

void MeetingChatRoomForm::sendInput()
{
    zov::MsgSendCtx* context = m_chatManager->getSendCtx();
    if (!context) {
        m_chatManager->clearContent();
        return;
    }
    const QString html = context->html();
    BG_LOGD("[msg_html]:%s", html.toUtf8().constData());
    QTextDocument document;
    document.setHtml(m_emoticons.tagsToCodes(html));
    const QString text = document.toPlainText();
    if (text.simplified().isEmpty())
        return;
    // The room refuses a longer text; it stays in the input for the user to shorten.
    if (size_t(text.toUtf8().size()) > cr::ChatRoom::kMaxTextBytes) {
        BG_LOGW("chat text of %d bytes is over the room's limit; not sent", int(text.toUtf8().size()));
        return;
    }
    EventDeliverer::instance()->deliver(new SendChatMsg(text));
    m_chatManager->clearContent();
}

bool MeetingChatRoomForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_chatManager->editTextEdit())
        return QWidget::eventFilter(watched, event);
    switch (int(event->type())) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
        if (handleInputKey(static_cast<QKeyEvent*>(event)))
            return true;
        break;
    case QEvent::FocusIn:
        slot_resetTextColor();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

bool MeetingChatRoomForm::handleInputKey(QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool keypadEnter = event->key() == Qt::Key_Enter && modifiers.testFlag(Qt::KeypadModifier);
    if (event->key() == Qt::Key_Return || keypadEnter) {
        if (modifiers.testFlag(Qt::ControlModifier)) {
            // A new line: the input treats a plain Return or keypad Enter as one.
            event->setModifiers(keypadEnter ? Qt::KeypadModifier : Qt::NoModifier);
            return false;
        }
        if (modifiers == (keypadEnter ? Qt::KeypadModifier : Qt::NoModifier)) {
            sendInput();
            slot_resetTextColor();
            return true;
        }
        return false;
    }
    if (event->type() == QEvent::KeyPress && event->matches(QKeySequence::Paste)) {
        const QMimeData* clipboard = QApplication::clipboard()->mimeData();
        return clipboard && (clipboard->hasImage() || clipboard->hasUrls());
    }
    return false;
}

bool MeetingChatRoomForm::event(QEvent* event)
{
    switch (int(event->type())) {
    case UserEventType::ReciveChatMsg: {
        const auto* message = static_cast<ReciveChatMsg*>(event);
        showMessage(message->handle, message->text, message->time);
        return true;
    }
    case UserEventType::V3ShowChatRoomTips: {
        const auto* tip = static_cast<V3ShowChatRoomTipsEvent*>(event);
        showTip(tip->name, tip->joined);
        return true;
    }
    case UserEventType::AddFace:
        m_chatManager->slot_addFace(static_cast<AddFaceEvent*>(event)->path);
        m_chatManager->editTextEdit()->setFocus();
        return true;
    case UserEventType::V3ReadyToCreateMeeting:
    case UserEventType::V3ReadyToAddMeeting:
        if (QListWidget* list = m_chatManager->chatListWidget())
            list->clear();
        m_chatManager->editTextEdit()->setText(QString());
        return true;
    case UserEventType::CloseMeeting:
        ui->checkBox_silenceAll->setChecked(false);
        return true;
    default:
        return QWidget::event(event);
    }
}

void MeetingChatRoomForm::showMessage(const QString& handle, const QString& text, qint64 time)
{
    const QString font = QString::fromUtf8(kChatFont);
    ChatManagerStruct style;
    style.type = 0;
    style.label = elided(handle, int(260 * QssManager::dpiScale())) + QStringLiteral(": ");
    style.avatarMask = QStringLiteral(":/chat/user_mask_icon.png");
    style.leftBubble = QStringLiteral(":/image/chatroom_chat_left.png");
    style.rightBubble = QStringLiteral(":/chat/chat_right.png");
    style.time = QDateTime::fromMSecsSinceEpoch(time).toLocalTime().toString(QStringLiteral("HH:mm"));
    style.labelColor = QColor(171, 171, 171);
    style.labelFont = QFont(font, 9);
    style.timeFont = QFont(font, 8);
    style.timeColor = QColor(150, 150, 150);
    m_chatManager->sendMsgPosAndStyle(style, new zov::MsgSendCtx(m_emoticons.messageMarkup(text)));
}

void MeetingChatRoomForm::showTip(const QString& name, bool joined)
{
    const QString shown = elided(name, int(120 * QssManager::dpiScale())).toHtmlEscaped();
    ChatManagerStruct style;
    style.type = 1;
    style.labelColor = QColor(207, 96, 60);
    style.labelFont = QFont(QString::fromUtf8(kChatFont), 8);
    const QString line = joined ? QString::fromUtf8("%1 已加入") : QString::fromUtf8("%1 已退出");
    m_chatManager->sendMsgPosAndStyle(style, new zov::MsgSendCtx(line.arg(shown)));
}
