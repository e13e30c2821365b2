#include "ui/messageform.h"

#include "frame_fixture.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

namespace {

enum class Dismissal { Ok, Cancel, TitleClose, Escape };

void dismiss(MessageForm& form, Dismissal how)
{
    switch (how) {
    case Dismissal::Ok:
        QTest::mouseClick(form.findChild<QPushButton*>("vf_btn_ok"), Qt::LeftButton);
        break;
    case Dismissal::Cancel:
        QTest::mouseClick(form.findChild<QPushButton*>("vf_btn_cancel"), Qt::LeftButton);
        break;
    case Dismissal::TitleClose:
        QTest::mouseClick(form.findChild<QPushButton*>("pushButton_memvia_close"), Qt::LeftButton);
        break;
    case Dismissal::Escape:
        QTest::keyClick(&form, Qt::Key_Escape);
        break;
    }
}

} // namespace

TEST_F(FrameTest, MessageFormAnswersOncePerDismissal)
{
    const struct {
        const char* name;
        Dismissal how;
        int result;
    } cases[] = {
        { "OK", Dismissal::Ok, 1 },
        { "Cancel", Dismissal::Cancel, 0 },
        { "title close", Dismissal::TitleClose, 0 },
        { "Escape", Dismissal::Escape, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MessageForm form(1);
        form.setWindowTitle("提示");
        form.setText("确定要退出吗？");
        QSignalSpy selected(&form, &MessageForm::sig_select);
        // Dismissed from inside the modal loop, as a user would.
        QTimer::singleShot(0, &form, [&] {
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
            dismiss(form, c.how);
        });
        form.exec();
        EXPECT_FALSE(form.isVisible());
        ASSERT_EQ(selected.count(), 1);
        EXPECT_EQ(selected.value(0).value(0).toInt(), c.result);
    }
}

TEST_F(FrameTest, MessageFormButtonsPerKind)
{
    const struct {
        int kind;
        bool cancel;
    } cases[] = { { 1, true }, { 2, false } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        MessageForm form(c.kind);
        form.setText("text");
        EXPECT_EQ(form.text(), "text");
        auto* ok = form.findChild<QPushButton*>("vf_btn_ok");
        ASSERT_NE(ok, nullptr);
        EXPECT_EQ(ok->text(), "确定");
        EXPECT_EQ(form.findChild<QPushButton*>("vf_btn_cancel") != nullptr, c.cancel);
        EXPECT_NE(form.findChild<QLabel*>()->alignment() & Qt::AlignCenter, 0);
        EXPECT_NE(FramelessWidgetHelper::helperOf(&form), nullptr);
    }
}
