// The single-show window and the preview thumbnail.
#include "ui/part/previewwidget.h"
#include "ui/part/singleshowdialog.h"

#include "sidepanel_support.h"

#include <bridge/bridge_init.h>
#include <bridge/interface.h>

#include <QGridLayout>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVariant>

#include <cstring>
#include <vector>

using namespace sidepanel;

namespace {

// Stands in for the framework: records the module calls it is asked to route.
class RecordingRoot : public bg::Interface {
public:
    RecordingRoot()
        : m_previous(CD)
    {
        CD = this;
    }
    ~RecordingRoot() override { CD = m_previous; }

    bool init() override { return true; }
    bool start() override { return true; }
    bool uninit() override { return true; }
    bool is_debug() override { return false; }
    bg::Value process(const char*, int, const bg::Value&, const bg::MsgCallback&) override { return bg::Value(); }
    bg::Value send(const char* to, int id, const bg::Value& msg, const bg::MsgCallback& callback) override
    {
        QVariant height;
        if (msg.type() == bg::Value::VT_VOID && msg.toVoid())
            height = static_cast<QObject*>(msg.toVoid())->property("header_height");
        calls.push_back({ to, id, msg.toVoid(), bool(callback), height });
        return bg::Value();
    }

    struct Call {
        std::string module;
        int command;
        void* widget;
        bool withCallback;
        QVariant headerHeight; // as the module finds it when it is called
    };
    std::vector<Call> calls;

private:
    bg::Interface* m_previous;
};

struct Content {
    QWidget* widget = new QWidget;
    QPushButton* close = new QPushButton(widget);
    Content()
    {
        auto* layout = new QGridLayout(widget);
        layout->addWidget(close, 0, 1, Qt::AlignTop);
        close->setFixedSize(20, 20);
        widget->setMinimumHeight(300);
    }
};

TEST(SingleShowDialog, HandsItselfToTheMembershipModuleFrameless)
{
    for (double scale : { 1.0, 1.5 }) {
        SCOPED_TRACE(scale);
        ScaleOverride override(scale);
        RecordingRoot root;
        Content content;
        SingleShowDialog dialog(
            content.widget, { content.close }, 30, QStringLiteral(":/qss/part/meetingchatroomform.css"));

        ASSERT_EQ(root.calls.size(), 1u);
        EXPECT_EQ(root.calls[0].module, "Memvia");
        EXPECT_EQ(root.calls[0].command, 100);
        EXPECT_EQ(root.calls[0].widget, static_cast<void*>(&dialog));
        EXPECT_FALSE(root.calls[0].withCallback);
        EXPECT_EQ(root.calls[0].headerHeight, QVariant(30));

        EXPECT_EQ(dialog.windowFlags(),
            Qt::Dialog | Qt::CoverWindow | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        EXPECT_EQ(dialog.minimumWidth(), int(310 * scale));
        EXPECT_EQ(dialog.maximumWidth(), int(310 * scale));
        EXPECT_EQ(content.widget->parentWidget(), &dialog);
        EXPECT_EQ(dialog.property("header_btns").value<QList<QObject*>>(), QList<QObject*> { content.close });
        EXPECT_EQ(dialog.property("header_visible"), QVariant(false));
        EXPECT_TRUE(dialog.styleSheet().contains(QStringLiteral("frame_mcr_background")));
    }
}

TEST(SingleShowDialog, CaptionIsTheTitleAreaButItsButtons)
{
    Content content;
    SingleShowDialog dialog(content.widget, { content.close }, 30, QString());
    dialog.resize(310, 400);
    dialog.show();
    const QPoint origin = dialog.mapToGlobal(QPoint(0, 0));
    const QPoint button = content.close->mapToGlobal(QPoint(2, 2));
    EXPECT_TRUE(dialog.isOnCaption(origin + QPoint(10, 30)));
    EXPECT_FALSE(dialog.isOnCaption(origin + QPoint(10, 31)));
    EXPECT_FALSE(dialog.isOnCaption(button));
    for (QPoint corner : { origin, origin + QPoint(309, 399) }) {
        EXPECT_FALSE(dialog.isOnTopEdge(corner));
        EXPECT_FALSE(dialog.isOnBottomEdge(corner));
        EXPECT_FALSE(dialog.isOnLeftEdge(corner));
        EXPECT_FALSE(dialog.isOnRightEdge(corner));
    }
}

TEST(PreviewWidget, LoadsAThumbnailSizedByTheRatio)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto picture = [&](int width, int height) {
        const QString path = dir.filePath(QStringLiteral("%1x%2.png").arg(width).arg(height));
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        EXPECT_TRUE(image.save(path));
        return path;
    };
    const struct {
        double scale;
        int width, height;
        QSize size;
    } cases[] = {
        { 1.0, 1920, 1080, { 71, 40 } },
        { 1.0, 2560, 1080, { 71, 29 } },
        { 1.0, 1080, 1920, { 22, 40 } },
        { 1.5, 1920, 1080, { 106, 60 } },
        { 1.0, 4000, 1, { 71, 1 } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " @" << c.scale);
        ScaleOverride override(c.scale);
        PreviewWidget preview;
        EXPECT_TRUE(preview.isImageNull());
        preview.loadImage(picture(c.width, c.height));
        EXPECT_FALSE(preview.isImageNull());
        EXPECT_EQ(preview.size(), c.size);
        EXPECT_EQ(preview.grab().toImage().pixel(c.size.width() / 2, c.size.height() / 2), QColor(Qt::darkCyan).rgb());
    }

    ScaleOverride unscaled(1.0);
    PreviewWidget preview;
    preview.resize(50, 50);
    preview.loadImage(dir.filePath(QStringLiteral("missing.png")));
    EXPECT_TRUE(preview.isImageNull());
    EXPECT_EQ(preview.size(), QSize(50, 50));
    preview.loadImage(picture(1920, 1080));
    EXPECT_FALSE(preview.isImageNull());
    EXPECT_EQ(preview.size(), QSize(71, 40));
}

} // namespace
