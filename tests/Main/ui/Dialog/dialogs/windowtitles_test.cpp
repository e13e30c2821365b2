// Every window the program can show on its own carries the product's name in the task bar and the window
// list, never a designer placeholder ("Form", "Dialog") nor the program file's name (an empty title).
#include "ui/Dialog/copysharetipsdialog.h"
#include "ui/Dialog/facedialog.h"
#include "ui/Dialog/firsttooltipsform.h"
#include "ui/Dialog/helphowtousedialog.h"
#include "ui/Dialog/openphonecloudmeetingdialog.h"
#include "ui/Dialog/selector.h"
#include "ui/Dialog/selectwidget.h"
#include "ui/Dialog/settingdialog.h"
#include "ui/Dialog/viprightshowdialog.h"
#include "ui/messageboxdialog.h"
#include "ui/part/mirrorwidget.h"
#include "ui/part/singleshowdialog.h"

#include <QApplication>
#include <QWidget>

#include <functional>
#include <memory>

#include <gtest/gtest.h>

namespace {

TEST(WindowTitles, EveryOwnWindowIsTitledWithTheProduct)
{
    const struct {
        const char* name;
        std::function<QWidget*()> make;
    } cases[] = {
        { "CopyShareTipsDialog", [] { return new CopyShareTipsDialog; } },
        { "HelpHowToUseDialog", [] { return new HelpHowToUseDialog; } },
        { "SettingDialog", [] { return new SettingDialog; } },
        { "OpenPhoneCloudMeetingDialog", [] { return new OpenPhoneCloudMeetingDialog; } },
        { "VIPRightShowDialog", [] { return new VIPRightShowDialog; } },
        { "MessageBoxDialog", [] { return new MessageBoxDialog(QStringLiteral("text"), 1, QString()); } },
        { "FirstTooltipsForm", [] { return new FirstTooltipsForm; } },
        { "FaceDialog", [] { return new FaceDialog; } },
        { "MirrorWidget", [] { return new MirrorWidget; } },
        { "SingleShowDialog",
            [] {
                return new SingleShowDialog(new QWidget, {}, 40, QStringLiteral(":/qss/part/meetingchatroomform.css"));
            } },
        { "Selector", [] { return new Selector; } },
        { "SelectWidget", [] { return new SelectWidget; } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<QWidget> window(c.make());
        window->show();
        QApplication::processEvents();
        EXPECT_TRUE(window->isWindow());
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Tavicast"));
        window->hide();
    }
}

} // namespace
