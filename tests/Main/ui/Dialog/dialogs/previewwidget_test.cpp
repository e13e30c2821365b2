#include "ui/part/previewwidget.h"

#include "dialog_test_support.h"

#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(PreviewWidget, ThumbnailSizeFollowsTheAspectRatio)
{
    const struct {
        QSize picture;
        double scale;
        QSize thumbnail;
    } cases[] = {
        { { 1920, 1080 }, 1.0, { 71, 40 } }, // exactly 16:9 takes the height branch
        { { 2560, 1080 }, 1.0, { 71, 29 } },
        { { 1080, 1920 }, 1.0, { 22, 40 } },
        { { 1920, 1080 }, 1.5, { 106, 60 } },
        { { 2560, 1080 }, 1.5, { 106, 44 } },
        { { 1080, 1920 }, 1.5, { 33, 60 } },
        { { 100, 100 }, 1.25, { 50, 50 } },
    };
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.picture.width() << "x" << c.picture.height() << " @" << c.scale);
        EXPECT_EQ(previewThumbnailSize(c.picture, c.scale), c.thumbnail);

        // The widget fixes itself to that size when it loads such a picture.
        const QString path = folder.filePath(QStringLiteral("p.png"));
        QImage image(c.picture, QImage::Format_RGB32);
        image.fill(Qt::red);
        ASSERT_TRUE(image.save(path));
        ScaleOverride scale(c.scale);
        PreviewWidget preview;
        preview.loadImage(path);
        EXPECT_FALSE(preview.isImageNull());
        EXPECT_EQ(preview.minimumSize(), c.thumbnail);
        EXPECT_EQ(preview.maximumSize(), c.thumbnail);
    }
}

TEST(PreviewWidget, PathThatDoesNotLoadLeavesNoPictureAndTheSize)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString good = folder.filePath(QStringLiteral("good.png"));
    QImage image(320, 180, QImage::Format_RGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(good));

    ScaleOverride scale(1.0);
    PreviewWidget preview;
    preview.loadImage(good);
    ASSERT_EQ(preview.size(), QSize(71, 40));
    for (const QString& bad : { folder.filePath(QStringLiteral("missing.png")), QString() }) {
        preview.loadImage(bad);
        EXPECT_TRUE(preview.isImageNull());
        EXPECT_EQ(preview.size(), QSize(71, 40));
    }
    preview.loadImage(good);
    EXPECT_FALSE(preview.isImageNull());

    // The picture is painted stretched over the whole widget.
    const QImage shot = preview.grab().toImage();
    EXPECT_EQ(shot.pixelColor(0, 0), QColor(Qt::blue));
    EXPECT_EQ(shot.pixelColor(70, 39), QColor(Qt::blue));
}

} // namespace
