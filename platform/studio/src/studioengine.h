#pragma once

#include "desktopgrabber.h"
#include "matroskarecorder.h"
#include "studiosettings.h"

#include <studio/studioscene.h>
#include <studio/zovmwidget.h>

#include <zovwebrtc/publisher.h>

#include <QImage>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// Everything behind ZovMWidget. GUI-thread members are used on the GUI thread only; the studio thread
// composes, grabs the desktop and feeds the encoder; the encoder's callbacks come from GStreamer's
// threads and reach the GUI thread queued, tagged with the encoder they came from, so a late report from an
// encoder that is gone is dropped.
class StudioEngine {
public:
    explicit StudioEngine(ZovMWidget* widget);
    ~StudioEngine();

    // Settings: `pending` as the caller set them, `applied` from the last ResetOutputs.
    QString iniPath;
    StudioSettings pending;
    StudioSettings applied;
    void applySettings();
    void saveSettings();

    StudioScene scene;

    // Sound.
    bool desktopAudio = false;
    bool microphone = false;
    bool desktopMuted = false;
    bool microphoneMuted = false;
    void applyMutes();

    // Preview and the studio thread.
    void setPreview(bool on);
    bool previewOn() const { return m_previewOn; }
    QImage preview() const;
    uint64_t composedFrames() const { return m_composed; }

    // Push.
    enum class PushState { Idle, Starting, Running };
    PushState pushState = PushState::Idle;
    int64_t streamId = 0;
    int connectTimeoutMs = 10000;
    void startPush(const std::string& url, const std::string& token);
    void stopPush(); // emits SignalStreamingStoped when a push was starting or running

    // Recording.
    void startRecording();
    void stopRecording();
    bool recording() const;
    QString recordingPath;

private:
    bool ensureEncoder();
    void replaceEncoder();
    void releaseEncoderIfIdle();
    void destroyEncoder();
    std::string audioDescription(); // notes which sources it opens
    void failPush(const std::string& why);
    void endPush();
    void onOfferReady(int generation);
    void onExchanged(
        int generation, bool ok, const std::string& answer, int64_t id, const std::string& error);
    void onEncoderState(int generation, int state);
    void updateThread();
    void composeLoop();
    void post(std::function<void()> call);

    ZovMWidget* m_widget;
    QObject m_context; // queued calls to the GUI thread die with it

    // The encoder, shared by the studio thread (pictures) and the GUI thread (life).
    mutable std::mutex m_encoderMutex;
    std::unique_ptr<zovwebrtc::StreamPublisher> m_encoder;
    int m_generation = 0;
    bool m_encoderOffered = false;
    bool m_encoderHasAudio = false;
    // The sound sources the running encoding opened (one switched off or that failed to open is silence),
    // and whether a source switched on that it did not open has been reported.
    bool m_desktopOpened = false;
    bool m_microphoneOpened = false;
    bool m_desktopUnheardLogged = false;
    bool m_microphoneUnheardLogged = false;
    bool m_answered = false;
    QSize m_encoderSize;

    // The recording, fed from the encoder's threads.
    mutable std::mutex m_recorderMutex;
    std::unique_ptr<MatroskaRecorder> m_recorder;

    // Push worker (the blocking SDP exchange).
    std::string m_pushUrl;
    std::string m_token;
    std::thread m_exchange;
    std::atomic<bool> m_abortExchange { false };
    QTimer m_connectTimer;

    // The studio thread.
    std::thread m_thread;
    std::mutex m_threadMutex;
    std::condition_variable m_wake;
    bool m_stopThread = false;
    std::atomic<bool> m_previewOn { false };
    std::atomic<int> m_fps { 30 };
    std::atomic<bool> m_repaintQueued { false };
    std::atomic<uint64_t> m_composed { 0 };
    mutable std::mutex m_previewMutex;
    QImage m_preview;
};
