#pragma once

#include <studio/studioscene.h>

#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <vector>

enum EncodeRateControl {
    EncodeRateControl_Quality = 0, // variable bit rate
    EncodeRateControl_Variable = 1, // variable bit rate
    EncodeRateControl_Constant = 2, // constant bit rate
};

// Both values encode VP8; the distinction is kept for the callers' settings.
enum VideoEncoder {
    VideoEncoder_Software = 0,
    VideoEncoder_Hardware = 1,
};

class StudioEngine;

// The host's studio: the scene (desktop, image and third sources) composed at the set frame rate on a
// studio thread, its preview, desktop sound and microphone, one encoding that feeds the push (WebRTC,
// published through the service's SDP exchange) and the recording (VP8 and Opus in Matroska).
// GUI thread only. Failures are logged and reported by the signals; nothing throws. Settings given before
// a push (size, frame rate, bit rate, key frames) apply from the next push or recording on.
class ZovMWidget : public QWidget {
    Q_OBJECT
public:
    explicit ZovMWidget(QWidget* parent = nullptr);
    ~ZovMWidget() override;

    // Reads the settings file (a missing folder means the user's configuration folder); false when it
    // cannot be read or created. The widget works either way.
    bool Initialize(const QString& iniPath);
    void SetRateControl(EncodeRateControl control);
    void SetVideoBitRate(int kbps);
    // Applies the settings given so far to the scene and the next encoding, and stores them.
    void ResetOutputs();
    void ResetVideoSize(int width, int height);
    void SetFps(int fps);
    void SetVideoKeyFrameSec(int seconds);
    void SetEncoder(VideoEncoder encoder);
    void DisableBFrame();
    void InitializePreview();
    void FinalizePreview();

    void* AddDesktopCapture();
    void* AddPartDesktopCapture(int x, int y, int width, int height);
    void* AddImageSource(const QString& path, const QPoint& position);
    void* AddThirdSource(const QString& id, const QPoint& position);
    void RemoveSource(void* handle);
    bool GetSourcePos(void* handle, QPoint& position);

    void AddDesktopAudio();
    void RemoveDesktopAudio();
    void AddMicrophoneSource();
    void RemoveMicrophoneSource();
    void MuteDesktopAudio(bool mute);
    void MuteMicrophone(bool mute);

    // Push address ("webrtc://" or "webrtcs://"), user token, and two unused texts, all UTF-8.
    void StartStreaming(const char* url, const char* token, const char* reserved1, const char* reserved2);
    void StopStreaming();
    int64_t GetWebrtcRoomID() const;

    void SetRecordDir(const QString& folder);
    void StartRecording();
    void StopRecording();

    // Read side.
    QString iniPath() const;
    QSize outputSize() const;
    int fps() const;
    int videoBitRate() const;
    int keyFrameSec() const;
    EncodeRateControl rateControl() const;
    VideoEncoder encoder() const;
    bool isPreviewInitialized() const;
    bool hasDesktopAudio() const;
    bool hasMicrophone() const;
    bool isDesktopAudioMuted() const;
    bool isMicrophoneMuted() const;
    bool isStreaming() const; // starting or running
    bool isStreamingStarted() const; // connected
    bool isRecording() const;
    QString recordDir() const;
    QString recordingPath() const; // the file being (or last) written
    std::vector<StudioSourceInfo> sources() const;
    // The latest composed canvas (null before the first composition).
    QImage canvasImage() const;
    // Canvas pictures composed since the preview was initialized.
    uint64_t composedFrameCount() const;
    // Where the preview draws the canvas, in widget coordinates.
    QRect canvasViewRect() const;

    // Test seam: how long a push may take to connect (10 s by default).
    void setConnectTimeoutMs(int ms);

signals:
    void SignalStreamingStarted();
    void SignalStreamingStoped();
    void SourceContextMenuRequested(void* handle);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    friend class StudioEngine;
    std::unique_ptr<StudioEngine> m_engine;
    void* m_dragged = nullptr;
    QPoint m_dragOffset;
};
