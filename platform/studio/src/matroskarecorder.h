#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

typedef struct _GstElement GstElement;

// Writes encoded VP8 pictures and Opus packets into a Matroska file as they come. The file is readable at
// any moment, also after a crash (the segment is written open-ended; a clean finish adds its length and
// index). Units may arrive on any thread; video starts with the first key frame.
class MatroskaRecorder {
public:
    // Null, with a reason, when the file cannot be made.
    static std::unique_ptr<MatroskaRecorder> open(
        const QString& path, int width, int height, int fps, bool audio, std::string* error = nullptr);
    ~MatroskaRecorder(); // finishes the file (waits a few seconds at most)

    void write(bool video, const uint8_t* data, size_t size, int64_t timeUs, bool keyFrame);
    // A new encoding begins: its times restart, the file's continue after what was written.
    void rebase();
    bool hasVideo() const;

private:
    MatroskaRecorder() = default;
    void finish();

    GstElement* m_pipeline = nullptr;
    GstElement* m_video = nullptr;
    GstElement* m_audio = nullptr;
    mutable std::mutex m_mutex;
    int m_fps = 30;
    bool m_videoStarted = false;
    bool m_haveBase = false;
    int64_t m_baseUs = 0; // the current encoding's time that maps to m_offsetUs
    int64_t m_offsetUs = 0;
    int64_t m_lastVideoUs = -1;
    int64_t m_lastAudioUs = -1;
};

// "Tavicast-<yyyyMMdd-HHmmss>.mkv" in `folder` (empty: the user's video folder), made unique with "-2",
// "-3"… when a file of that name exists. Empty when the folder cannot be made.
QString recordingPathIn(const QString& folder);
