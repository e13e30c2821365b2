#include "ui/messageboxdialog.h"

#include "win/qssmanager.h"

#include <bridge/bridge_init.h>
#include <bridge/interface.h>
#include <bridge/value.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVariant>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

template <typename T> T* child(QObject& dialog, const char* name)
{
    T* found = dialog.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

class ScaleOverride {
public:
    explicit ScaleOverride(double scale) { QssManager::setDpiScaleOverride(scale); }
    ~ScaleOverride() { QssManager::setDpiScaleOverride(0.0); }
};

TEST(MessageBoxDialog, ButtonBarFollowsButtonType)
{
    const struct {
        int buttons;
        bool ok, mid, cancel;
    } cases[] = {
        { 0, false, false, false },
        { 1, true, false, false },
        { 2, false, false, true },
        { 3, true, true, true },
        // Any other number leaves the bar as the form made it.
        { 7, true, true, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.buttons);
        MessageBoxDialog dialog(QStringLiteral("text"), c.buttons, QString());
        dialog.show();
        EXPECT_EQ(child<QPushButton>(dialog, "pushButton_messagebox_ok")->isVisible(), c.ok);
        EXPECT_EQ(child<QWidget>(dialog, "widget_spacer_mid")->isVisible(), c.mid);
        EXPECT_EQ(child<QPushButton>(dialog, "pushButton_messagebox_cancel")->isVisible(), c.cancel);
        EXPECT_TRUE(child<QWidget>(dialog, "widget_spacer_left")->isVisible());
        EXPECT_TRUE(child<QWidget>(dialog, "widget_spacer_right")->isVisible());
    }
}

TEST(MessageBoxDialog, TitleAndTexts)
{
    MessageBoxDialog untitled(QStringLiteral("网络连接失败"), 3, QString());
    EXPECT_EQ(child<QLabel>(untitled, "label_title")->text(), QStringLiteral("Tavicast"));
    EXPECT_EQ(untitled.windowTitle(), QStringLiteral("Tavicast"));
    EXPECT_EQ(child<QLabel>(untitled, "label_messagebox_content")->text(), QStringLiteral("网络连接失败"));
    EXPECT_FALSE(untitled.windowIcon().isNull());

    MessageBoxDialog titled(QStringLiteral("x"), 3, QStringLiteral("提示"));
    EXPECT_EQ(child<QLabel>(titled, "label_title")->text(), QStringLiteral("提示"));

    auto* ok = child<QPushButton>(titled, "pushButton_messagebox_ok");
    auto* cancel = child<QPushButton>(titled, "pushButton_messagebox_cancel");
    EXPECT_EQ(ok->text(), QStringLiteral("确定"));
    EXPECT_EQ(cancel->text(), QStringLiteral("取消"));
    titled.setButtonTexts(QString(), QStringLiteral("稍后再说"));
    EXPECT_EQ(ok->text(), QStringLiteral("确定"));
    EXPECT_EQ(cancel->text(), QStringLiteral("稍后再说"));
    titled.setButtonTexts(QStringLiteral("重试"), QString());
    EXPECT_EQ(ok->text(), QStringLiteral("重试"));
    EXPECT_EQ(cancel->text(), QStringLiteral("稍后再说"));
}

TEST(MessageBoxDialog, NoticesShowMemberNamesAsTheyAre)
{
    // Notices begin with a member's name, which the member chose.
    const QString name = QStringLiteral("<span style=\"font-size:200pt;color:red\">HOST</span>");
    for (const QString& text : { QString::fromUtf8("%1 断开了连麦").arg(name),
             QString::fromUtf8("%1 拒绝了视频连麦请求").arg(name) }) {
        MessageBoxDialog box(text, 1, name);
        for (const char* label : { "label_messagebox_content", "label_title" }) {
            SCOPED_TRACE(label);
            auto* shown = child<QLabel>(box, label);
            EXPECT_EQ(shown->textFormat(), Qt::PlainText);
            EXPECT_TRUE(shown->text().contains(name));
            EXPECT_LT(shown->sizeHint().height(), 4 * QFontMetrics(shown->font()).height());
        }
    }
}

// Runs exec() and clicks `button` once the dialog is up; a dialog still open after the deadline ends with -1.
int execAndClick(MessageBoxDialog& dialog, const char* button)
{
    auto* target = child<QPushButton>(dialog, button);
    QTimer::singleShot(0, &dialog, [target] { QTest::mouseClick(target, Qt::LeftButton); });
    QTimer::singleShot(10000, &dialog, [&dialog] { dialog.done(-1); });
    return dialog.exec();
}

TEST(MessageBoxDialog, OkAcceptsCancelAndCloseReject)
{
    const struct {
        const char* button;
        int result;
    } cases[] = {
        { "pushButton_messagebox_ok", 1 },
        { "pushButton_messagebox_cancel", 0 },
        { "pushButton_messagebox_close", 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        MessageBoxDialog dialog(QStringLiteral("text"), 3, QString());
        EXPECT_EQ(execAndClick(dialog, c.button), c.result);
    }
}

TEST(MessageBoxDialog, FramelessWindowWithScaledSizeAndHeaderProperties)
{
    const struct {
        double scale;
        QSize size;
        int header;
        const char* fontSize;
    } cases[] = {
        { 1.0, { 346, 200 }, 36, "font-size: 14px;" },
        { 1.25, { 432, 250 }, 45, "font-size: 18px;" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scale);
        ScaleOverride scale(c.scale);
        MessageBoxDialog dialog(QStringLiteral("text"), 3, QString());

        const Qt::WindowFlags flags = dialog.windowFlags();
        EXPECT_TRUE(flags.testFlag(Qt::Dialog));
        EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
        EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_TRUE(dialog.testAttribute(Qt::WA_StyledBackground));
        EXPECT_EQ(dialog.size(), c.size);
        EXPECT_EQ(child<QWidget>(dialog, "widget_messagebox_title")->height(), c.header);

        // The sheet comes from the resources, scaled, into the dialog and its button bar alike.
        EXPECT_TRUE(dialog.styleSheet().contains(QLatin1String(c.fontSize)));
        EXPECT_EQ(child<QWidget>(dialog, "widget_messagebox_btn")->styleSheet(), dialog.styleSheet());

        const auto buttons = dialog.property("header_btns").value<QList<QObject*>>();
        const QList<QObject*> expected {
            child<QPushButton>(dialog, "pushButton_messagebox_close"),
            child<QPushButton>(dialog, "pushButton_messagebox_ok"),
            child<QPushButton>(dialog, "pushButton_messagebox_cancel"),
        };
        EXPECT_EQ(buttons, expected);
        EXPECT_EQ(dialog.property("header_visible"), QVariant(false));
        EXPECT_EQ(dialog.property("header_height"), QVariant(c.header));
    }
}

// A component that answers nothing but records the messages it is sent.
class TestComponent : public bg::Interface {
public:
    explicit TestComponent(const char* componentName) { std::strncpy(name, componentName, sizeof(name) - 1); }
    bool init() override { return true; }
    bool start() override { return true; }
    bool uninit() override { return true; }
    bool is_debug() override { return false; }
    bg::Value process(const char* from, int id, const bg::Value& msg, const bg::MsgCallback&) override
    {
        // What a framing module reads from the widget it is handed, at the moment it is handed over.
        QVariant headerHeight;
        if (msg.type() == bg::Value::VT_VOID && msg.toVoid())
            headerHeight = static_cast<QObject*>(msg.toVoid())->property("header_height");
        received.push_back({ from, id, msg.type(), msg.toVoid(), headerHeight });
        return bg::Value();
    }
    bg::Value send(const char*, int, const bg::Value&, const bg::MsgCallback&) override
    {
        return bg::Value();
    }

    struct Message {
        std::string from;
        int id;
        int type;
        void* pointer;
        QVariant headerHeight;
    };
    std::vector<Message> received;
};

// The root component: routes a message to the component registered under its target's name.
class TestRoot : public TestComponent {
public:
    TestRoot()
        : TestComponent("Admin")
    {
    }
    bg::Value send(const char* to, int id, const bg::Value& msg, const bg::MsgCallback& cb) override
    {
        const auto it = modules.find(to);
        if (it == modules.end())
            return bg::Value::ErrorValue(-1003, "module not exsit");
        return it->second->process(name, id, msg, cb);
    }
    std::map<std::string, bg::Interface*> modules;
};

class RootScope {
public:
    explicit RootScope(bg::Interface* root) { CD = root; }
    ~RootScope() { CD = nullptr; }
};

TEST(MessageBoxDialog, HandsItselfToTheMembershipModule)
{
    TestRoot root;
    TestComponent memvia("Memvia");
    TestComponent other("Other");
    root.modules = { { "Memvia", &memvia }, { "Other", &other } };
    RootScope scope(&root);
    ScaleOverride scale(1.0);

    MessageBoxDialog dialog(QStringLiteral("text"), 1, QString());
    ASSERT_EQ(memvia.received.size(), 1u);
    EXPECT_EQ(memvia.received[0].id, 100);
    EXPECT_EQ(memvia.received[0].type, bg::Value::VT_VOID);
    EXPECT_EQ(memvia.received[0].pointer, static_cast<void*>(&dialog));
    EXPECT_EQ(memvia.received[0].from, "Admin");
    // The header properties are in place by the time the module reads them.
    EXPECT_EQ(memvia.received[0].headerHeight, QVariant(36));
    EXPECT_TRUE(other.received.empty());
}

TEST(MessageBoxDialog, WithoutTheModuleKeepsItsOwnFrame)
{
    TestRoot root;
    RootScope scope(&root);
    MessageBoxDialog dialog(QStringLiteral("text"), 3, QString());
    EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(execAndClick(dialog, "pushButton_messagebox_ok"), 1);
}

} // namespace
