#include <studio/studioscene.h>
#include <studio/thirdsource.h>

#include <libyuv/convert.h>
#include <libyuv/convert_argb.h>
#include <libyuv/planar_functions.h>
#include <libyuv/scale.h>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstring>

void StudioFrame::resize(int w, int h)
{
    width = w;
    height = h;
    y.resize(size_t(w) * h);
    u.resize(size_t(strideUV()) * ((h + 1) / 2));
    v.resize(u.size());
}

void StudioFrame::fillBlack()
{
    std::fill(y.begin(), y.end(), uint8_t(16));
    std::fill(u.begin(), u.end(), uint8_t(128));
    std::fill(v.begin(), v.end(), uint8_t(128));
}

QImage StudioFrame::toImage() const
{
    if (width <= 0 || height <= 0)
        return QImage();
    QImage image(width, height, QImage::Format_RGB32);
    libyuv::I420ToARGB(y.data(), strideY(), u.data(), strideUV(), v.data(), strideUV(), image.bits(),
        int(image.bytesPerLine()), width, height);
    return image;
}

namespace {

int floorHalf(int value) { return value >= 0 ? value / 2 : -((-value + 1) / 2); }

// Rounds a canvas rectangle to even corners and sizes, so that the chroma planes line up with it.
QRect evenRect(const QRect& rect)
{
    const int x = rect.x() & ~1;
    const int y = rect.y() & ~1;
    return QRect(x, y, std::max(2, rect.width() & ~1), std::max(2, rect.height() & ~1));
}

struct PlaneView {
    const uint8_t* y;
    const uint8_t* u;
    const uint8_t* v;
    int strideY;
    int strideUV;
    int width;
    int height;
};

// Copies `source` onto `canvas` with its top-left corner at `at`, clipped to the canvas.
void blit(StudioFrame& canvas, const PlaneView& source, const QPoint& at)
{
    const int x0 = std::max(0, at.x());
    const int y0 = std::max(0, at.y());
    const int x1 = std::min(canvas.width, at.x() + source.width);
    const int y1 = std::min(canvas.height, at.y() + source.height);
    if (x1 <= x0 || y1 <= y0)
        return;
    libyuv::CopyPlane(source.y + size_t(y0 - at.y()) * source.strideY + (x0 - at.x()), source.strideY,
        canvas.y.data() + size_t(y0) * canvas.strideY() + x0, canvas.strideY(), x1 - x0, y1 - y0);

    const int originX = floorHalf(at.x());
    const int originY = floorHalf(at.y());
    const int sourceChromaWidth = (source.width + 1) / 2;
    const int sourceChromaHeight = (source.height + 1) / 2;
    const int c0 = std::max(x0 / 2, originX);
    const int c1 = std::min({ (x1 + 1) / 2, originX + sourceChromaWidth, canvas.strideUV() });
    const int r0 = std::max(y0 / 2, originY);
    const int r1 = std::min({ (y1 + 1) / 2, originY + sourceChromaHeight, (canvas.height + 1) / 2 });
    if (c1 <= c0 || r1 <= r0)
        return;
    const size_t sourceOffset = size_t(r0 - originY) * source.strideUV + (c0 - originX);
    const size_t canvasOffset = size_t(r0) * canvas.strideUV() + c0;
    libyuv::CopyPlane(source.u + sourceOffset, source.strideUV, canvas.u.data() + canvasOffset, canvas.strideUV(),
        c1 - c0, r1 - r0);
    libyuv::CopyPlane(source.v + sourceOffset, source.strideUV, canvas.v.data() + canvasOffset, canvas.strideUV(),
        c1 - c0, r1 - r0);
}

void fillBlack(StudioFrame& canvas, const QRect& rect)
{
    const QRect clipped = evenRect(rect).intersected(QRect(0, 0, canvas.width & ~1, canvas.height & ~1));
    if (clipped.isEmpty())
        return;
    libyuv::SetPlane(canvas.y.data() + size_t(clipped.y()) * canvas.strideY() + clipped.x(), canvas.strideY(),
        clipped.width(), clipped.height(), 16);
    const size_t offset = size_t(clipped.y() / 2) * canvas.strideUV() + clipped.x() / 2;
    libyuv::SetPlane(canvas.u.data() + offset, canvas.strideUV(), clipped.width() / 2, clipped.height() / 2, 128);
    libyuv::SetPlane(canvas.v.data() + offset, canvas.strideUV(), clipped.width() / 2, clipped.height() / 2, 128);
}

} // namespace

QRect fitRect(const QSize& source, const QRect& target)
{
    if (source.isEmpty() || target.isEmpty())
        return QRect();
    const double scale = std::min(double(target.width()) / source.width(), double(target.height()) / source.height());
    const int w = std::max(1, int(std::lround(source.width() * scale)));
    const int h = std::max(1, int(std::lround(source.height() * scale)));
    return QRect(target.x() + (target.width() - w) / 2, target.y() + (target.height() - h) / 2, w, h);
}

struct StudioScene::Source {
    void* handle = nullptr;
    StudioSourceKind kind = StudioSourceKind::Image;
    QRect screenArea;
    QPoint position;
    QSize size;
    QString path;
    QString id;
    QByteArray idUtf8;
    StudioFrame picture; // images, converted once
};

StudioScene::StudioScene() = default;
StudioScene::~StudioScene() = default;

void StudioScene::setCanvasSize(const QSize& size)
{
    if (size.width() < 2 || size.height() < 2 || size.width() > 16384 || size.height() > 16384)
        return;
    std::lock_guard lock(m_mutex);
    m_canvasSize = QSize(size.width() & ~1, size.height() & ~1);
}

QSize StudioScene::canvasSize() const
{
    std::lock_guard lock(m_mutex);
    return m_canvasSize;
}

static void* nextHandle()
{
    static std::atomic<uintptr_t> counter { 0 };
    return reinterpret_cast<void*>(++counter);
}

void* StudioScene::addDesktop(const QRect& screenArea)
{
    auto source = std::make_unique<Source>();
    source->handle = nextHandle();
    source->kind = StudioSourceKind::Desktop;
    source->screenArea = screenArea.isValid() && !screenArea.isEmpty() ? screenArea : QRect();
    std::lock_guard lock(m_mutex);
    source->size = source->screenArea.isEmpty() ? m_canvasSize : source->screenArea.size();
    m_sources.push_back(std::move(source));
    return m_sources.back()->handle;
}

void* StudioScene::addImage(const QImage& picture, const QString& path, const QPoint& position)
{
    if (picture.isNull() || picture.width() > 16384 || picture.height() > 16384)
        return nullptr;
    auto source = std::make_unique<Source>();
    source->handle = nextHandle();
    source->kind = StudioSourceKind::Image;
    source->position = position;
    source->path = path;
    const QImage argb = picture.convertToFormat(QImage::Format_RGB32);
    source->size = argb.size();
    source->picture.resize(argb.width(), argb.height());
    libyuv::ARGBToI420(argb.constBits(), int(argb.bytesPerLine()), source->picture.y.data(),
        source->picture.strideY(), source->picture.u.data(), source->picture.strideUV(), source->picture.v.data(),
        source->picture.strideUV(), argb.width(), argb.height());
    std::lock_guard lock(m_mutex);
    m_sources.push_back(std::move(source));
    return m_sources.back()->handle;
}

void* StudioScene::addThird(const QString& id, const QPoint& position)
{
    if (id.isEmpty())
        return nullptr;
    auto source = std::make_unique<Source>();
    source->handle = nextHandle();
    source->kind = StudioSourceKind::Third;
    source->position = position;
    source->id = id;
    source->idUtf8 = id.toUtf8();
    if (const auto picture = ThirdSource::latestPicture(source->idUtf8.constData()))
        source->size = QSize(picture->width, picture->height);
    std::lock_guard lock(m_mutex);
    m_sources.push_back(std::move(source));
    return m_sources.back()->handle;
}

bool StudioScene::remove(void* handle)
{
    std::lock_guard lock(m_mutex);
    const auto found
        = std::find_if(m_sources.begin(), m_sources.end(), [handle](const auto& s) { return s->handle == handle; });
    if (!handle || found == m_sources.end())
        return false;
    m_sources.erase(found);
    return true;
}

bool StudioScene::position(void* handle, QPoint& out) const
{
    std::lock_guard lock(m_mutex);
    for (const auto& source : m_sources) {
        if (handle && source->handle == handle) {
            out = source->kind == StudioSourceKind::Desktop ? fitRect(source->size, QRect(QPoint(), m_canvasSize)).topLeft()
                                                            : source->position;
            return true;
        }
    }
    return false;
}

bool StudioScene::move(void* handle, const QPoint& position)
{
    std::lock_guard lock(m_mutex);
    for (auto& source : m_sources) {
        if (handle && source->handle == handle) {
            if (source->kind == StudioSourceKind::Desktop)
                return false; // always fitted into the whole canvas
            source->position = position;
            return true;
        }
    }
    return false;
}

std::vector<StudioSourceInfo> StudioScene::sources() const
{
    std::lock_guard lock(m_mutex);
    std::vector<StudioSourceInfo> result;
    for (const auto& source : m_sources) {
        StudioSourceInfo info;
        info.handle = source->handle;
        info.kind = source->kind;
        info.screenArea = source->screenArea;
        info.canvasRect = source->kind == StudioSourceKind::Desktop
            ? fitRect(source->size, QRect(QPoint(), m_canvasSize))
            : QRect(source->position, source->size);
        info.path = source->path;
        info.id = source->id;
        result.push_back(info);
    }
    return result;
}

void* StudioScene::sourceAt(const QPoint& canvasPoint) const
{
    const auto all = sources();
    for (auto it = all.rbegin(); it != all.rend(); ++it)
        if (it->canvasRect.contains(canvasPoint))
            return it->handle;
    return nullptr;
}

bool StudioScene::hasDesktop() const
{
    std::lock_guard lock(m_mutex);
    return std::any_of(
        m_sources.begin(), m_sources.end(), [](const auto& s) { return s->kind == StudioSourceKind::Desktop; });
}

void StudioScene::compose(StudioFrame& canvas, const DesktopPicture* desktop)
{
    std::lock_guard lock(m_mutex);
    if (canvas.width != m_canvasSize.width() || canvas.height != m_canvasSize.height())
        canvas.resize(m_canvasSize.width(), m_canvasSize.height());
    canvas.fillBlack();
    const QRect whole(QPoint(), m_canvasSize);
    for (auto& source : m_sources) {
        switch (source->kind) {
        case StudioSourceKind::Desktop: {
            const QRect screen = desktop ? QRect(0, 0, desktop->width, desktop->height) : QRect();
            const QRect area = source->screenArea.isEmpty() ? screen : source->screenArea.intersected(screen);
            if (!area.isEmpty())
                source->size = area.size();
            const QRect target = evenRect(fitRect(source->size, whole)).intersected(whole);
            if (area.width() < 2 || area.height() < 2 || target.isEmpty()) {
                fillBlack(canvas, target);
                break;
            }
            const uint8_t* origin = desktop->bgra.data() + size_t(area.y()) * desktop->stride + size_t(area.x()) * 4;
            uint8_t* y = canvas.y.data() + size_t(target.y()) * canvas.strideY() + target.x();
            const size_t chroma = size_t(target.y() / 2) * canvas.strideUV() + target.x() / 2;
            if (area.size() == target.size()) {
                libyuv::ARGBToI420(origin, desktop->stride, y, canvas.strideY(), canvas.u.data() + chroma,
                    canvas.strideUV(), canvas.v.data() + chroma, canvas.strideUV(), area.width(), area.height());
                break;
            }
            // The crop goes to I420 at its own size first: scaling in I420 moves 1.5 bytes a pixel, not 4.
            const int w = area.width() & ~1;
            const int h = area.height() & ~1;
            if (m_scratch.width != w || m_scratch.height != h)
                m_scratch.resize(w, h);
            libyuv::ARGBToI420(origin, desktop->stride, m_scratch.y.data(), m_scratch.strideY(), m_scratch.u.data(),
                m_scratch.strideUV(), m_scratch.v.data(), m_scratch.strideUV(), w, h);
            libyuv::I420Scale(m_scratch.y.data(), m_scratch.strideY(), m_scratch.u.data(), m_scratch.strideUV(),
                m_scratch.v.data(), m_scratch.strideUV(), w, h, y, canvas.strideY(), canvas.u.data() + chroma,
                canvas.strideUV(), canvas.v.data() + chroma, canvas.strideUV(), target.width(), target.height(),
                libyuv::kFilterBilinear);
            break;
        }
        case StudioSourceKind::Image:
            blit(canvas,
                PlaneView { source->picture.y.data(), source->picture.u.data(), source->picture.v.data(),
                    source->picture.strideY(), source->picture.strideUV(), source->picture.width,
                    source->picture.height },
                source->position);
            break;
        case StudioSourceKind::Third: {
            const auto picture = ThirdSource::latestPicture(source->idUtf8.constData());
            if (!picture)
                break;
            source->size = QSize(picture->width, picture->height);
            blit(canvas,
                PlaneView { picture->y.data(), picture->u.data(), picture->v.data(), picture->strideY(),
                    picture->strideUV(), picture->width, picture->height },
                source->position);
            break;
        }
        }
    }
}
