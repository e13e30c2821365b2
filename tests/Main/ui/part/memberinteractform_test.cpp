// Co-broadcast tiles: status icon, binding and refreshing the source, the context-menu request.
#include "ui/part/memberinteractform.h"

#include "sidepanel_support.h"

#include <studio/sourcewidget.h>

#include <QContextMenuEvent>
#include <QLabel>
#include <QMovie>
#include <QSignalSpy>

using namespace sidepanel;

namespace {

TEST(MemberTile, StatusIcon)
{
    const struct {
        double scale;
        bool present;
        int kind;
        bool shown;
        QSize size;
        bool animated;
    } cases[] = {
        { 1.0, false, 0, true, { 16, 16 }, false },
        { 1.0, false, 1, true, { 16, 16 }, false },
        { 1.0, true, 1, true, { 16, 20 }, true },
        { 1.0, true, 2, true, { 16, 20 }, false },
        { 1.0, true, 0, false, {}, false },
        { 1.0, true, 7, false, {}, false },
        { 1.5, false, 0, true, { 24, 24 }, false },
        { 1.5, true, 1, true, { 24, 30 }, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.scale << " " << c.present << " " << c.kind);
        ScaleOverride scale(c.scale);
        MemberInteractForm tile;
        tile.show();
        auto* status = child<QLabel>(&tile, "label_member_status");
        tile.setStatusIcon(c.present, c.kind);
        EXPECT_EQ(status->isVisible(), c.shown);
        if (!c.shown)
            continue;
        EXPECT_EQ(status->minimumSize(), c.size);
        EXPECT_EQ(status->maximumSize(), c.size);
        if (c.animated) {
            ASSERT_NE(status->movie(), nullptr);
            EXPECT_TRUE(status->movie()->isValid());
            EXPECT_GT(status->movie()->frameCount(), 1);
        } else {
            EXPECT_EQ(status->movie(), nullptr);
            EXPECT_FALSE(status->pixmap(Qt::ReturnByValue).isNull());
        }
    }
}

TEST(MemberTile, NewTileShowsTheAvatarAndWaits)
{
    MemberInteractForm tile;
    tile.show();
    EXPECT_TRUE(child<QLabel>(&tile, "label_member_avatar")->isVisible());
    EXPECT_FALSE(child<SourceWidget>(&tile, "widget_stream")->isVisible());
    EXPECT_TRUE(child<QLabel>(&tile, "label_member_status")->text().isEmpty());
    EXPECT_EQ(child<QLabel>(&tile, "label_member_status")->property("stream").toString(), QStringLiteral("none"));
    EXPECT_EQ(tile.userId(), -1);
    EXPECT_FALSE(tile.isSourceBound());
}

TEST(MemberTile, RefreshBindsAgainOnlyWhileBound)
{
    ShortTimings timings;
    MemberInteractForm tile;
    tile.resize(90, 90);
    tile.show();
    auto* stream = child<SourceWidget>(&tile, "widget_stream");
    auto* avatar = child<QLabel>(&tile, "label_member_avatar");
    const QSize avatarSize = avatar->size();

    tile.refresh();
    EXPECT_EQ(stream->initializeCount(), 0);

    // The stream takes the avatar's place and, once visible, is made one pixel taller and back.
    QVector<int> heights;
    struct HeightLog : QObject {
        QVector<int>* heights;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Resize)
                heights->append(static_cast<QWidget*>(watched)->height());
            return false;
        }
    } logHeights;
    logHeights.heights = &heights;
    stream->installEventFilter(&logHeights);

    tile.initSource("source-1");
    EXPECT_EQ(stream->initializeCount(), 1);
    EXPECT_EQ(stream->sourceId(), QStringLiteral("source-1"));
    EXPECT_TRUE(stream->isVisible());
    EXPECT_FALSE(avatar->isVisible());
    EXPECT_TRUE(tile.isSourceBound());
    const auto stepsDone = [&] {
        const int taller = heights.indexOf(avatarSize.height() + 1);
        return taller >= 0 && heights.indexOf(avatarSize.height(), taller) > taller;
    };
    EXPECT_TRUE(waitUntil(stepsDone));
    EXPECT_EQ(stream->size(), avatarSize);

    tile.refresh();
    EXPECT_EQ(stream->initializeCount(), 2);
    EXPECT_EQ(stream->sourceId(), QStringLiteral("source-1"));

    tile.finalizePreview();
    EXPECT_FALSE(stream->isSourceInitialized());
    EXPECT_FALSE(stream->isVisible());
    EXPECT_TRUE(avatar->isVisible());
    tile.refresh();
    EXPECT_EQ(stream->initializeCount(), 2);
    // Timers of a tile that is gone never fire.
    tile.initSource("source-2");
}

TEST(MemberTile, RightClickReportsTheTilesMember)
{
    MemberInteractForm tile;
    tile.show();
    QSignalSpy requested(&tile, &MemberInteractForm::ContextMenuRequested);
    const auto rightClick = [&] {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5));
        QCoreApplication::sendEvent(&tile, &event);
    };
    rightClick();
    tile.setUserId(42);
    rightClick();
    ASSERT_EQ(requested.count(), 2);
    EXPECT_EQ(requested.at(0).at(0).toLongLong(), -1);
    EXPECT_EQ(requested.at(1).at(0).toLongLong(), 42);
}

TEST(MemberTile, LongNameIsElidedToTheTile)
{
    MemberInteractForm tile;
    tile.setFixedSize(90, 90);
    tile.setMemberName(QString(60, QLatin1Char('m')));
    EXPECT_TRUE(child<QLabel>(&tile, "label_name")->text().endsWith(QChar(0x2026)));
    tile.setMemberName(QStringLiteral("我"));
    EXPECT_EQ(child<QLabel>(&tile, "label_name")->text(), QStringLiteral("我"));

    // A name is never markup.
    tile.setFixedSize(900, 90);
    tile.setMemberName(QStringLiteral("<b style=\"font-size:72pt\">H</b>"));
    auto* name = child<QLabel>(&tile, "label_name");
    EXPECT_EQ(name->textFormat(), Qt::PlainText);
    EXPECT_EQ(name->text(), QStringLiteral("<b style=\"font-size:72pt\">H</b>"));
    EXPECT_LT(name->sizeHint().height(), 2 * QFontMetrics(name->font()).height());
}

} // namespace
