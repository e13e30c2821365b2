#include "ui/hboxbutton.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

class HBoxButtonTest : public testing::Test {
protected:
    void SetUp() override
    {
        button = std::make_unique<HBoxButton>();
        button->setCheckable(true);
        button->setText(QStringLiteral("常规"));
        button->setNormalImage(QStringLiteral(":/image/n.png"));
        button->setHoverImage(QStringLiteral(":/image/h.png"));
        button->setCheckedImage(QStringLiteral(":/image/c.png"));
        button->setDisabledImage(QStringLiteral(":/image/d.png"));
        button->setHoverColor(QColor(1, 2, 3));
        button->setCheckedColor(QColor(10, 20, 30));
        button->setDisabledColor(QColor(100, 110, 120));
        image = button->findChild<QLabel*>(QStringLiteral("HBoxButtonImage"));
        text = button->findChild<QLabel*>(QStringLiteral("HBoxButtonText"));
        ASSERT_NE(image, nullptr);
        ASSERT_NE(text, nullptr);
    }
    void hover(bool on)
    {
        QEvent event(on ? QEvent::Enter : QEvent::Leave);
        QApplication::sendEvent(button.get(), &event);
    }
    std::unique_ptr<HBoxButton> button;
    QLabel* image = nullptr;
    QLabel* text = nullptr;
};

const char* const kNormalImage = "QLabel{border-image:url(\":/image/n.png\")}";
const char* const kNormalText = "QLabel{color: rgb(0, 0, 0);}";
const char* const kHoverImage = "QLabel{border-image:url(\":/image/h.png\")}";
const char* const kHoverText = "QLabel{color: rgb(1, 2, 3);}";
const char* const kCheckedImage = "QLabel{border-image:url(\":/image/c.png\")}";
const char* const kCheckedText = "QLabel{color: rgb(10, 20, 30);}";
const char* const kDisabledImage = "QLabel{border-image:url(:/image/d.png)}";
const char* const kDisabledText = "QLabel{color: rgb(100, 110, 120); }";

TEST_F(HBoxButtonTest, StateTable)
{
    const struct {
        bool hovered, checked, enabled;
        const char* image;
        const char* text;
    } cases[] = {
        { false, false, true, kNormalImage, kNormalText },
        { true, false, true, kHoverImage, kHoverText },
        { false, true, true, kCheckedImage, kCheckedText },
        // Checked wins over hover, disabled over everything.
        { true, true, true, kCheckedImage, kCheckedText },
        { false, false, false, kDisabledImage, kDisabledText },
        { true, true, false, kDisabledImage, kDisabledText },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hovered << c.checked << c.enabled);
        SetUp();
        button->show();
        hover(c.hovered);
        button->setChecked(c.checked);
        button->setEnabled(c.enabled);
        EXPECT_EQ(image->styleSheet().toStdString(), c.image);
        EXPECT_EQ(text->styleSheet().toStdString(), c.text);
    }
}

TEST_F(HBoxButtonTest, LookFollowsEachStateChange)
{
    button->show();
    EXPECT_EQ(image->styleSheet().toStdString(), kNormalImage);
    hover(true);
    EXPECT_EQ(image->styleSheet().toStdString(), kHoverImage);
    button->setChecked(true);
    EXPECT_EQ(text->styleSheet().toStdString(), kCheckedText);
    button->setEnabled(false);
    EXPECT_EQ(text->styleSheet().toStdString(), kDisabledText);
    button->setEnabled(true);
    EXPECT_EQ(text->styleSheet().toStdString(), kCheckedText);
    button->setChecked(false);
    EXPECT_EQ(text->styleSheet().toStdString(), kHoverText);
    hover(false);
    EXPECT_EQ(text->styleSheet().toStdString(), kNormalText);
    EXPECT_EQ(text->text(), QStringLiteral("常规"));
}

TEST_F(HBoxButtonTest, AClickShowsTheCheckedLookAtOnce)
{
    button->show();
    QTest::mouseClick(button.get(), Qt::LeftButton);
    ASSERT_TRUE(button->isChecked());
    EXPECT_EQ(image->styleSheet().toStdString(), kCheckedImage);
    EXPECT_EQ(text->styleSheet().toStdString(), kCheckedText);
    QTest::mouseClick(button.get(), Qt::LeftButton);
    ASSERT_FALSE(button->isChecked());
    EXPECT_NE(text->styleSheet().toStdString(), kCheckedText);
}

TEST_F(HBoxButtonTest, SettersWaitForTheNextStateChange)
{
    button->show();
    button->setNormalImage(QStringLiteral(":/image/other.png"));
    button->setNormalColor(QColor(9, 9, 9));
    EXPECT_EQ(image->styleSheet().toStdString(), kNormalImage);
    EXPECT_EQ(text->styleSheet().toStdString(), kNormalText);
    hover(true);
    hover(false);
    EXPECT_EQ(image->styleSheet(), QStringLiteral("QLabel{border-image:url(\":/image/other.png\")}"));
    EXPECT_EQ(text->styleSheet(), QStringLiteral("QLabel{color: rgb(9, 9, 9);}"));
}

} // namespace
