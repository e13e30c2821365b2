#include "studioengine.h"

#include "pushsignalling.h"
#include "soundsource.h"

#include <zovwebrtc/zovwebrtc.h>

#include <framekit/framekit.h>

#include <QFileInfo>

#include <chrono>
#include <cstdlib>

namespace {

constexpr char kDesktopVolume[] = "desktopvolume";
constexpr char kMicrophoneVolume[] = "microphonevolume";

// The output's monitor and the default input; tests name their own sources.
std::string sourceFromEnvironment(const char* variable, const char* fallback)
{
    const char* value = std::getenv(variable);
    return value && *value ? value : fallback;
}

std::string audioBranch(const std::string& source, const char* volumeName)
{
    return source
        + " ! audioconvert ! audioresample ! audio/x-raw,rate=48000,channels=2 ! volume name=" + volumeName;
}

} // namespace

StudioEngine::StudioEngine(ZovMWidget* widget)
    : m_widget(widget)
{
    scene.setCanvasSize(applied.outputSize);
    m_connectTimer.setSingleShot(true);
    QObject::connect(&m_connectTimer, &QTimer::timeout, &m_context, [this] {
        failPush("the push was not connected within " + std::to_string(connectTimeoutMs) + " ms");
    });
}

StudioEngine::~StudioEngine()
{
    stopRecording();
    m_connectTimer.stop();
    m_abortExchange = true;
    if (m_exchange.joinable())
        m_exchange.join();
    pushState = PushState::Idle;
    destroyEncoder();
    m_previewOn = false;
    updateThread();
}

void StudioEngine::post(std::function<void()> call)
{
    QMetaObject::invokeMethod(&m_context, std::move(call), Qt::QueuedConnection);
}

// ---- settings

void StudioEngine::applySettings()
{
    applied = pending;
    {
        std::lock_guard lock(m_encoderMutex);
        if (m_encoder)
            fk_log(FK_LOG_INFO, "studio: the new output settings apply once the running encoding ends");
        else {
            scene.setCanvasSize(applied.outputSize);
            m_fps = applied.fps;
        }
    }
    saveSettings();
}

void StudioEngine::saveSettings()
{
    if (!iniPath.isEmpty() && !applied.save(iniPath))
        fk_log(FK_LOG_WARNING, "studio: the settings cannot be written to %s", qUtf8Printable(iniPath));
}

// ---- sound

std::string StudioEngine::audioDescription()
{
    struct Source {
        bool on;
        bool muted;
        const char* variable;
        const char* fallback;
        const char* volume;
        const char* what;
        bool* opened;
    };
    const Source sources[] = {
        { desktopAudio, desktopMuted, "TAVICAST_DESKTOP_AUDIO_SOURCE", "pulsesrc device=@DEFAULT_MONITOR@",
            kDesktopVolume, "desktop sound", &m_desktopOpened },
        { microphone, microphoneMuted, "TAVICAST_AUDIO_SOURCE", "pulsesrc", kMicrophoneVolume, "microphone",
            &m_microphoneOpened },
    };
    std::vector<std::string> branches;
    for (const Source& source : sources) {
        *source.opened = false;
        if (!source.on)
            continue;
        // A source switched off is never opened; one that cannot be opened leaves silence in its place,
        // so the encoding starts all the same.
        std::string description = kSilentSoundSource;
        if (!source.muted) {
            const std::string wanted = sourceFromEnvironment(source.variable, source.fallback);
            std::string why;
            if (soundSourceOpens(wanted, &why)) {
                description = wanted;
                *source.opened = true;
            } else {
                fk_log(FK_LOG_WARNING, "studio: the %s (%s) cannot be opened: %s; silence in its place",
                    source.what, wanted.c_str(), why.c_str());
            }
        }
        branches.push_back(audioBranch(description, source.volume));
    }
    if (branches.size() < 2)
        return branches.empty() ? std::string() : branches.front();
    // The description must end in the element whose output the encoder takes: the mixer.
    return branches[0] + " ! studiomix. " + branches[1] + " ! studiomix. audiomixer name=studiomix";
}

void StudioEngine::applyMutes()
{
    std::lock_guard lock(m_encoderMutex);
    if (!m_encoder)
        return;
    // A source taken away while the encoding runs stays in it, silenced.
    m_encoder->setAudioMuted(kDesktopVolume, desktopMuted || !desktopAudio);
    m_encoder->setAudioMuted(kMicrophoneVolume, microphoneMuted || !microphone);
    // One switched on that this encoding did not open is heard from the next encoding.
    const bool desktopUnheard = desktopAudio && !desktopMuted && !m_desktopOpened;
    const bool microphoneUnheard = microphone && !microphoneMuted && !m_microphoneOpened;
    if (desktopUnheard && !m_desktopUnheardLogged)
        fk_log(FK_LOG_INFO, "studio: the desktop sound is not open in this encoding; it is heard from the next");
    if (microphoneUnheard && !m_microphoneUnheardLogged)
        fk_log(FK_LOG_INFO, "studio: the microphone is not open in this encoding; it is heard from the next");
    m_desktopUnheardLogged = desktopUnheard || m_desktopUnheardLogged;
    m_microphoneUnheardLogged = microphoneUnheard || m_microphoneUnheardLogged;
}

// ---- the encoder

bool StudioEngine::ensureEncoder()
{
    if (m_encoder)
        return true;
    scene.setCanvasSize(applied.outputSize);
    const QSize size = scene.canvasSize();
    zovwebrtc::PublisherSettings settings;
    settings.width = size.width();
    settings.height = size.height();
    settings.fps = applied.fps;
    settings.bitrateKbps = applied.bitrateKbps;
    settings.rateControl = applied.rateControl == EncodeRateControl_Constant
        ? zovwebrtc::PublisherSettings::RateControl::Constant
        : zovwebrtc::PublisherSettings::RateControl::Variable;
    settings.keyFrameInterval = std::max(1, applied.fps * applied.keyFrameSec);
    settings.audioSource = audioDescription();

    const int generation = ++m_generation;
    zovwebrtc::PublisherCallbacks callbacks;
    callbacks.offerReady = [this, generation] { post([this, generation] { onOfferReady(generation); }); };
    callbacks.stateChanged = [this, generation](int state) {
        post([this, generation, state] { onEncoderState(generation, state); });
    };
    callbacks.encoded
        = [this](bool video, const uint8_t* data, size_t length, int64_t timeUs, bool keyFrame) {
              std::lock_guard lock(m_recorderMutex);
              if (m_recorder)
                  m_recorder->write(video, data, length, timeUs, keyFrame);
          };
    std::string error;
    auto encoder = zovwebrtc::StreamPublisher::create(settings, std::move(callbacks), &error);
    if (!encoder) {
        fk_log(FK_LOG_ERROR, "studio: the encoder cannot start (%dx%d, %d fps, %d kbit/s): %s",
            settings.width, settings.height, settings.fps, settings.bitrateKbps, error.c_str());
        return false;
    }
    {
        std::lock_guard lock(m_encoderMutex);
        m_encoder = std::move(encoder);
        m_encoderSize = size;
        m_encoderOffered = false;
        m_encoderHasAudio = !settings.audioSource.empty();
        // A source that failed to open has had its line; a muted one unmuted later gets its own.
        m_desktopUnheardLogged = desktopAudio && !desktopMuted && !m_desktopOpened;
        m_microphoneUnheardLogged = microphone && !microphoneMuted && !m_microphoneOpened;
    }
    m_fps = settings.fps;
    applyMutes();
    updateThread();
    return true;
}

void StudioEngine::destroyEncoder()
{
    std::unique_ptr<zovwebrtc::StreamPublisher> encoder;
    {
        std::lock_guard lock(m_encoderMutex);
        encoder = std::move(m_encoder);
    }
    ++m_generation; // whatever it still reports is stale
    encoder.reset();
    scene.setCanvasSize(applied.outputSize);
    m_fps = applied.fps;
}

void StudioEngine::replaceEncoder()
{
    destroyEncoder();
    {
        std::lock_guard lock(m_recorderMutex);
        if (m_recorder)
            m_recorder->rebase();
    }
    ensureEncoder();
}

void StudioEngine::releaseEncoderIfIdle()
{
    if (pushState == PushState::Idle && !recording()) {
        destroyEncoder();
        updateThread();
    }
}

// ---- push

void StudioEngine::startPush(const std::string& url, const std::string& token)
{
    if (pushState != PushState::Idle)
        stopPush();
    pushState = PushState::Starting;
    m_pushUrl = url;
    m_token = token;
    m_answered = false;
    fk_log(FK_LOG_INFO, "studio: push to %s starts", url.c_str());
    if (pushsignalling::httpAddress(url).empty()) {
        failPush("the address is not webrtc:// or webrtcs://");
        return;
    }
    if (m_encoder && m_encoderOffered)
        replaceEncoder(); // a connection is offered once; the recording carries on
    if (!ensureEncoder()) {
        failPush("the encoder cannot start");
        return;
    }
    {
        std::lock_guard lock(m_encoderMutex);
        m_encoderOffered = true;
        m_encoder->createOffer();
    }
    m_connectTimer.start(connectTimeoutMs);
}

void StudioEngine::stopPush()
{
    if (pushState == PushState::Idle)
        return;
    fk_log(FK_LOG_INFO, "studio: push stopped");
    endPush();
    emit m_widget->SignalStreamingStoped();
}

void StudioEngine::failPush(const std::string& why)
{
    if (pushState == PushState::Idle)
        return;
    fk_log(FK_LOG_ERROR, "studio: push to %s failed: %s", m_pushUrl.c_str(), why.c_str());
    endPush();
    emit m_widget->SignalStreamingStoped();
}

void StudioEngine::endPush()
{
    m_connectTimer.stop();
    m_abortExchange = true;
    if (m_exchange.joinable())
        m_exchange.join();
    pushState = PushState::Idle;
    streamId = 0;
    m_answered = false;
    if (recording())
        replaceEncoder();
    else
        releaseEncoderIfIdle();
}

void StudioEngine::onOfferReady(int generation)
{
    if (generation != m_generation || pushState != PushState::Starting || m_answered)
        return;
    std::string offer;
    {
        std::lock_guard lock(m_encoderMutex);
        if (m_encoder)
            offer = m_encoder->localDescription();
    }
    if (m_exchange.joinable())
        m_exchange.join();
    m_abortExchange = false;
    m_exchange = std::thread(
        [this, generation, offer, url = m_pushUrl, token = m_token, timeout = connectTimeoutMs] {
            const pushsignalling::Outcome outcome
                = pushsignalling::exchange(url, token, offer, &m_abortExchange, timeout);
            post([this, generation, outcome] {
                onExchanged(generation, outcome.ok, outcome.answer, outcome.id, outcome.error);
            });
        });
}

void StudioEngine::onExchanged(
    int generation, bool ok, const std::string& answer, int64_t id, const std::string& error)
{
    if (generation != m_generation || pushState != PushState::Starting)
        return;
    if (!ok) {
        failPush(error);
        return;
    }
    bool accepted = false;
    {
        std::lock_guard lock(m_encoderMutex);
        accepted = m_encoder && m_encoder->setAnswer(answer);
    }
    if (!accepted) {
        failPush("the service's answer is not a usable SDP answer");
        return;
    }
    m_answered = true;
    streamId = id;
    fk_log(FK_LOG_INFO, "studio: the service took the push as stream %lld", static_cast<long long>(id));
}

void StudioEngine::onEncoderState(int generation, int state)
{
    if (generation != m_generation || pushState == PushState::Idle)
        return;
    if (state == zovwebrtc::kStateConnected && pushState == PushState::Starting && m_answered) {
        pushState = PushState::Running;
        m_connectTimer.stop();
        fk_log(FK_LOG_INFO, "studio: push connected");
        emit m_widget->SignalStreamingStarted();
    } else if (state == zovwebrtc::kStateLost) {
        failPush("the connection was lost");
    }
}

// ---- recording

bool StudioEngine::recording() const
{
    std::lock_guard lock(m_recorderMutex);
    return m_recorder != nullptr;
}

void StudioEngine::startRecording()
{
    if (recording())
        return;
    const QString path = recordingPathIn(applied.recordDir);
    if (path.isEmpty()) {
        fk_log(FK_LOG_ERROR, "studio: no recording: the folder \"%s\" cannot be made",
            qUtf8Printable(applied.recordDir));
        return;
    }
    if (!ensureEncoder()) {
        fk_log(FK_LOG_ERROR, "studio: no recording: the encoder cannot start");
        return;
    }
    std::string error;
    const QSize size = m_encoderSize;
    auto recorder
        = MatroskaRecorder::open(path, size.width(), size.height(), m_fps, m_encoderHasAudio, &error);
    if (!recorder) {
        fk_log(FK_LOG_ERROR, "studio: no recording: %s", error.c_str());
        releaseEncoderIfIdle();
        return;
    }
    {
        std::lock_guard lock(m_recorderMutex);
        m_recorder = std::move(recorder);
    }
    recordingPath = path;
    {
        std::lock_guard lock(m_encoderMutex);
        if (m_encoder)
            m_encoder->requestKeyFrame();
    }
    fk_log(FK_LOG_INFO, "studio: recording to %s", qUtf8Printable(path));
}

void StudioEngine::stopRecording()
{
    std::unique_ptr<MatroskaRecorder> recorder;
    {
        std::lock_guard lock(m_recorderMutex);
        recorder = std::move(m_recorder);
    }
    if (!recorder)
        return;
    recorder.reset();
    fk_log(FK_LOG_INFO, "studio: recording ended: %s", qUtf8Printable(recordingPath));
    releaseEncoderIfIdle();
}

// ---- preview and the studio thread

void StudioEngine::setPreview(bool on)
{
    m_previewOn = on;
    if (!on) {
        std::lock_guard lock(m_previewMutex);
        m_preview = QImage();
    }
    updateThread();
}

QImage StudioEngine::preview() const
{
    std::lock_guard lock(m_previewMutex);
    return m_preview;
}

void StudioEngine::updateThread()
{
    bool encoding = false;
    {
        std::lock_guard lock(m_encoderMutex);
        encoding = m_encoder != nullptr;
    }
    const bool wanted = m_previewOn || encoding;
    if (wanted && !m_thread.joinable()) {
        m_stopThread = false;
        m_thread = std::thread([this] { composeLoop(); });
    } else if (!wanted && m_thread.joinable()) {
        {
            std::lock_guard lock(m_threadMutex);
            m_stopThread = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
}

void StudioEngine::composeLoop()
{
    using Clock = std::chrono::steady_clock;
    DesktopGrabber grabber;
    DesktopPicture desktop;
    StudioFrame canvas;
    auto next = Clock::now();
    for (;;) {
        {
            std::lock_guard lock(m_threadMutex);
            if (m_stopThread)
                break;
        }
        const bool grabbed = scene.hasDesktop() && grabber.grab(desktop);
        scene.compose(canvas, grabbed ? &desktop : nullptr);
        {
            std::lock_guard lock(m_encoderMutex);
            if (m_encoder && canvas.width == m_encoderSize.width() && canvas.height == m_encoderSize.height())
                m_encoder->pushI420(canvas.y.data(), canvas.u.data(), canvas.v.data(), canvas.strideY(),
                    canvas.strideUV(), canvas.strideUV(), canvas.width, canvas.height);
        }
        if (m_previewOn) {
            QImage image = canvas.toImage();
            {
                // Checked again under the lock: a preview finalized meanwhile stays empty.
                std::lock_guard lock(m_previewMutex);
                if (m_previewOn)
                    m_preview = std::move(image);
            }
            if (!m_repaintQueued.exchange(true))
                post([this] {
                    m_repaintQueued = false;
                    m_widget->update();
                });
        }
        ++m_composed;
        next += std::chrono::microseconds(1000000 / std::max(1, m_fps.load()));
        const auto now = Clock::now();
        if (next < now)
            next = now; // behind: no burst to catch up
        std::unique_lock lock(m_threadMutex);
        m_wake.wait_until(lock, next, [this] { return m_stopThread; });
    }
}
