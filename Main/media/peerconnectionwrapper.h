#pragma once

// One WebRTC peer connection, whose received pictures become a studio third source under the wrapper's own
// source id. All wrappers of the process share one thread ("PeerConnectionWrapper Thread"), started with the
// first and stopped after the last: every wrapper lives there, its public operations are queued to it and
// return at once. The library calls back on threads of its own; signals reach receivers on other threads
// queued.
//
// The caller owns the wrapper and deletes it on any thread; the factory stays the caller's and must outlive
// the wrapper's Initialize. Deleting never waits for the library and never runs an event loop: the
// connection is handed to the library, which finishes closing it on a thread of its own, and no callback
// reaches the wrapper once its destructor has begun detaching it. Nothing reports failure: without a
// connection every operation does nothing.

#include "media/remotevideoobserver.h"

#include <zovwebrtc/zovwebrtc.h>

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QThread;

class PeerConnectionWrapper : public QObject {
    Q_OBJECT
public:
    PeerConnectionWrapper(QString firstText, QString secondText, zovwebrtc::peer_connection_factory* factory,
        QObject* parent = nullptr);
    ~PeerConnectionWrapper() override;

    void AddAudio(bool echoCancellation);
    void AddCamera();
    void CreateOffer(bool receiveVideo, bool receiveAudio);
    void SetRemoteSdp(QString sdp);

    QString sourceId() const { return m_sourceId; }
    bool hasVideo() const { return m_hasVideo.load(); }
    int frameWidth() const { return m_frameWidth.load(); }
    int frameHeight() const { return m_frameHeight.load(); }

    // Set by the owner, read on the library's threads: who receives each copied picture, and whether the
    // third source gets the top-left square of it instead of the whole picture.
    std::atomic<RemoteVideoObserver*> observer { nullptr };
    std::atomic<bool> squareCrop { false };

    // How long the library may take to let go of a connection handed over to it before that is logged.
    static constexpr int kCloseTimeoutMs = 5000;
    // Connections handed over to the library that it has not let go of yet (those it has are freed here).
    static int closingConnections();
    // Largest local description fetched from the library.
    static constexpr int kMaxDescriptionBytes = 1 << 20;

signals:
    void StreamReady(QString sourceId, bool hasAudio, bool hasVideo);
    void Disconnected();
    void IceGatheringCompleted(QString sourceId, QString sdp);

private slots:
    void Initialize();
    void AddAudioPrivate(bool echo_cancellation);
    void AddCameraPrivate();
    void CreateOfferPrivate(bool receiveVideo, bool receiveAudio);
    void SetRemoteSdpPrivate(QString sdp);
    void OnIceGatheringComplete();

private:
    struct Link;
    static std::vector<std::unique_ptr<Link>>& closingLinks();
    // Frees the links the library has let go of; logs, once each, those it holds longer than it should.
    // Takes the shared mutex's lock itself.
    static void sweepClosingLinks();

    static void logCallback(int level, const char* text);
    static void onForward(int a, int b, void* user);
    static void onIceGatheringComplete(void* user);
    static void onStateChanged(int state, void* user);
    static void onFrame(int64_t, const uint8_t* y, const uint8_t* u, const uint8_t* v, const uint8_t*,
        int strideY, int strideU, int strideV, int, int width, int height, void* user);
    static void onFrame2(int64_t, const uint8_t* y, const uint8_t* u, const uint8_t* v, const uint8_t*,
        int strideY, int strideU, int strideV, int, int width, int height, void* user);

    // The connection while it may be used: null before Initialize and once teardown began.
    zovwebrtc::peer_connection* usableConnection() const;
    void storeFrameSize(int width, int height);
    void publishCopy(const I420FramePtr& copy);
    void markReadyOnce();
    void teardown();

    const QString m_sourceId;
    const std::string m_sourceIdUtf8;
    const QString m_firstText;
    const QString m_secondText;
    zovwebrtc::peer_connection_factory* const m_factory;
    // What the library's callbacks reach (their user pointer) and the connection slot the library clears;
    // detached from the wrapper by the destructor and kept until the library has cleared the slot.
    std::unique_ptr<Link> m_link;
    zovwebrtc::peer_connection_callbacks m_callbacks {};
    std::atomic<bool> m_closing { false };
    std::atomic<bool> m_readyEmitted { false };
    std::atomic<bool> m_hasAudio { false };
    std::atomic<bool> m_hasVideo { false };
    std::atomic<int> m_frameWidth { 0 };
    std::atomic<int> m_frameHeight { 0 };
};
