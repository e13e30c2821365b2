// The copy-share note, the first-use bubble and the help window.
#include "ui/Dialog/copysharetipsdialog.h"
#include "ui/Dialog/firsttooltipsform.h"
#include "ui/Dialog/helphowtousedialog.h"

#include "dialog_test_support.h"

#include "global/urlopener.h"

#include "Main/modal_closer.h"

#include <QCheckBox>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

TEST(CopyShareTipsDialog, OkAcceptsEscapeRejectsAndTheBoxIsReadEitherWay)
{
    const struct {
        bool tick;
        bool escape;
        int result;
    } cases[] = { { false, false, QDialog::Accepted }, { true, false, QDialog::Accepted },
        { true, true, QDialog::Rejected }, { false, true, QDialog::Rejected } };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "tick " << c.tick << " escape " << c.escape);
        CopyShareTipsDialog dialog;
        EXPECT_EQ(child<QLabel>(dialog, "label_tips_note")->text(),
            QStringLiteral("已复制本场直播链接\n快将链接分享给其他人观看吧"));
        ModalCloser closer([&](QDialog*) {
            if (c.tick)
                QTest::mouseClick(child<QCheckBox>(dialog, "checkBox_not_reminder"), Qt::LeftButton,
                    Qt::NoModifier, QPoint(5, 8));
            if (c.escape)
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                QTest::mouseClick(child<QPushButton>(dialog, "pushButton_ok"), Qt::LeftButton);
        });
        EXPECT_EQ(dialog.exec(), c.result);
        EXPECT_EQ(dialog.isNotRemind(), c.tick);
    }
}

TEST(TipsAndHelpDialogs, ScaledFramelessWindowsWithTheirHeaders)
{
    const struct {
        double scale;
        QSize note;
        QSize help;
        int helpTitle;
    } cases[] = { { 1.0, { 330, 180 }, { 408, 302 }, 40 }, { 1.5, { 495, 270 }, { 612, 453 }, 60 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scale);
        ScaleOverride scale(c.scale);
        CopyShareTipsDialog note;
        EXPECT_EQ(note.minimumSize(), c.note);
        EXPECT_EQ(note.maximumSize(), c.note);
        EXPECT_EQ(note.windowFlags(), Qt::Dialog | Qt::FramelessWindowHint);
        EXPECT_EQ(note.property("header_height"), QVariant(c.note.height()));
        EXPECT_EQ(note.property("header_visible"), QVariant(false));
        EXPECT_EQ(note.property("header_btns").value<QList<QObject*>>(),
            (QList<QObject*> { child(note, "checkBox_not_reminder"), child(note, "pushButton_ok") }));

        HelpHowToUseDialog help;
        EXPECT_EQ(help.size(), c.help);
        EXPECT_NE(help.maximumSize(), c.help) << "the help window stays resizable";
        EXPECT_EQ(child(help, "widget_help_title")->height(), c.helpTitle);
        EXPECT_EQ(help.windowFlags(), Qt::Dialog | Qt::FramelessWindowHint);
        EXPECT_EQ(help.property("header_height"), QVariant(c.helpTitle));
        EXPECT_EQ(help.property("header_btns").value<QList<QObject*>>(),
            QList<QObject*> { child(help, "pushButton_close") });
    }
}

TEST(HelpHowToUseDialog, CloseAcceptsAndTheContactLinkOpensTheWebsite)
{
    HelpHowToUseDialog dialog;
    ModalCloser closer(
        [&](QDialog*) { QTest::mouseClick(child<QPushButton>(dialog, "pushButton_close"), Qt::LeftButton); });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);

    auto* contact = child<QLabel>(dialog, "label_contact_us");
    EXPECT_TRUE(contact->text().contains(
        QStringLiteral("会员支持加入直播人数 5人 (含主持人) ，如需更多人数版本，请")));
    EXPECT_TRUE(contact->text().contains(QStringLiteral(">咨询客服<")));
    EXPECT_TRUE(contact->text().contains(QStringLiteral("href=\"http://127.0.0.1:9\"")));

    QStringList opened;
    setUrlOpener([&](const QUrl& url) {
        opened << url.toString();
        return true;
    });
    emit contact->linkActivated(QStringLiteral("http://127.0.0.1:9"));
    setUrlOpener([](const QUrl&) { return false; });
    EXPECT_EQ(opened, QStringList { QStringLiteral("http://127.0.0.1:9") });

    // No browser: the address is offered for copying.
    QString title, address;
    ModalCloser fallback([&](QDialog* open) {
        auto* input = qobject_cast<QInputDialog*>(open);
        ASSERT_NE(input, nullptr);
        title = input->windowTitle();
        address = input->textValue();
    });
    emit contact->linkActivated(QStringLiteral("http://127.0.0.1:9"));
    EXPECT_TRUE(fallback.seen);
    EXPECT_EQ(title, QStringLiteral("启动默认浏览器失败"));
    EXPECT_EQ(address, QStringLiteral("http://127.0.0.1:9"));
}

TEST(FirstTooltipsForm, CloseButtonOnlyEmits)
{
    QWidget owner;
    auto* bubble = new FirstTooltipsForm(&owner);
    EXPECT_TRUE(bubble->isWindow());
    EXPECT_EQ(
        bubble->windowFlags() & (Qt::Tool | Qt::FramelessWindowHint), Qt::Tool | Qt::FramelessWindowHint);
    EXPECT_TRUE(bubble->testAttribute(Qt::WA_TranslucentBackground));
    bubble->show();
    QSignalSpy closed(bubble, &FirstTooltipsForm::sig_firstClose);
    auto* button = child<QPushButton>(*bubble, "pushButton_ftip_close");
    EXPECT_EQ(button->text(), QStringLiteral("我知道了"));
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(bubble->isVisible());
}

TEST(FirstTooltipsForm, PaintsABubbleWithAnArrowAtHalfTheWidth)
{
    FirstTooltipsForm bubble;
    bubble.setTipText(QStringLiteral("提示"), Qt::red);
    EXPECT_EQ(
        child<QLabel>(bubble, "label_ftip_text")->styleSheet(), QStringLiteral("color: rgb(255, 0, 0)"));
    bubble.setTipText(QStringLiteral("不知道怎么用，看这里哦！"), Qt::black);
    bubble.show();
    const int w = bubble.width();
    const int h = bubble.height();
    const QImage image = bubble.grab().toImage();
    // Outside the bubble nothing is painted; inside it is white.
    EXPECT_EQ(qAlpha(image.pixel(2, h / 2)), 0);
    EXPECT_EQ(qAlpha(image.pixel(w / 4, 3)), 0);
    EXPECT_EQ(image.pixel(12, h / 2), qRgb(255, 255, 255));
    // The outline is drawn in its grey along the body's edges: the outer half of the 1 px line keeps the
    // pure colour at half coverage, the inner half blends with the white body.
    for (const QPoint& p :
        { QPoint(w / 4, 9), QPoint(9, h / 2), QPoint(w - 10, h / 2), QPoint(w / 4, h - 10) }) {
        const QColor outline = image.pixelColor(p);
        EXPECT_EQ(outline.rgb() & 0xffffff, qRgb(223, 223, 223) & 0xffffff) << p.x() << "," << p.y();
        EXPECT_GT(outline.alpha(), 0);
    }
    // The arrow rises above the body, its tip at half the width.
    int left = -1, right = -1;
    for (int x = 0; x < w; ++x) {
        if (qAlpha(image.pixel(x, 3)) > 0) {
            right = x;
            if (left < 0)
                left = x;
        }
    }
    ASSERT_GE(left, 0);
    EXPECT_LE(qAbs((left + right) / 2.0 - w / 2.0), 1.0);
    EXPECT_LT(right - left, 16);

    // The window mask covers body and arrow, not the corners.
    EXPECT_TRUE(bubble.mask().contains(QPoint(w / 2, 2)));
    EXPECT_TRUE(bubble.mask().contains(QPoint(w / 4, h / 2)));
    EXPECT_FALSE(bubble.mask().contains(QPoint(2, 2)));
    EXPECT_FALSE(bubble.mask().contains(QPoint(w - 3, h - 3)));
}

} // namespace
