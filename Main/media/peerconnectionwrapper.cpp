#include "media/peerconnectionwrapper.h"

#include <studio/thirdsource.h>

#include <libyuv/convert.h>
#include <libyuv/video_common.h>
#include <libyuv/planar_functions.h>

#include <QDebug>
#include <QMutex>
#include <QThread>
#include <QUuid>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <shared_mutex>
#include <vector>

struct PeerConnectionWrapper::Link {
    std::atomic<zovwebrtc::peer_connection*> connection { nullptr };
    // Callbacks hold it shared while they use the wrapper; the wrapper takes it to detach itself.
    std::shared_mutex mutex;
    PeerConnectionWrapper* wrapper = nullptr;
    // For the log, once the wrapper is gone: whose connection it was and when it was handed over.
    QString sourceId;
    std::chrono::steady_clock::time_point handedOver;
    bool reported = false;
};

namespace {

constexpr char kThreadName[] = "PeerConnectionWrapper Thread";
constexpr int kDescriptionBuffer = 10240;
constexpr int kCameraWidth = 640;
constexpr int kCameraHeight = 480;
constexpr int kCameraFps = 30;

// The shared thread and its users.
QMutex s_mutex;
QThread* s_thread = nullptr;
int s_users = 0;

} // namespace

// Links of deleted wrappers whose connection the library is still closing. Kept reachable (never destroyed
// with the process) so that a late clear or callback finds them; freed once the library has cleared their
// slot. Guarded by s_mutex.
std::vector<std::unique_ptr<PeerConnectionWrapper::Link>>& PeerConnectionWrapper::closingLinks()
{
    static auto* links = new std::vector<std::unique_ptr<Link>>;
    return *links;
}

void PeerConnectionWrapper::sweepClosingLinks()
{
    auto& links = closingLinks();
    links.erase(std::remove_if(links.begin(), links.end(),
                    [](const std::unique_ptr<Link>& link) { return link->connection.load() == nullptr; }),
        links.end());
    const auto now = std::chrono::steady_clock::now();
    for (const std::unique_ptr<Link>& link : links) {
        if (!link->reported && now - link->handedOver > std::chrono::milliseconds(kCloseTimeoutMs)) {
            link->reported = true;
            qCritical() << "[PeerConnectionWrapper] the connection of" << link->sourceId
                        << "was not released within" << kCloseTimeoutMs << "ms";
        }
    }
}

int PeerConnectionWrapper::closingConnections()
{
    QMutexLocker lock(&s_mutex);
    sweepClosingLinks();
    return static_cast<int>(closingLinks().size());
}

PeerConnectionWrapper::PeerConnectionWrapper(
    QString firstText, QString secondText, zovwebrtc::peer_connection_factory* factory, QObject* parent)
    : QObject(parent)
    , m_sourceId(QUuid::createUuid().toString())
    , m_sourceIdUtf8(m_sourceId.toUtf8().toStdString())
    , m_firstText(std::move(firstText))
    , m_secondText(std::move(secondText))
    , m_factory(factory)
    , m_link(std::make_unique<Link>())
{
    m_link->wrapper = this;
    m_link->sourceId = m_sourceId;
    {
        QMutexLocker lock(&s_mutex);
        sweepClosingLinks();
        if (!s_thread) {
            s_thread = new QThread;
            s_thread->setObjectName(QString::fromLatin1(kThreadName));
            s_thread->start(QThread::InheritPriority);
        }
        ++s_users;
        moveToThread(s_thread);
    }
    ThirdSource::RegisterThirdSource(m_sourceIdUtf8.c_str());
    QMetaObject::invokeMethod(this, "Initialize");
}

PeerConnectionWrapper::~PeerConnectionWrapper()
{
    // Slots queued before this run first; any queued later find the closing flag. Waiting for the shared
    // thread blocks this one without running its events.
    if (QThread::currentThread() == thread())
        teardown();
    else
        QMetaObject::invokeMethod(
            this, [this] { teardown(); }, Qt::BlockingQueuedConnection);
    ThirdSource::UnregisterThirdSource(m_sourceIdUtf8.c_str());

    QMutexLocker lock(&s_mutex);
    // The library finishes closing on its own thread; the link stays until it has cleared the slot.
    if (m_link->connection.load())
        closingLinks().push_back(std::move(m_link));
    sweepClosingLinks();

    if (--s_users == 0) {
        QThread* shared = std::exchange(s_thread, nullptr);
        shared->quit();
        if (QThread::currentThread() == shared) {
            // Deleted on the shared thread itself: it cannot wait for itself.
            QObject::connect(shared, &QThread::finished, shared, &QObject::deleteLater);
        } else {
            shared->wait();
            delete shared;
        }
    }
}

void PeerConnectionWrapper::AddAudio(bool echoCancellation)
{
    QMetaObject::invokeMethod(this, "AddAudioPrivate", Q_ARG(bool, echoCancellation));
}

void PeerConnectionWrapper::AddCamera() { QMetaObject::invokeMethod(this, "AddCameraPrivate"); }

void PeerConnectionWrapper::CreateOffer(bool receiveVideo, bool receiveAudio)
{
    QMetaObject::invokeMethod(
        this, "CreateOfferPrivate", Q_ARG(bool, receiveVideo), Q_ARG(bool, receiveAudio));
}

void PeerConnectionWrapper::SetRemoteSdp(QString sdp)
{
    QMetaObject::invokeMethod(this, "SetRemoteSdpPrivate", Q_ARG(QString, sdp));
}

void PeerConnectionWrapper::Initialize()
{
    m_callbacks.user = m_link.get();
    m_callbacks.forward = onForward;
    m_callbacks.ice_gathering_complete = onIceGatheringComplete;
    m_callbacks.frame = onFrame;
    m_callbacks.frame_copy = onFrame2;
    m_callbacks.state_changed = onStateChanged;
    m_callbacks.log = logCallback;
    if (!m_factory || m_closing.load())
        return;
    zovwebrtc::rtc_configuration* configuration = zovwebrtc::create_rtc_configuration();
    configuration->set_single_transport(configuration->handle, 1);
    configuration->set_host_candidates_only(configuration->handle, 1);
    m_link->connection.store(
        m_factory->create_peer_connection(m_factory->handle, configuration, &m_callbacks));
    zovwebrtc::destroy_rtc_configuration(&configuration);
}

void PeerConnectionWrapper::AddAudioPrivate(bool echo_cancellation)
{
    if (zovwebrtc::peer_connection* connection = usableConnection())
        connection->add_audio_track(connection->handle, echo_cancellation);
}

void PeerConnectionWrapper::AddCameraPrivate()
{
    zovwebrtc::peer_connection* connection = usableConnection();
    if (!connection || zovwebrtc::list_device_num() == 0)
        return;
    char name[1024] = {};
    char id[1024] = {};
    if (!zovwebrtc::get_device_name(0, name, sizeof name, id, sizeof id))
        return;
    connection->add_camera_track(connection->handle, id, kCameraWidth, kCameraHeight, kCameraFps);
}

void PeerConnectionWrapper::CreateOfferPrivate(bool receiveVideo, bool receiveAudio)
{
    m_hasAudio.store(receiveAudio);
    m_hasVideo.store(receiveVideo);
    if (zovwebrtc::peer_connection* connection = usableConnection())
        connection->create_offer(connection->handle, receiveVideo, receiveAudio);
}

void PeerConnectionWrapper::SetRemoteSdpPrivate(QString sdp)
{
    if (zovwebrtc::peer_connection* connection = usableConnection())
        connection->set_remote_description(connection->handle, "answer", sdp.toUtf8().constData());
}

void PeerConnectionWrapper::OnIceGatheringComplete()
{
    zovwebrtc::peer_connection* connection = usableConnection();
    if (!connection)
        return;
    // The library tells the whole length; a longer description is fetched again in a buffer that holds it.
    std::vector<char> buffer(kDescriptionBuffer, '\0');
    int length = connection->get_local_description(connection->handle, buffer.data(), kDescriptionBuffer);
    while (length >= static_cast<int>(buffer.size())) {
        if (length > kMaxDescriptionBytes) {
            qWarning() << "[PeerConnectionWrapper] local description of" << length << "bytes is longer than"
                       << kMaxDescriptionBytes << "; not sent";
            return;
        }
        buffer.assign(static_cast<size_t>(length) + 1, '\0');
        length = connection->get_local_description(connection->handle, buffer.data(), length + 1);
    }
    if (length < 0) {
        qWarning() << "[PeerConnectionWrapper] the library gave no local description:" << length;
        return;
    }
    emit IceGatheringCompleted(
        m_sourceId, QString::fromUtf8(buffer.data(), qstrnlen(buffer.data(), buffer.size())));
}

zovwebrtc::peer_connection* PeerConnectionWrapper::usableConnection() const
{
    return m_closing.load() ? nullptr : m_link->connection.load();
}

void PeerConnectionWrapper::teardown()
{
    m_closing.store(true);
    {
        // Waits for a callback that is using the wrapper; none reaches it afterwards.
        std::unique_lock detach(m_link->mutex);
        m_link->wrapper = nullptr;
    }
    m_link->handedOver = std::chrono::steady_clock::now();
    zovwebrtc::destroy_peer_connection(&m_link->connection);
}

// Callbacks: the link's shared lock keeps the wrapper from going away under them.

void PeerConnectionWrapper::logCallback(int level, const char* text)
{
    qDebug() << "[peerconnection_log]:" << level << text;
}

void PeerConnectionWrapper::onForward(int a, int b, void* user)
{
    auto* link = static_cast<Link*>(user);
    std::shared_lock lock(link->mutex);
    // Dropped while Initialize has not stored the connection yet.
    if (zovwebrtc::peer_connection* connection = link->wrapper ? link->wrapper->usableConnection() : nullptr)
        connection->forward(connection->handle, a, b);
}

void PeerConnectionWrapper::onIceGatheringComplete(void* user)
{
    auto* link = static_cast<Link*>(user);
    std::shared_lock lock(link->mutex);
    if (link->wrapper)
        link->wrapper->OnIceGatheringComplete();
}

void PeerConnectionWrapper::onStateChanged(int state, void* user)
{
    auto* link = static_cast<Link*>(user);
    std::shared_lock lock(link->mutex);
    PeerConnectionWrapper* self = link->wrapper;
    if (!self)
        return;
    qDebug() << "state" << state;
    if (state == zovwebrtc::kStateConnected) {
        if (self->m_hasVideo.load())
            return; // the first picture tells readiness
        self->m_readyEmitted.store(true);
        qDebug() << "[stream_ready_mode2]";
        emit self->StreamReady(self->m_sourceId, self->m_hasAudio.load(), false);
    } else if (state == zovwebrtc::kStateLost) {
        qDebug() << "[WEBRTC流已断开]";
        emit self->Disconnected();
    }
}

void PeerConnectionWrapper::onFrame(int64_t, const uint8_t* y, const uint8_t* u, const uint8_t* v,
    const uint8_t*, int strideY, int strideU, int strideV, int, int width, int height, void* user)
{
    auto* link = static_cast<Link*>(user);
    std::shared_lock lock(link->mutex);
    PeerConnectionWrapper* self = link->wrapper;
    if (!self || width <= 0 || height <= 0)
        return;
    self->storeFrameSize(width, height);
    ThirdSource::SourceAsncFrame(
        self->m_sourceIdUtf8.c_str(), y, u, v, strideY, strideU, strideV, width, height);
    self->markReadyOnce();
}

void PeerConnectionWrapper::onFrame2(int64_t, const uint8_t* y, const uint8_t* u, const uint8_t* v,
    const uint8_t*, int strideY, int strideU, int strideV, int, int width, int height, void* user)
{
    auto* link = static_cast<Link*>(user);
    std::shared_lock lock(link->mutex);
    PeerConnectionWrapper* self = link->wrapper;
    if (!self || width <= 0 || height <= 0)
        return;
    self->storeFrameSize(width, height);
    // The copy keeps whole groups of 8 columns; the rest of each row is dropped.
    const int alignedWidth = width & ~7;
    const bool readable = y && u && v && strideY >= alignedWidth && strideU >= alignedWidth / 2
        && strideV >= alignedWidth / 2;
    if (alignedWidth > 0 && readable) {
        const auto columns = static_cast<uint32_t>(alignedWidth);
        I420FramePtr copy
            = I420Frame::create(columns, columns / 2, columns / 2, columns, static_cast<uint32_t>(height));
        if (copy) {
            libyuv::I420Copy(y, strideY, u, strideU, v, strideV, copy->dataY(),
                static_cast<int>(copy->strideY()), copy->dataU(), static_cast<int>(copy->strideU()),
                copy->dataV(), static_cast<int>(copy->strideV()), alignedWidth, height);
            if (RemoteVideoObserver* receiver = self->observer.load())
                receiver->onRemoteFrame(self->m_sourceIdUtf8.c_str(), copy);
            self->publishCopy(copy);
        }
    }
    self->markReadyOnce();
}

void PeerConnectionWrapper::storeFrameSize(int width, int height)
{
    if (m_frameWidth.load() != width)
        m_frameWidth.store(width);
    if (m_frameHeight.load() != height)
        m_frameHeight.store(height);
}

void PeerConnectionWrapper::publishCopy(const I420FramePtr& copy)
{
    const char* id = m_sourceIdUtf8.c_str();
    const auto width = static_cast<int>(copy->width);
    const auto height = static_cast<int>(copy->height);
    if (!squareCrop.load()) {
        ThirdSource::SourceAsncFrame(id, copy->dataY(), copy->dataU(), copy->dataV(),
            static_cast<int>(copy->strideY()), static_cast<int>(copy->strideU()),
            static_cast<int>(copy->strideV()), width, height);
        return;
    }
    const int side = std::min(width, height) & ~7;
    if (side <= 0)
        return;
    const auto sideU = static_cast<uint32_t>(side);
    I420FramePtr square = I420Frame::create(sideU, sideU / 2, sideU / 2, sideU, sideU);
    if (!square)
        return;
    const size_t sampleSize = static_cast<size_t>(width) * static_cast<size_t>(height) * 3 / 2;
    libyuv::ConvertToI420(copy->data, sampleSize, square->dataY(), side, square->dataU(), side / 2,
        square->dataV(), side / 2, 0, 0, width, height, side, side, libyuv::kRotate0, libyuv::FOURCC_I420);
    ThirdSource::SourceAsncFrame(
        id, square->dataY(), square->dataU(), square->dataV(), side, side / 2, side / 2, side, side);
}

void PeerConnectionWrapper::markReadyOnce()
{
    if (!m_readyEmitted.exchange(true))
        emit StreamReady(m_sourceId, m_hasAudio.load(), m_hasVideo.load());
}
