#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// One I420 picture with tightly packed planes, owned by the frame.
struct StudioFrame {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> y;
    std::vector<uint8_t> u;
    std::vector<uint8_t> v;

    void resize(int w, int h);
    void fillBlack();
    int strideY() const { return width; }
    int strideUV() const { return (width + 1) / 2; }
    QImage toImage() const; // RGB32
};

// One grab of the screen: BGRA rows (as X11 hands them out), owned by the grab.
struct DesktopPicture {
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<uint8_t> bgra;
};

enum class StudioSourceKind { Desktop, Image, Third };

// What a caller may read about one source of the scene.
struct StudioSourceInfo {
    void* handle = nullptr;
    StudioSourceKind kind = StudioSourceKind::Image;
    // Desktop: the captured screen area in screen pixels (empty: the whole screen).
    QRect screenArea;
    // Where the source sits on the canvas and how large it is drawn there (empty before a third source's
    // first picture).
    QRect canvasRect;
    QString path; // image file
    QString id; // third source
};

// The studio's scene: sources stacked in the order they were added (later ones on top), composed into one
// output-size canvas. Desktop sources are fitted into the whole canvas with their aspect kept; images and
// third sources are drawn at their position at their own size; everything is clipped to the canvas.
// Handles are opaque, never null, never reused within a scene. Every function may be called from any
// thread; compose runs on the studio thread while the GUI thread adds, moves and removes.
class StudioScene {
public:
    StudioScene();
    ~StudioScene();

    void setCanvasSize(const QSize& size);
    QSize canvasSize() const;

    // An empty area means the whole screen.
    void* addDesktop(const QRect& screenArea);
    // Null when the picture is null or empty.
    void* addImage(const QImage& picture, const QString& path, const QPoint& position);
    // Null for an empty id.
    void* addThird(const QString& id, const QPoint& position);
    bool remove(void* handle);
    bool position(void* handle, QPoint& out) const;
    bool move(void* handle, const QPoint& position);
    // The top-most source drawn at `canvasPoint`, or null.
    void* sourceAt(const QPoint& canvasPoint) const;
    std::vector<StudioSourceInfo> sources() const;
    bool hasDesktop() const;

    // Draws the scene into `canvas` (resized to the canvas size). `desktop` is the latest screen grab, or
    // null: desktop sources are then black.
    void compose(StudioFrame& canvas, const DesktopPicture* desktop);

private:
    struct Source;
    mutable std::mutex m_mutex;
    QSize m_canvasSize { 1280, 720 };
    std::vector<std::unique_ptr<Source>> m_sources;
    StudioFrame m_scratch;
};

// Where a picture of `source` size lands when fitted into `target` with its aspect kept, centred.
QRect fitRect(const QSize& source, const QRect& target);
