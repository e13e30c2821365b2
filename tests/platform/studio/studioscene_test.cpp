// The studio's scene: stacking, positions, clipping and fitting of sources on the canvas, and the preview's
// drag and right click, on real widgets (offscreen).
#include <studio/studioscene.h>
#include <studio/thirdsource.h>
#include <studio/zovmwidget.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

constexpr int kWhite = 235;
constexpr int kBlack = 16;

QImage solid(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// The luma of the canvas at a point.
int lumaAt(const StudioFrame& canvas, QPoint p) { return canvas.y[size_t(p.y()) * canvas.strideY() + p.x()]; }

// A desktop grab of one colour with a white square at the screen's top-left corner.
DesktopPicture desktopPicture(int width, int height, QColor colour)
{
    const QImage image = solid(width, height, colour);
    DesktopPicture picture;
    picture.width = width;
    picture.height = height;
    picture.stride = width * 4;
    picture.bgra.assign(image.constBits(), image.constBits() + image.sizeInBytes());
    for (int row = 0; row < 20; ++row)
        for (int col = 0; col < 20; ++col)
            std::fill_n(&picture.bgra[size_t(row) * picture.stride + col * 4], 4, uint8_t(255));
    return picture;
}

struct Probe {
    QPoint at;
    int luma;
};

struct SceneCase {
    const char* name;
    std::function<void(StudioScene&)> build;
    std::vector<Probe> probes;
    bool withDesktop = false;
};

// Canvas 320x180; a 640x480 grey desktop when asked.
TEST(StudioScene, ComposesSourcesByTable)
{
    const QColor grey(128, 128, 128);
    const int greyLuma = 126; // BT.601 limited range
    const std::vector<SceneCase> cases = {
        { "an image sits at its position at its own size",
            [](StudioScene& s) { s.addImage(solid(40, 20, Qt::white), "w", QPoint(100, 50)); },
            { { { 100, 50 }, kWhite }, { { 139, 69 }, kWhite }, { { 99, 50 }, kBlack }, { { 140, 69 }, kBlack },
                { { 100, 70 }, kBlack } } },
        { "later sources are on top",
            [](StudioScene& s) {
                s.addImage(solid(100, 100, Qt::white), "w", QPoint(0, 0));
                s.addImage(solid(100, 100, Qt::black), "b", QPoint(50, 50));
            },
            { { { 10, 10 }, kWhite }, { { 60, 60 }, kBlack }, { { 149, 149 }, kBlack }, { { 99, 40 }, kWhite } } },
        { "removing the top one shows the one below",
            [](StudioScene& s) {
                s.addImage(solid(100, 100, Qt::white), "w", QPoint(0, 0));
                s.remove(s.addImage(solid(100, 100, Qt::black), "b", QPoint(50, 50)));
            },
            { { { 60, 60 }, kWhite } } },
        { "sources past any edge are clipped",
            [](StudioScene& s) {
                s.addImage(solid(60, 60, Qt::white), "w", QPoint(-30, -31));
                s.addImage(solid(60, 60, Qt::white), "w", QPoint(291, 150));
                s.addImage(solid(60, 60, Qt::white), "w", QPoint(-100, 500)); // wholly outside
            },
            { { { 0, 0 }, kWhite }, { { 29, 28 }, kWhite }, { { 30, 30 }, kBlack }, { { 319, 179 }, kWhite },
                { { 290, 179 }, kBlack } } },
        { "the whole desktop is fitted with its aspect, centred",
            [](StudioScene& s) { s.addDesktop(QRect()); },
            // 640x480 into 320x180: 240x180 at x 40.
            { { { 39, 90 }, kBlack }, { { 41, 90 }, greyLuma }, { { 278, 90 }, greyLuma }, { { 281, 90 }, kBlack },
                { { 42, 1 }, kWhite } },
            true },
        { "a desktop area is cut from the screen and fitted",
            [](StudioScene& s) { s.addDesktop(QRect(0, 0, 160, 90)); },
            // 160x90 scaled to 320x180: the 20x20 white corner becomes 40x40.
            { { { 2, 2 }, kWhite }, { { 37, 37 }, kWhite }, { { 44, 44 }, greyLuma }, { { 319, 179 }, greyLuma } },
            true },
        { "an image above the desktop",
            [](StudioScene& s) {
                s.addDesktop(QRect());
                s.addImage(solid(20, 20, Qt::black), "b", QPoint(150, 80));
            },
            { { { 155, 85 }, kBlack }, { { 175, 85 }, greyLuma } }, true },
        { "a desktop without a screen is black",
            [](StudioScene& s) { s.addDesktop(QRect()); }, { { { 160, 90 }, kBlack } } },
    };
    const DesktopPicture desktop = desktopPicture(640, 480, grey);
    for (const SceneCase& c : cases) {
        SCOPED_TRACE(c.name);
        StudioScene scene;
        scene.setCanvasSize(QSize(320, 180));
        c.build(scene);
        StudioFrame canvas;
        scene.compose(canvas, c.withDesktop ? &desktop : nullptr);
        ASSERT_EQ(canvas.width, 320);
        ASSERT_EQ(canvas.height, 180);
        for (const Probe& probe : c.probes) {
            SCOPED_TRACE(QString("at %1,%2").arg(probe.at.x()).arg(probe.at.y()).toStdString());
            EXPECT_NEAR(lumaAt(canvas, probe.at), probe.luma, 4);
        }
    }
}

TEST(StudioScene, HandlesPositionsAndHitTests)
{
    StudioScene scene;
    scene.setCanvasSize(QSize(320, 180));
    void* desktop = scene.addDesktop(QRect());
    void* a = scene.addImage(solid(100, 100, Qt::white), "a.png", QPoint(10, 20));
    void* b = scene.addImage(solid(100, 100, Qt::white), "b.png", QPoint(60, 70));
    ASSERT_TRUE(desktop && a && b);
    EXPECT_NE(a, b);
    EXPECT_EQ(scene.addImage(QImage(), "none", QPoint()), nullptr);
    EXPECT_EQ(scene.addThird(QString(), QPoint()), nullptr);

    QPoint position;
    ASSERT_TRUE(scene.position(a, position));
    EXPECT_EQ(position, QPoint(10, 20));
    EXPECT_EQ(scene.sourceAt(QPoint(70, 80)), b); // the overlap: the top one
    EXPECT_EQ(scene.sourceAt(QPoint(15, 25)), a);
    EXPECT_EQ(scene.sourceAt(QPoint(300, 5)), desktop);
    EXPECT_TRUE(scene.move(b, QPoint(-20, 150)));
    ASSERT_TRUE(scene.position(b, position));
    EXPECT_EQ(position, QPoint(-20, 150));
    EXPECT_FALSE(scene.move(desktop, QPoint(5, 5))); // desktops always fill the canvas

    EXPECT_TRUE(scene.remove(a));
    EXPECT_FALSE(scene.remove(a));
    EXPECT_FALSE(scene.position(a, position));
    EXPECT_FALSE(scene.position(nullptr, position));
    EXPECT_EQ(scene.sourceAt(QPoint(15, 25)), desktop);
    // A new source never takes a removed one's handle.
    EXPECT_NE(scene.addImage(solid(4, 4, Qt::white), "c.png", QPoint()), a);
    EXPECT_EQ(scene.sources().size(), 3u);
}

TEST(StudioScene, ThirdSourceShowsItsLatestPictureAtItsPosition)
{
    const char* id = "studioscene-third";
    ASSERT_TRUE(ThirdSource::RegisterThirdSource(id));
    StudioScene scene;
    scene.setCanvasSize(QSize(320, 180));
    void* third = scene.addThird(QString::fromUtf8(id), QPoint(200, 100));
    StudioFrame canvas;
    scene.compose(canvas, nullptr);
    EXPECT_EQ(lumaAt(canvas, QPoint(210, 110)), kBlack); // unfed

    // 160x120 white: clipped at the canvas's right and bottom edges.
    std::vector<uint8_t> y(160 * 120, kWhite), u(80 * 60, 128), v(80 * 60, 128);
    ASSERT_TRUE(ThirdSource::SourceAsncFrame(id, y.data(), u.data(), v.data(), 160, 80, 80, 160, 120));
    scene.compose(canvas, nullptr);
    EXPECT_EQ(lumaAt(canvas, QPoint(200, 100)), kWhite);
    EXPECT_EQ(lumaAt(canvas, QPoint(319, 179)), kWhite);
    EXPECT_EQ(lumaAt(canvas, QPoint(199, 100)), kBlack);
    EXPECT_EQ(scene.sources().back().canvasRect, QRect(200, 100, 160, 120));
    EXPECT_EQ(scene.sourceAt(QPoint(250, 150)), third);
    ThirdSource::UnregisterThirdSource(id);
}

template <typename Predicate> bool waitUntil(Predicate done, int ms = 5000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    return true;
}

void sendMouse(QWidget& widget, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, widget.mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

class StudioPreview : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        qputenv("XDG_CONFIG_HOME", folder.path().toUtf8());
        studio.resize(640, 360); // the canvas shows at twice its size
        studio.Initialize(folder.filePath("Basic.ini"));
        studio.ResetVideoSize(320, 180);
        studio.ResetOutputs();
        studio.InitializePreview();
        a = studio.AddImageSource(image("a.png", Qt::white), QPoint(0, 0));
        b = studio.AddImageSource(image("b.png", Qt::gray), QPoint(50, 50));
        ASSERT_TRUE(a && b);
        ASSERT_TRUE(waitUntil([&] { return !studio.canvasImage().isNull(); }));
    }

    QString image(const char* name, QColor colour)
    {
        const QString path = folder.filePath(name);
        solid(100, 100, colour).save(path);
        return path;
    }

    QTemporaryDir folder;
    ZovMWidget studio;
    void* a = nullptr;
    void* b = nullptr;
};

TEST_F(StudioPreview, LeftDragMovesTheSourceUnderTheCursor)
{
    EXPECT_EQ(studio.canvasViewRect(), QRect(0, 0, 640, 360));
    // Press on b's own part (canvas 140,140), drag by 40,20 widget pixels: 20,10 canvas pixels.
    sendMouse(studio, QEvent::MouseButtonPress, QPoint(280, 280), Qt::LeftButton, Qt::LeftButton);
    sendMouse(studio, QEvent::MouseMove, QPoint(300, 290), Qt::NoButton, Qt::LeftButton);
    sendMouse(studio, QEvent::MouseMove, QPoint(320, 300), Qt::NoButton, Qt::LeftButton);
    sendMouse(studio, QEvent::MouseButtonRelease, QPoint(320, 300), Qt::LeftButton, Qt::NoButton);
    QPoint position;
    ASSERT_TRUE(studio.GetSourcePos(b, position));
    EXPECT_EQ(position, QPoint(70, 60));
    ASSERT_TRUE(studio.GetSourcePos(a, position));
    EXPECT_EQ(position, QPoint(0, 0));

    // A move without a pressed button moves nothing.
    sendMouse(studio, QEvent::MouseMove, QPoint(10, 10), Qt::NoButton, Qt::NoButton);
    ASSERT_TRUE(studio.GetSourcePos(b, position));
    EXPECT_EQ(position, QPoint(70, 60));

    // The canvas shows the move.
    EXPECT_TRUE(waitUntil([&] { return qGray(studio.canvasImage().pixel(160, 150)) > 100; }));
    const QImage shown = studio.grab().toImage();
    EXPECT_GT(qGray(shown.pixel(330, 310)), 100);
}

TEST_F(StudioPreview, RightClickSignalsTheTopSource)
{
    QSignalSpy spy(&studio, &ZovMWidget::SourceContextMenuRequested);
    struct Click {
        QPoint at;
        void* expected;
    };
    const Click clicks[] = { { { 120, 120 }, b }, { { 20, 20 }, a }, { { 600, 20 }, nullptr } };
    for (const Click& click : clicks) {
        spy.clear();
        sendMouse(studio, QEvent::MouseButtonPress, click.at, Qt::RightButton, Qt::RightButton);
        sendMouse(studio, QEvent::MouseButtonRelease, click.at, Qt::RightButton, Qt::NoButton);
        if (!click.expected) {
            EXPECT_EQ(spy.count(), 0);
            continue;
        }
        ASSERT_EQ(spy.count(), 1);
        EXPECT_EQ(spy.at(0).at(0).value<void*>(), click.expected);
    }
    // A right drag moves nothing.
    QPoint position;
    ASSERT_TRUE(studio.GetSourcePos(b, position));
    EXPECT_EQ(position, QPoint(50, 50));
}

TEST_F(StudioPreview, RemovedSourceHasNoPosition)
{
    studio.RemoveSource(b);
    QPoint position(7, 7);
    EXPECT_FALSE(studio.GetSourcePos(b, position));
    EXPECT_EQ(studio.sources().size(), 1u);
    EXPECT_EQ(studio.AddImageSource(folder.filePath("missing.png"), QPoint()), nullptr);
    studio.FinalizePreview();
    EXPECT_FALSE(studio.isPreviewInitialized());
    EXPECT_TRUE(studio.canvasImage().isNull());
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
