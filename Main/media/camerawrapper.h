#pragma once

// Feeds one local camera into the studio as a third source. The wrapper owns its camera input; every 33 ms
// its timer takes the input's latest picture, converts it to I420 and pushes it under the wrapper's source
// id, and the first accepted push emits SignalStreamReady. GUI thread only. start() reports a camera input
// that could not be created by returning false; everything later is the input's to log.

#include "media/dshowinput.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class CameraWrapper : public QObject {
    Q_OBJECT
public:
    CameraWrapper();
    ~CameraWrapper() override;

    // deviceId: the device name, ':' and the device path. The camera runs at 30 frames per second or what
    // its mode allows; fps is accepted for the callers' sake and not used.
    bool start(const QString& deviceId, int cx, int cy, int fps);

    static void frameCallback(uint8_t* data, int linesize, int cx, int cy, void* context);
    void onFrame(uint8_t* data, int linesize, int cx, int cy);

    QString sourceId() const { return m_sourceId; }

signals:
    void SignalStreamReady(QString sourceId);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    QString m_sourceId;
    bool m_readyEmitted = false;
    std::unique_ptr<DShow::DShowInput> m_input;
    int m_timerId = 0;

    QByteArray m_sourceIdUtf8;
    // The I420 picture of the last tick, reused while the size stays.
    std::vector<uint8_t> m_i420;
    // A push was accepted during the poll; the signal goes out once the input's lock is released.
    bool m_firstPushAccepted = false;
};
