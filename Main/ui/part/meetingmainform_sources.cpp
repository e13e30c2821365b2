// The meeting form's camera and image sources, the mirror windows, the source and member menus, the
// sound switches, the floating ball's commands and the viewer's rotation.
#include "ui/part/meetingmainform.h"

#include "ui_meetingmainform.h"

#include "global/customevents.h"
#include "global/menurunner.h"
#include "ui/part/floatingballlink.h"
#include "ui/part/meetingmainctrlform.h"
#include "ui/part/mirrorwidget.h"

#include <QAction>
#include <QCursor>
#include <QDebug>
#include <QMenu>
#include <QUuid>

#include <optional>

namespace {

constexpr char kMirrorTitle[] = "Tavicast";

// A mirror has no parent; it goes with the form that made it.
void deleteWithForm(QObject* form, MirrorWidget* mirror)
{
    QObject::connect(form, &QObject::destroyed, mirror, [mirror] { delete mirror; });
}

// Runs a menu of the given item texts at the cursor; the index of the chosen item, -1 when dismissed.
int chooseFrom(QWidget* parent, const QStringList& items)
{
    QMenu menu(parent);
    QList<QAction*> actions;
    for (const QString& item : items)
        actions << menu.addAction(item);
    return actions.indexOf(runMenu(menu, QCursor::pos()));
}

} // namespace

void MeetingMainForm::connectSources()
{
    MeetingMainCtrlForm* bar = ui->widget_ctrl;
    connect(bar, &MeetingMainCtrlForm::CameraReady, this, &MeetingMainForm::OnCameraReady);
    connect(bar, &MeetingMainCtrlForm::CameraStop, this, &MeetingMainForm::OnCameraStop);
    connect(bar, &MeetingMainCtrlForm::FrameRotate, this, &MeetingMainForm::OnFrameRotate);
    connect(bar, &MeetingMainCtrlForm::sig_tmpAddImageSource, this, &MeetingMainForm::OnAddImage);
    connect(ui->widget_center, &ZovMWidget::SourceContextMenuRequested, this,
        &MeetingMainForm::OnSourceContextMenuRequested);
    connect(ui->widget_right, &MeetingMemberForm::MemberContextMenuRequested, this,
        [this](qlonglong userId) { OnMemberContextMenuRequested(userId); }, Qt::QueuedConnection);
    m_ball = new FloatingBallLink(this, bar, this);
    m_ball->showChatRoom = [this] { showChatRoomDialog(); };
    m_ball->showMemberList = [this] { showMemberListDialog(); };
}

void MeetingMainForm::OnLocalServerMessage(QString msg) { m_ball->handleMessage(msg); }

bool MeetingMainForm::handleSourceEvent(QEvent* event)
{
    switch (int(event->type())) {
    case UserEventType::V3ControlMicroAudio:
        ui->widget_center->MuteMicrophone(static_cast<V3ControlMicroAudioEvent*>(event)->mute);
        return true;
    case UserEventType::V3ControlSystemAudio:
        ui->widget_center->MuteDesktopAudio(static_cast<V3ControlSystemAudioEvent*>(event)->mute);
        return true;
    default:
        return false;
    }
}

// Camera ----------------------------------------------------------------------------------------------

QPoint MeetingMainForm::cameraCorner() const
{
    const QSize output = m_outputSize.isValid() ? m_outputSize : ui->widget_center->outputSize();
    return QPoint(output.width() - m_cameraWidth, output.height() - m_cameraHeight);
}

void MeetingMainForm::addCameraToScene()
{
    m_cameraSource = ui->widget_center->AddThirdSource(m_cameraId, cameraCorner());
}

void MeetingMainForm::OnCameraReady(QString id, int width, int height)
{
    if (m_cameraSource)
        OnCameraStop();
    m_cameraId = id;
    m_cameraWidth = width;
    m_cameraHeight = height;
    addCameraToScene();
    if (m_localServer)
        sendBall(FloatingBallLink::cameraMessage(true));
}

void MeetingMainForm::OnCameraStop()
{
    if (m_cameraSource) {
        ui->widget_center->RemoveSource(m_cameraSource);
        m_cameraSource = nullptr;
    }
    m_cameraId.clear();
    m_cameraWidth = 0;
    m_cameraHeight = 0;
    closeCameraMirror();
    if (m_localServer)
        sendBall(FloatingBallLink::cameraMessage(false));
}

MirrorWidget* MeetingMainForm::cameraMirror() const { return m_cameraMirror.data(); }

void MeetingMainForm::mirrorCamera(bool hide)
{
    if (!m_cameraMirror) {
        m_cameraMirror = new MirrorWidget(nullptr);
        deleteWithForm(this, m_cameraMirror);
        connect(m_cameraMirror, &MirrorWidget::closed, this, &MeetingMainForm::onCameraMirrorClosed);
        m_cameraMirror->setWindowTitle(QString::fromLatin1(kMirrorTitle));
    }
    if (!m_cameraId.isEmpty() && m_cameraWidth > 0 && m_cameraHeight > 0) {
        m_cameraMirror->setMinimumSize(mirrorMinimumSize(m_cameraWidth, m_cameraHeight));
        m_cameraMirror->finalizeSource();
        m_cameraMirror->initializeSource(m_cameraId.toUtf8().constData());
        m_cameraMirror->resize(m_cameraWidth, m_cameraHeight);
        if (m_cameraMirrorPos)
            m_cameraMirror->move(*m_cameraMirrorPos);
        m_cameraMirror->show();
    }
    m_cameraMirrored = true;
    if (hide && m_cameraSource) {
        ui->widget_center->RemoveSource(m_cameraSource);
        m_cameraSource = nullptr;
    }
}

void MeetingMainForm::closeCameraMirror()
{
    if (m_cameraMirror) {
        MirrorWidget* mirror = m_cameraMirror;
        mirror->disconnect(this);
        mirror->finalizeSource();
        m_cameraMirrorPos = mirror->pos();
        // The mirror may be inside its own closed() signal: it goes once that has returned.
        mirror->hide();
        mirror->deleteLater();
    }
    m_cameraMirror.clear();
    m_cameraMirrored = false;
}

void MeetingMainForm::onCameraMirrorClosed()
{
    qDebug() << "[closed]信号触发";
    if (!m_cameraSource && !m_cameraId.isEmpty())
        addCameraToScene();
    closeCameraMirror();
}

void MeetingMainForm::showCameraMenu()
{
    const bool closing = m_closing;
    const bool mirrored = m_cameraMirrored;
    const QString cameraId = m_cameraId;
    const QStringList items = mirrored ? QStringList { tr("取消镜像"), tr("隐藏画面源") }
                                       : QStringList { tr("镜像到桌面"), tr("镜像到桌面并隐藏画面源") };
    const int chosen = chooseFrom(this, items);
    // The menu ran its own event loop: a choice made for a camera, a mirror or a meeting that has changed
    // or ended meanwhile is dropped.
    if (m_closing != closing || m_cameraId != cameraId || m_cameraMirrored != mirrored)
        return;
    switch (chosen) {
    case 0:
        if (mirrored)
            closeCameraMirror();
        else
            mirrorCamera(false);
        break;
    case 1:
        if (!mirrored) {
            mirrorCamera(true);
        } else if (m_cameraSource) {
            ui->widget_center->RemoveSource(m_cameraSource);
            m_cameraSource = nullptr;
        }
        break;
    default:
        break;
    }
}

// Images ----------------------------------------------------------------------------------------------

void MeetingMainForm::OnAddImage(QString path)
{
    void* source = ui->widget_center->AddImageSource(path, QPoint(0, 0));
    if (!source) {
        qWarning() << "[OnAddImage] the image could not be added:" << path;
        return;
    }
    m_images.append({ QUuid::createUuid().toString(), source });
}

void MeetingMainForm::DeleteAllImageSource()
{
    for (const ImageRecord& image : qAsConst(m_images))
        ui->widget_center->RemoveSource(image.source);
    m_images.clear();
}

void MeetingMainForm::showImageMenu(const ImageRecord& chosen)
{
    // The record is copied: deleting may remove the list entry the caller pointed at.
    const ImageRecord record = chosen;
    switch (chooseFrom(this, { tr("删除图片"), tr("删除所有图片") })) {
    case 0:
        qDebug() << "[删除单张图片]";
        if (record.source) {
            ui->widget_center->RemoveSource(record.source);
            for (int i = 0; i < m_images.size(); ++i) {
                if (m_images[i].id == record.id) {
                    m_images.removeAt(i);
                    break;
                }
            }
        }
        break;
    case 1:
        qDebug() << "[删除全部图片]";
        DeleteAllImageSource();
        break;
    default:
        break;
    }
}

// Menus -----------------------------------------------------------------------------------------------

MeetingMainForm::SourceMenu MeetingMainForm::sourceMenuFor(void* handle) const
{
    // A null handle would match every record whose source is not on the scene.
    if (!handle)
        return SourceMenu::None;
    for (const CoBroadcastRecord& record : m_coBroadcasts) {
        if (record.source == handle)
            return SourceMenu::Member;
    }
    for (const ImageRecord& image : m_images) {
        if (image.source == handle)
            return SourceMenu::Image;
    }
    return handle == m_cameraSource ? SourceMenu::Camera : SourceMenu::None;
}

void MeetingMainForm::OnSourceContextMenuRequested(void* handle)
{
    // The menus run event loops: each is opened with a copy of what it is for, outside any loop over the
    // records.
    switch (sourceMenuFor(handle)) {
    case SourceMenu::Member: {
        std::optional<qint64> member;
        for (const CoBroadcastRecord& record : qAsConst(m_coBroadcasts)) {
            if (record.source == handle) {
                member = record.userId;
                break;
            }
        }
        if (member)
            showMemberMenu(*member);
        return;
    }
    case SourceMenu::Image: {
        std::optional<ImageRecord> chosen;
        for (const ImageRecord& image : qAsConst(m_images)) {
            if (image.source == handle) {
                chosen = image;
                break;
            }
        }
        if (chosen)
            showImageMenu(*chosen);
        return;
    }
    case SourceMenu::Camera:
        showCameraMenu();
        return;
    case SourceMenu::None:
        return;
    }
}

void MeetingMainForm::OnMemberContextMenuRequested(qint64 userId) { showMemberMenu(userId); }

CoBroadcastRecord* MeetingMainForm::coBroadcastOf(qint64 userId)
{
    for (CoBroadcastRecord& record : m_coBroadcasts) {
        if (record.userId == userId)
            return &record;
    }
    return nullptr;
}

QString MeetingMainForm::memberName(qint64 userId) const
{
    for (const MeetingMember& member : m_members) {
        if (member.userId == userId && !member.name.isEmpty())
            return member.name;
    }
    return QString();
}

void MeetingMainForm::showMemberMenu(qint64 userId)
{
    if (!m_isHost) {
        // A viewer's only member menu is on its own row or tile: it ends its own co-broadcast.
        if (userId == 0 || userId != m_selfMemberId)
            return;
        const int chosen = chooseFrom(this, { tr("结束连麦") });
        // The menu ran its own event loop: the co-broadcast may have ended meanwhile.
        if (chosen == 0 && m_coBroadcasting)
            sendEndCoBroadcast();
        return;
    }
    CoBroadcastRecord* record = coBroadcastOf(userId);
    if (!record) {
        qDebug() << "[CreateMemberContextMenu]未找到对应member";
        return;
    }
    if (!record->connection || !record->connection->hasVideo())
        return;
    const QStringList items { record->embedded ? tr("取消嵌入") : tr("嵌入到场景"),
        record->mirrored ? tr("取消镜像") : tr("镜像到桌面") };
    const int chosen = chooseFrom(this, items);
    // The menu ran its own event loop: the record may be gone.
    record = coBroadcastOf(userId);
    if (!record)
        return;
    if (chosen == 0) {
        if (record->embedded)
            unembedMember(*record);
        else
            embedMember(*record);
    } else if (chosen == 1) {
        if (record->mirrored)
            closeMemberMirror(*record);
        else
            mirrorMember(*record);
    }
}

// Members ---------------------------------------------------------------------------------------------

void MeetingMainForm::embedMember(CoBroadcastRecord& record)
{
    if (!record.source && record.connection)
        AddMemberSourceToScene(record);
    record.embedded = true;
}

void MeetingMainForm::unembedMember(CoBroadcastRecord& record) { RemoveMemberSourceFromScene(record); }

void MeetingMainForm::mirrorMember(CoBroadcastRecord& record)
{
    auto* mirror = qobject_cast<MirrorWidget*>(record.mirror.data());
    if (!mirror) {
        mirror = new MirrorWidget(nullptr);
        deleteWithForm(this, mirror);
        record.mirror = mirror;
        const qint64 userId = record.userId;
        connect(mirror, &MirrorWidget::closed, this, [this, userId] {
            if (CoBroadcastRecord* closed = coBroadcastOf(userId))
                closeMemberMirror(*closed);
        });
        const QString name = memberName(record.userId);
        mirror->setWindowTitle(name.isEmpty() ? QString::fromLatin1(kMirrorTitle) : name);
        if (record.connection) {
            const QSize minimum
                = mirrorMinimumSize(record.connection->frameWidth(), record.connection->frameHeight());
            mirror->setMinimumSize(minimum);
            if (record.savedMirrorGeometry.isValid())
                mirror->setGeometry(record.savedMirrorGeometry);
            mirror->resize(minimum);
        }
    }
    if (record.connection) {
        mirror->finalizeSource();
        mirror->initializeSource(record.connection->sourceId().toUtf8().constData());
        mirror->show();
    }
    record.mirrored = true;
}

void MeetingMainForm::closeMemberMirror(CoBroadcastRecord& record)
{
    if (auto* mirror = qobject_cast<MirrorWidget*>(record.mirror.data())) {
        mirror->disconnect(this);
        mirror->finalizeSource();
        record.savedMirrorGeometry = mirror->geometry();
        mirror->hide();
        mirror->deleteLater();
    }
    record.mirror.clear();
    record.mirrored = false;
}

void MeetingMainForm::OnMeetingStreamReady(QString sourceId, bool audio, bool video)
{
    qDebug() << "[成员连麦拉流成功]:" << sourceId << "audio:" << audio << "video" << video;
    // Told apart by the connection's id: the signal may come from a pull deleted since it was queued.
    CoBroadcastRecord* record = nullptr;
    for (CoBroadcastRecord& candidate : m_coBroadcasts) {
        if (candidate.connection && candidate.connection->sourceId() == sourceId)
            record = &candidate;
    }
    if (!record) {
        qDebug() << "[OnMeetingStreamReady]未找到对应member";
        return;
    }
    int status = 0;
    if (video) {
        ui->widget_right->initializeTileSource(record->userId, sourceId.toUtf8().constData());
        status = 2;
        if (record->embedded)
            embedMember(*record);
        if (record->mirrored)
            mirrorMember(*record);
    } else {
        ui->widget_right->finalizeTileSource(record->userId);
    }
    if (audio)
        status += 1;
    ui->widget_right->updateMemberTile(record->userId, true, status);
}

void MeetingMainForm::OnMeetingStreamStop()
{
    // Compared, never used: the pull may have been deleted since the signal was queued.
    const QObject* sender = QObject::sender();
    qDebug() << "[成员连麦流结束]" << static_cast<const void*>(sender);
    for (CoBroadcastRecord& record : m_coBroadcasts) {
        if (sender && record.connection.data() == sender && record.source) {
            unembedMember(record);
            record.embedded = true; // taken out by the stream, not by the host: shown again when it returns
        }
    }
}

// Viewer ----------------------------------------------------------------------------------------------

void MeetingMainForm::OnFrameRotate()
{
    const int next = m_rotation.load() - 1;
    m_rotation.store(next < 0 ? 3 : next);
}

