// The side panel's logic without widgets: tile paging, the member-list diff, emoticon codes, the thumbnail
// size and the title hit test.
#include "ui/part/chatemoticons.h"
#include "ui/part/memberrecord.h"
#include "ui/part/previewwidget.h"
#include "ui/part/singleshowdialog.h"
#include "ui/part/tilepaging.h"

#include <gtest/gtest.h>

namespace {

TEST(TilePaging, PagesOfThree)
{
    const struct {
        int n;
        int pages, last;
        int wrappedFromLast; // "换一批" on the last page
        const char* pagerOnFirst;
    } cases[] = {
        { 0, 0, 0, 0, nullptr },
        { 3, 1, 0, 0, nullptr },
        { 4, 2, 1, 0, "换一批(1/2)" },
        { 7, 3, 2, 0, "换一批(1/3)" },
        { 8, 3, 2, 0, "换一批(1/3)" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        EXPECT_EQ(tilepaging::pageCount(c.n), c.pages);
        EXPECT_EQ(tilepaging::lastPage(c.n), c.last);
        EXPECT_EQ(tilepaging::nextPageWrapped(c.last, c.n), c.wrappedFromLast);
        EXPECT_EQ(tilepaging::nextPage(c.last, c.n), c.last);
        EXPECT_EQ(tilepaging::previousPage(0, c.n), 0);
        EXPECT_EQ(tilepaging::clampPage(5, c.n), c.last);
        if (c.pagerOnFirst) {
            EXPECT_EQ(tilepaging::pagerText(0, c.n), QString::fromUtf8(c.pagerOnFirst));
        }
    }
    EXPECT_EQ(tilepaging::nextPageWrapped(0, 4), 1);
    EXPECT_EQ(tilepaging::pagerText(1, 4), QStringLiteral("换一批(2/2)"));
    EXPECT_EQ(tilepaging::nextPage(0, 7), 1);
    EXPECT_EQ(tilepaging::previousPage(2, 7), 1);
    // A page left behind by removed tiles goes back to the last one there is.
    EXPECT_EQ(tilepaging::previousPage(2, 4), 1);
    EXPECT_TRUE(tilepaging::isOnPage(3, 1));
    EXPECT_FALSE(tilepaging::isOnPage(2, 1));
}

MemberRecord record(qint64 id, const char* peer, const char* name = "m")
{
    return { id, QString::fromLatin1(peer), QString::fromLatin1(name), QStringLiteral("PC"), false };
}

QStringList peers(const QVector<MemberRecord>& records)
{
    QStringList out;
    for (const MemberRecord& r : records)
        out.append(r.peerId);
    return out;
}

TEST(MemberListDiff, MatchesByPeerIdAlone)
{
    const QVector<MemberRecord> shown { record(1, "a"), record(2, "b"), record(3, "c") };
    const struct {
        const char* name;
        QVector<MemberRecord> incoming;
        QStringList gone, added;
    } cases[] = {
        { "the same list", shown, {}, {} },
        { "a changed name keeps its row", { record(1, "a", "new"), record(2, "b"), record(3, "c") }, {}, {} },
        { "a rejoin with a new peer id", { record(1, "a"), record(2, "b2"), record(3, "c") }, { "b" }, { "b2" } },
        { "everyone left", {}, { "a", "b", "c" }, {} },
        { "a duplicate peer id is a new row", { record(1, "a"), record(9, "a"), record(2, "b"), record(3, "c") },
            {}, { "a" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const MemberListDiff diff = diffMemberList(shown, c.incoming);
        EXPECT_EQ(peers(diff.gone), c.gone);
        EXPECT_EQ(peers(diff.added), c.added);
    }
}

ChatEmoticons table()
{
    return ChatEmoticons::fromFiles({ QStringLiteral(":/image/face/emoji_haha.png"),
        QStringLiteral(":/image/face/readme.txt"), QStringLiteral(":/image/face/emoji_sad.png") });
}

TEST(ChatEmoticonCodes, TableFromTheFolderListing)
{
    const ChatEmoticons emoticons = table();
    ASSERT_EQ(emoticons.entries().size(), 2);
    EXPECT_EQ(emoticons.entries()[0].code, QStringLiteral("[\\haha]"));
    EXPECT_EQ(emoticons.entries()[0].tag, QStringLiteral("<img src=\":/image/face/emoji_haha.png\"/>"));
    EXPECT_EQ(emoticons.entries()[1].code, QStringLiteral("[\\sad]"));
}

TEST(ChatEmoticonCodes, ConversionAndEscaping)
{
    const ChatEmoticons emoticons = table();
    const QString haha = QStringLiteral("<img src=\":/image/face/emoji_haha.png\"/>");
    EXPECT_EQ(emoticons.tagsToCodes(haha + "hi" + haha), QStringLiteral("[\\haha]hi[\\haha]"));
    // Case matters, and a tag of another image stays as it is.
    EXPECT_EQ(emoticons.tagsToCodes(QStringLiteral("<IMG src=\":/image/face/emoji_haha.png\"/>")),
        QStringLiteral("<IMG src=\":/image/face/emoji_haha.png\"/>"));
    EXPECT_EQ(emoticons.codesToTags(QStringLiteral("[\\sad][\\cry]")),
        QStringLiteral("<img src=\":/image/face/emoji_sad.png\"/>[\\cry]"));

    const struct {
        const char* text;
        const char* markup;
    } received[] = {
        { "<b>x</b>", "&lt;b&gt;x&lt;/b&gt;" },
        { "<img src=\":/image/mainTitle_close.png\"/>", "&lt;img src=&quot;:/image/mainTitle_close.png&quot;/&gt;" },
        { "a & b\nc\r\nd", "a &amp; b<br/>c<br/>d" },
        { "[\\haha] typed by hand", "<img src=\":/image/face/emoji_haha.png\"/> typed by hand" },
    };
    for (const auto& c : received) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(emoticons.messageMarkup(QString::fromUtf8(c.text)), QString::fromUtf8(c.markup));
    }
}

TEST(PreviewThumbnail, SizeFollowsTheRatio)
{
    const struct {
        QSize picture;
        double scale;
        QSize thumbnail;
    } cases[] = {
        { { 1920, 1080 }, 1.0, { 71, 40 } }, // exactly 16:9 goes by the height
        { { 2560, 1080 }, 1.0, { 71, 29 } },
        { { 1080, 1920 }, 1.0, { 22, 40 } },
        { { 1920, 1080 }, 1.5, { 106, 60 } },
        { { 2560, 1080 }, 1.5, { 106, 44 } },
        { { 1080, 1920 }, 1.5, { 33, 60 } },
        { { 10000, 1 }, 1.0, { 71, 1 } }, // the height would truncate to 0
        { { 1, 10000 }, 1.0, { 1, 40 } },
        { { 0, 0 }, 1.0, {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.picture.width() << "x" << c.picture.height() << " @" << c.scale);
        EXPECT_EQ(previewThumbnailSize(c.picture, c.scale), c.thumbnail);
    }
}

TEST(SingleShowTitle, HitTest)
{
    const QList<QRect> buttons { QRect(280, 5, 20, 20) };
    const struct {
        QPoint point;
        bool title;
    } cases[] = {
        { { 10, 30 }, true }, // y equal to the title height
        { { 10, 31 }, false },
        { { 10, 0 }, true },
        { { 285, 10 }, false }, // over the button
        { { 280, 5 }, false }, // the button's corner
        { { 279, 5 }, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.point.x() << "," << c.point.y());
        EXPECT_EQ(isInTitleArea(c.point, 30, buttons), c.title);
    }
}

} // namespace
