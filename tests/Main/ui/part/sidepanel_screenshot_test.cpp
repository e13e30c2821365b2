// The side panel's widgets on a real X server, captured from the screen and kept as artefacts of the
// build (SCREENSHOT_DIR).
#include "ui/part/meetingmemberitemform.h"
#include "ui/part/memberinteractform.h"

#include "sidepanel_support.h"

#include "global/meetingkeys.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>

using namespace sidepanel;

namespace {

// Shows the window, captures it and saves it as `name`; the capture's pixels.
QImage capture(QWidget& window, const char* name)
{
    window.move(40, 40);
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(150);
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(window.winId());
    EXPECT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QStringLiteral(SCREENSHOT_DIR "/") + QString::fromLatin1(name)));
    return shot.toImage();
}

// Share of pixels that are not (nearly) black.
double litShare(const QImage& image)
{
    int lit = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            lit += qGray(image.pixel(x, y)) > 24 ? 1 : 0;
    }
    return image.isNull() ? 0.0 : double(lit) / (image.width() * image.height());
}

TEST(SidePanelScreenshot, RowsAndTiles)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    setData(kDataMeetingIsHost, bg::Value(true));
    setData(kDataMeetingSelfUserId, bg::Value(1LL));

    QWidget window;
    window.setStyleSheet(QStringLiteral("background-color: #2B2B2B;"));
    auto* column = new QVBoxLayout(&window);
    auto* pc = new MeetingMemberItemForm;
    pc->setMemberData({ 2, QStringLiteral("p2"), QStringLiteral("张三"), QStringLiteral("PC"), false });
    pc->setDeviceIcon(0);
    pc->setKind(0);
    auto* phone = new MeetingMemberItemForm;
    phone->setMemberData({ 3, QStringLiteral("p3"), QStringLiteral("李四的手机"), QStringLiteral("Phone"), false });
    phone->setDeviceIcon(1);
    phone->setKind(2);
    for (auto* row : { pc, phone }) {
        row->setFixedSize(300, 40);
        column->addWidget(row);
    }
    auto* strip = new QHBoxLayout;
    const struct {
        const char* name;
        bool present;
        int kind;
    } tiles[] = { { "王五", false, 0 }, { "赵六", true, 1 }, { "钱七", true, 2 } };
    for (const auto& t : tiles) {
        auto* tile = new MemberInteractForm;
        tile->setFixedSize(90, 90);
        tile->setMemberName(QString::fromUtf8(t.name));
        tile->setStatusIcon(t.present, t.kind);
        strip->addWidget(tile);
    }
    column->addLayout(strip);
    window.resize(320, 200);
    window.show();
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(pc, &enter);
    const QImage image = capture(window, "sidepanel_rows_tiles.png");
    EXPECT_GT(litShare(image), 0.5);
    clearData({ kDataMeetingIsHost, kDataMeetingSelfUserId });
}

} // namespace
